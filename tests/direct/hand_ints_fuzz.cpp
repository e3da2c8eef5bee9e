// libFuzzer target: the direct link's user routine fed byte by byte as the receive thread
// feeds it, with pauses of any length between bytes and a receive buffer of any size. The
// answer it hands over must always be a whole acknowledged frame, and nothing is read or
// written outside the frame, the buffer or the port.
#include "serial/DirectState.h"

#include <cstdlib>
#include <cstring>
#include <vector>

// The stand-ins for the platform and the library that the routine calls.
namespace {

uint32_t g_tick = 1;
std::vector<uint8_t> g_held; // the receive buffer, oldest first
size_t g_capacity = 1;

} // namespace

extern "C" uint32_t GetTickCount() {
    return g_tick;
}
extern "C" void OutputDebugStringA(const char* text) {
    if (std::strlen(text) >= 128)
        std::abort();
}

extern "C" int32_t SCPeekLastChar(generic_port* port, uint8_t* out) {
    if (port == nullptr || g_held.empty())
        return 0;
    *out = g_held.back();
    return 1;
}
extern "C" int32_t SCIsRxFull(generic_port* port) {
    return port != nullptr && g_held.size() >= g_capacity;
}
extern "C" int32_t SCReadChar(generic_port* port, uint8_t* out) {
    if (port == nullptr || g_held.empty())
        return 0;
    *out = g_held.front();
    g_held.erase(g_held.begin());
    return 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    generic_port port{};
    port.char_timeout = static_cast<uint16_t>(data[0] * 4);
    g_capacity = 1 + data[1] % 64;
    g_held.clear();
    g_tick = 1;
    std::memset(&rx_frame, 0, sizeof rx_frame);
    last_byte_tick = 0;
    acked_answer.length = 0;

    // The rest: pairs of (pause in 4 ms steps, byte); a pause of 255 stands for a handover
    // of the answer to the dialog, which clears msg_complete as the waiting thread does.
    for (size_t i = 2; i + 1 < size; i += 2) {
        if (data[i] == 255 && port.msg_complete) {
            if (acked_answer.length < 1 || acked_answer.length > kRxFrameCapacity ||
                acked_answer.bytes[0] != kAnswerAck)
                std::abort();
            port.msg_complete = 0;
        }
        g_tick += data[i] * 4u;
        // The library keeps the byte when there is room and calls the routine either way.
        if (g_held.size() < g_capacity)
            g_held.push_back(data[i + 1]);
        HandInts(&port);
        if (port.msg_state < kWaitStx || port.msg_state > kWaitBcc || rx_frame.length < 0 ||
            rx_frame.length > kRxFrameCapacity || g_held.size() > g_capacity)
            std::abort();
    }
    HandInts(nullptr);
    return 0;
}
