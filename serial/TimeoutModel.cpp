// The answer-phase checks: start, whole-message and gap limits, each exceeded strictly.
#include "serial/TimeoutModel.h"

namespace serial {

int32_t AnswerPhaseStatus(const generic_port& port, uint32_t now) {
    if (port.msg_complete)
        return SC_OK;
    const uint32_t first = port.first_rx_tick;
    const uint32_t tx_end = port.tx_end_tick;
    if (tx_end != 0 && first == 0)
        return now - tx_end > port.start_timeout ? SC_TIMEOUT_MESSAGE_START : SC_OK;
    if (first != 0 && port.end_timeout != 0 && now - first > port.end_timeout)
        return SC_TIMEOUT_MESSAGE_END;
    if (now - port.last_rx_tick > port.char_timeout)
        return SC_TIMEOUT_RX_CHAR;
    return SC_OK;
}

} // namespace serial
