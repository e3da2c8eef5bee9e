// Receive buffer operations and the exported buffer queries and reads.
#include "serial/RxWindow.h"

#include <cstdlib>
#include <cstring>
// The runtime's own mutex rather than std::mutex: the Windows builds use the win32 thread
// model, whose library (unlike the posix one) runs on XP but has no std::mutex.
#include <ext/concurrence.h>

namespace serial {
namespace {

using Guard = __gnu_cxx::__mutex;

Guard* GuardOf(generic_port* port) {
    return static_cast<Guard*>(port->rx_guard);
}

struct RxLock {
    explicit RxLock(generic_port* port) : guard(GuardOf(port)) { guard->lock(); }
    ~RxLock() { guard->unlock(); }
    RxLock(const RxLock&) = delete;
    RxLock& operator=(const RxLock&) = delete;
    Guard* guard;
};

void Append(generic_port* port, uint8_t byte) {
    const uint32_t count = port->rx_count;
    if (count >= port->rx_size)
        return;
    if (port->rx_head + count == 2u * port->rx_size) {
        std::memmove(port->rx_base, port->rx_base + port->rx_head, count);
        port->rx_head = 0;
        port->rx_buf = port->rx_base;
    }
    port->rx_base[port->rx_head + count] = byte;
    port->rx_count = static_cast<uint16_t>(count + 1);
}

void Advance(generic_port* port, uint32_t taken) {
    port->rx_count = static_cast<uint16_t>(port->rx_count - taken);
    port->rx_head = port->rx_count == 0 ? 0 : port->rx_head + taken;
    port->rx_buf = port->rx_base + port->rx_head;
}

} // namespace

bool RxOpen(generic_port* port, uint16_t size) {
    auto* base = static_cast<uint8_t*>(std::malloc(2u * size));
    auto* guard = new (std::nothrow) Guard;
    if (base == nullptr || guard == nullptr) {
        std::free(base);
        delete guard;
        return false;
    }
    port->rx_base = base;
    port->rx_buf = base;
    port->rx_head = 0;
    port->rx_size = size;
    port->rx_count = 0;
    port->rx_guard = guard;
    return true;
}

void RxClose(generic_port* port) {
    std::free(port->rx_base);
    delete GuardOf(port);
    port->rx_base = port->rx_buf = nullptr;
    port->rx_guard = nullptr;
    port->rx_count = port->rx_size = 0;
    port->rx_head = 0;
}

void RxClear(generic_port* port) {
    RxLock lock(port);
    Advance(port, port->rx_count);
}

void RxDeliver(generic_port* port, EchoState* echo, const uint8_t* bytes, size_t count,
               uint32_t now) {
    for (size_t i = 0; i < count; ++i) {
        {
            RxLock lock(port);
            if (echo != nullptr && echo->enabled && echo->received < echo->expected) {
                if (echo->buffer != nullptr && echo->received < echo->capacity)
                    echo->buffer[echo->received] = bytes[i];
                ++echo->received;
                continue;
            }
            port->last_rx_tick = now;
            Append(port, bytes[i]);
            if (port->first_rx_tick == 0)
                port->first_rx_tick = now;
        }
        sc_user_routine routine = port->user_routine;
        if (routine != nullptr)
            routine(port);
    }
}

void RxStartExchange(generic_port* port, EchoState* echo, int32_t length) {
    RxLock lock(port);
    Advance(port, port->rx_count);
    port->first_rx_tick = 0;
    port->last_rx_tick = 0;
    if (echo != nullptr && echo->enabled) {
        echo->received = 0;
        echo->expected = length < echo->capacity ? (length > 0 ? length : 0) : echo->capacity;
    }
}

void EchoDisarm(generic_port* port, EchoState* echo) {
    RxLock lock(port);
    echo->expected = 0;
    echo->received = 0;
}

} // namespace serial

using namespace serial;

extern "C" {

int32_t SC_CALL SCSpaceUsedInRxBuffer(generic_port* port) {
    if (port == nullptr)
        return 0;
    RxLock lock(port);
    return port->rx_count;
}

int32_t SC_CALL SCSpaceFreeInRxBuffer(generic_port* port) {
    if (port == nullptr)
        return 0;
    RxLock lock(port);
    return port->rx_size - port->rx_count;
}

int32_t SC_CALL SCIsTxEmpty(generic_port* port) {
    return port != nullptr ? port->tx_empty : 0;
}

int32_t SC_CALL SCIsRxEmpty(generic_port* port) {
    if (port == nullptr)
        return 0;
    RxLock lock(port);
    return port->rx_count == 0 ? 1 : 0;
}

int32_t SC_CALL SCIsRxFull(generic_port* port) {
    if (port == nullptr)
        return 0;
    RxLock lock(port);
    return port->rx_count == port->rx_size ? 1 : 0;
}

int32_t SC_CALL SCPeekChar(generic_port* port, uint32_t position, uint8_t* out) {
    if (port == nullptr)
        return 0;
    *out = 0;
    RxLock lock(port);
    if (position >= port->rx_count)
        return 0;
    *out = port->rx_base[port->rx_head + position];
    return 1;
}

int32_t SC_CALL SCPeekLastChar(generic_port* port, uint8_t* out) {
    if (port == nullptr)
        return 0;
    *out = 0;
    RxLock lock(port);
    if (port->rx_count == 0)
        return 0;
    *out = port->rx_base[port->rx_head + port->rx_count - 1];
    return 1;
}

int32_t SC_CALL SCReadChar(generic_port* port, uint8_t* out) {
    if (port == nullptr)
        return 0;
    *out = 0;
    RxLock lock(port);
    if (port->rx_count == 0)
        return 0;
    *out = port->rx_base[port->rx_head];
    Advance(port, 1);
    return 1;
}

int32_t SC_CALL SCReadBuffer(generic_port* port, uint8_t* destination, int32_t max) {
    if (port == nullptr || max <= 0)
        return 0;
    RxLock lock(port);
    const uint32_t taken =
        static_cast<uint32_t>(max) < port->rx_count ? static_cast<uint32_t>(max) : port->rx_count;
    std::memcpy(destination, port->rx_base + port->rx_head, taken);
    Advance(port, taken);
    return static_cast<int32_t>(taken);
}

} // extern "C"
