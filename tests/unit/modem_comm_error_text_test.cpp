// What the trace says about a line error: the names of the receive errors, in their order.
#include "modem/CommErrorText.h"
#include <gtest/gtest.h>

TEST(CommErrorNames, NamesEveryCombinationInItsOrder) {
    const struct {
        uint32_t errors;
        const char* names;
    } cases[] = {
        {0, "NULL Error"},
        {kCommErrorFrame, "CE_FRAME"},
        {kCommErrorFrame | kCommErrorOverrun, "CE_FRAME and CE_OVERRUN"},
        {kCommErrorOverrun | kCommErrorRxParity, "CE_OVERRUN and CE_RXPARITY"},
        {kCommErrorFrame | kCommErrorOverrun | kCommErrorRxParity,
         "CE_FRAME and CE_OVERRUN and CE_RXPARITY"},
        // Flags the channel has no name for (a break, a full input buffer) are summed up.
        {0x0010, "EV_ERR Unknown EvtMask"},
        {0x0001 | 0x0010 | 0x8000, "EV_ERR Unknown EvtMask"},
        {kCommErrorRxParity | 0x0001, "CE_RXPARITY and EV_ERR Unknown EvtMask"},
        {0xFFFFFFFFu, "CE_FRAME and CE_OVERRUN and CE_RXPARITY and EV_ERR Unknown EvtMask"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.errors);
        EXPECT_EQ(CommErrorNames(c.errors), c.names);
        EXPECT_LE(CommErrorNames(c.errors).size(), 127u);
    }
}

TEST(CommEventText, CarriesTheNamesAndTheFlagsInHex) {
    EXPECT_EQ(CommEventText(0), "Comm Event: 'NULL Error', EvtMask = '0'\n");
    EXPECT_EQ(CommEventText(kCommErrorFrame | kCommErrorOverrun),
              "Comm Event: 'CE_FRAME and CE_OVERRUN', EvtMask = 'a'\n");
    EXPECT_EQ(CommEventText(0xFFFFFFFFu),
              "Comm Event: 'CE_FRAME and CE_OVERRUN and CE_RXPARITY and EV_ERR Unknown EvtMask', "
              "EvtMask = 'ffffffff'\n");
}
