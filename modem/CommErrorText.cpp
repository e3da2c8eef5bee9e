// Texts for the receive errors a modem line reports.
#include "modem/CommErrorText.h"

#include <cstdio>

std::string CommErrorNames(uint32_t errors) {
    if (errors == 0)
        return "NULL Error";
    static const struct {
        uint32_t flag;
        const char* name;
    } kNamed[] = {
        {kCommErrorFrame, "CE_FRAME"},
        {kCommErrorOverrun, "CE_OVERRUN"},
        {kCommErrorRxParity, "CE_RXPARITY"},
    };
    std::string names;
    uint32_t rest = errors;
    for (const auto& n : kNamed) {
        if ((errors & n.flag) == 0)
            continue;
        if (!names.empty())
            names += " and ";
        names += n.name;
        rest &= ~n.flag;
    }
    if (rest != 0) {
        if (!names.empty())
            names += " and ";
        names += "EV_ERR Unknown EvtMask";
    }
    return names;
}

std::string CommEventText(uint32_t errors) {
    char flags[16];
    std::snprintf(flags, sizeof flags, "%lx", static_cast<unsigned long>(errors));
    return "Comm Event: '" + CommErrorNames(errors) + "', EvtMask = '" + flags + "'\n";
}
