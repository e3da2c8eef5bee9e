// The process-wide port table and the exported routines that need no device.
#include "serial/PortState.h"

#include <cstdlib>

namespace serial {
generic_port* g_ports[kPortCount];
EchoState g_echo[kPortCount];
LineState g_lines[kPortCount];
} // namespace serial

using namespace serial;

extern "C" {

int32_t SC_CALL SCIsPortFree(int32_t index) {
    return ValidPortIndex(index) && g_ports[index] == nullptr ? 1 : 0;
}

void SC_CALL SCInstallUserRoutine(generic_port* port, sc_user_routine routine) {
    if (port != nullptr)
        port->user_routine = routine != nullptr ? routine : SCUserRoutineDefault;
}

void* SC_CALL SCAlloc(int32_t count, int32_t size) {
    // A product that does not fit in the address space must fail, not wrap to a small block.
    if (count < 0 || size < 0)
        return nullptr;
    const uint64_t bytes = static_cast<uint64_t>(count) * static_cast<uint64_t>(size);
    if (bytes > SIZE_MAX)
        return nullptr;
    return std::malloc(static_cast<size_t>(bytes));
}

void SC_CALL SCFree(void* block) {
    std::free(block);
}

void SC_CALL SCUserRoutineDefault(generic_port*) {}

} // extern "C"
