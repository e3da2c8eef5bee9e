// Fuzz target: provider blocks read as line names and comm handles, and
// callback values rendered as trace text, from arbitrary bytes.
#include "telephony/LineBlocks.h"
#include "telephony/TapiNames.h"
#include "telephony/TapiTrace.h"
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string g_title;

std::string FuzzTitle(uint64_t) {
    return g_title;
}

uint64_t Take(const uint8_t*& data, size_t& size) {
    uint64_t value = 0;
    size_t n = size < 8 ? size : 8;
    memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The block is copied to a heap buffer of exactly its size, so that any
    // read past it is caught.
    std::vector<uint8_t> block(data, data + size);
    LineName name = ExtractLineName(block.data(), block.size());
    if (name.text.size() > block.size() && name.note == LineNameNote::none &&
        name.text != kLineUnnamed && name.text != kLineNameEmpty)
        __builtin_trap();
    OffersDataModem(block.data(), block.size());
    for (size_t handleSize : {4u, 8u}) {
        uint64_t handle = 0;
        std::string device;
        ReadCommHandle(block.data(), block.size(), handleSize, &handle, &device);
    }

    const uint8_t* rest = data;
    size_t left = size;
    size_t room = 1 + Take(rest, left) % 4096;
    LineCallbackValues values{};
    values.device = Take(rest, left);
    // Mostly known messages, so that every branch is reached.
    values.message = Take(rest, left) % 24;
    values.instance = Take(rest, left);
    values.param1 = Take(rest, left);
    values.param2 = Take(rest, left);
    values.param3 = Take(rest, left);
    g_title.assign(reinterpret_cast<const char*>(rest), left);
    std::vector<char> out(room);
    size_t written = FormatLineCallbackText(out.data(), room, values, FuzzTitle);
    if (written >= room || strlen(out.data()) != written)
        __builtin_trap();
    return 0;
}
