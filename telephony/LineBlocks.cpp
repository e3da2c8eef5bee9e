// Bounds-checked reading of line capability and identifier blocks.
#include "telephony/LineBlocks.h"
#include "telephony/TapiValues.h"
#include <algorithm>
#include <cstring>

uint32_t ReadBlockField(const uint8_t* block, size_t size, size_t offset) {
    if (block == nullptr || offset > size || size - offset < 4)
        return 0;
    // Byte by byte: the provider's block need not be aligned, and the
    // structures are little-endian on every platform the program runs on.
    return static_cast<uint32_t>(block[offset]) | static_cast<uint32_t>(block[offset + 1]) << 8 |
           static_cast<uint32_t>(block[offset + 2]) << 16 |
           static_cast<uint32_t>(block[offset + 3]) << 24;
}

size_t FilledBlockSize(const uint8_t* block, size_t size) {
    size_t total = ReadBlockField(block, size, kTotalSizeOffset);
    size_t used = ReadBlockField(block, size, kUsedSizeOffset);
    return std::min({size, total, used});
}

namespace {

// True when [offset, offset + length) lies inside the first filled bytes.
bool InsideFilled(uint64_t offset, uint64_t length, size_t filled) {
    return offset <= filled && length <= filled - offset;
}

} // namespace

LineName ExtractLineName(const uint8_t* caps, size_t size) {
    LineName result;
    uint32_t nameSize = ReadBlockField(caps, size, kDevCapsLineNameSizeOffset);
    uint32_t nameOffset = ReadBlockField(caps, size, kDevCapsLineNameOffsetOffset);
    uint32_t format = ReadBlockField(caps, size, kDevCapsStringFormatOffset);
    if (nameSize == 0 || nameOffset == 0 || format != TapiValue::kStringFormatAscii) {
        result.text = kLineUnnamed;
        return result;
    }
    if (!InsideFilled(nameOffset, nameSize, FilledBlockSize(caps, size))) {
        result.text = kLineUnnamed;
        result.note = LineNameNote::outsideBlock;
        return result;
    }
    const char* name = reinterpret_cast<const char*>(caps + nameOffset);
    if (name[0] == '\0') {
        result.text = kLineNameEmpty;
        return result;
    }
    const void* end = memchr(name, '\0', nameSize);
    if (end == nullptr) {
        result.note = LineNameNote::notTerminated;
        result.text.assign(name, nameSize);
    } else {
        result.text.assign(name, static_cast<const char*>(end) - name);
    }
    return result;
}

bool OffersDataModem(const uint8_t* caps, size_t size) {
    return (ReadBlockField(caps, size, kDevCapsMediaModesOffset) &
            TapiValue::kMediaModeDataModem) != 0;
}

bool ReadCommHandle(const uint8_t* block, size_t size, size_t handleSize, uint64_t* handle,
                    std::string* deviceName) {
    if (handleSize != 4 && handleSize != 8)
        return false;
    uint32_t stringSize = ReadBlockField(block, size, kVarStringStringSizeOffset);
    uint32_t stringOffset = ReadBlockField(block, size, kVarStringStringOffsetOffset);
    if (stringSize < handleSize || stringOffset < kVarStringFixedSize ||
        !InsideFilled(stringOffset, stringSize, FilledBlockSize(block, size)))
        return false;
    uint64_t value = 0;
    for (size_t i = 0; i < handleSize; ++i)
        value |= static_cast<uint64_t>(block[stringOffset + i]) << (8 * i);
    *handle = value;
    if (deviceName != nullptr) {
        const char* name = reinterpret_cast<const char*>(block + stringOffset + handleSize);
        size_t room = stringSize - handleSize;
        const void* end = memchr(name, '\0', room);
        deviceName->assign(name, end ? static_cast<const char*>(end) - name : room);
    }
    return true;
}
