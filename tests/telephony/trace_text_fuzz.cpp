// libFuzzer target: flag sets, error codes and callback messages of any value rendered into
// buffers of any room: always ended, never past the room, and the count returned is what was
// written.
#include "telephony/TapiNames.h"
#include "telephony/TapiTrace.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

uint64_t Take(const uint8_t*& data, size_t& size) {
    uint64_t value = 0;
    const size_t n = size < 8 ? size : 8;
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}

struct Table {
    const char* const* names;
    size_t count;
};

template <size_t N> Table Of(const char* const (&names)[N]) {
    return {names, N};
}

const Table kTables[] = {Of(kCallStateNames),    Of(kCallPrivilegeNames),
                         Of(kDialToneModeNames), Of(kBusyModeNames),
                         Of(kSpecialInfoNames),  Of(kDisconnectModeNames),
                         Of(kAddressStateNames), Of(kCallInfoStateNames),
                         Of(kLineDevStateNames), Of(kGatherTermNames),
                         Of(kGenerateTermNames), Of(kDigitModeNames),
                         Of(kMediaModeNames),    Of(kRequestModeNames)};

void CheckWritten(const std::vector<char>& out, size_t written) {
    if (written >= out.size() || std::strlen(out.data()) != written)
        std::abort();
}

std::string g_title;
std::string Title(uint64_t) {
    return g_title;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* rest = data;
    size_t left = size;
    const size_t room = 1 + Take(rest, left) % 600;
    const uint64_t value = Take(rest, left);
    std::vector<char> out(room, 'x'); // exactly the room, so that a write past it is caught

    for (const Table& table : kTables)
        CheckWritten(out, FormatFlags(out.data(), room, value, table.names, table.count));
    // A table shorter than the bits set names what it can and counts the rest as unknown.
    const size_t shortCount = value % std::size(kMediaModeNames);
    CheckWritten(out, FormatFlags(out.data(), room, value, kMediaModeNames, shortCount));
    if (FormatFlags(out.data(), 0, value, kMediaModeNames, std::size(kMediaModeNames)) != 0)
        std::abort();

    LineErrorTextInto(static_cast<uint32_t>(value), out.data(), room);
    if (std::strlen(out.data()) >= room)
        std::abort();

    LineCallbackValues values{};
    values.device = Take(rest, left);
    values.message = Take(rest, left); // any message number, known or not
    values.instance = Take(rest, left);
    values.param1 = Take(rest, left);
    values.param2 = Take(rest, left);
    values.param3 = Take(rest, left);
    g_title.assign(reinterpret_cast<const char*>(rest), left);
    CheckWritten(out, FormatLineCallbackText(out.data(), room, values, Title));
    return 0;
}
