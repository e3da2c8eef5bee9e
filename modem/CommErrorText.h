// Texts for the receive errors a modem line reports: what the trace says about a line error.
#pragma once
#include <cstdint>
#include <string>

// The receive-error flags of the comm driver the channel names (values as the platform
// defines them; a Windows build checks that they agree).
constexpr uint32_t kCommErrorOverrun = 0x0002;
constexpr uint32_t kCommErrorRxParity = 0x0004;
constexpr uint32_t kCommErrorFrame = 0x0008;

// "NULL Error" when no flag is set; otherwise the names of the set flags joined by " and ",
// framing first, then overrun, then parity, then "EV_ERR Unknown EvtMask" for any other flag.
std::string CommErrorNames(uint32_t errors);

// The trace line for a line error: "Comm Event: '<names>', EvtMask = '<flags in hex>'\n".
std::string CommEventText(uint32_t errors);
