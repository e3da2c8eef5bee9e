// Status texts and SCFormatErrorMessage.
#include "serial/StatusText.h"

#include "serial/SerialApi.h"

#include <cstdio>
#include <cstring>

namespace serial {

const char* StatusText(int32_t code) {
    static const char* const texts[] = {"OK",
                                        "Invalid serial port",
                                        "Invalid baud rate",
                                        "Invalid number of bits",
                                        "Invalid number of stop bits",
                                        "Invalid parity",
                                        "Invalid irq",
                                        "Serial port already in use",
                                        "Invalid buffer size",
                                        "Memory not enough",
                                        "Tx buffer empty",
                                        "Tx buffer full",
                                        "Rx buffer empty",
                                        "Rx buffer full",
                                        "Timeout waiting CTS",
                                        "Timeout waiting start a message",
                                        "Timeout waiting a message to finish",
                                        "Timeout between rx char",
                                        "Timeout between tx char",
                                        "No carrier detected",
                                        "No DSR detected",
                                        "Could not find a 8250 in address",
                                        "Can not send tx message",
                                        "User abort",
                                        "Function not supported",
                                        "Overrun",
                                        "Parity",
                                        "Overrun and parity",
                                        "Framing",
                                        "Framing and overrun",
                                        "Framing and parity",
                                        "Framing, overrun and parity",
                                        "Timeout waiting a tx message to finish"};
    static_assert(sizeof(texts) / sizeof(texts[0]) == 33, "one text per code 0..-32");
    if (code > 0 || code < SC_TIMEOUT_TX_MESSAGE)
        return nullptr;
    return texts[-code];
}

int32_t LineErrorCode(bool framing, bool overrun, bool parity) {
    if (framing)
        return overrun ? (parity ? SC_FRAMING_OVERRUN_PARITY : SC_FRAMING_OVERRUN)
                       : (parity ? SC_FRAMING_PARITY : SC_FRAMING);
    if (overrun)
        return parity ? SC_OVERRUN_PARITY : SC_OVERRUN;
    return parity ? SC_PARITY : SC_NOT_SUPPORTED;
}

int32_t ReceptionError(uint32_t flags) {
    const int32_t code = FailureError(flags);
    return code == SC_NOT_SUPPORTED ? SC_OK : code;
}

int32_t FailureError(uint32_t flags) {
    return LineErrorCode((flags & kLineFraming) != 0, (flags & kLineOverrun) != 0,
                         (flags & kLineParity) != 0);
}

} // namespace serial

extern "C" void SC_CALL SCFormatErrorMessage(int32_t code, char* text) {
    if (text == nullptr)
        return;
    const char* known = serial::StatusText(code);
    if (known != nullptr)
        std::strcpy(text, known);
    else
        std::snprintf(text, 40, "Status: %d", static_cast<int>(code));
}
