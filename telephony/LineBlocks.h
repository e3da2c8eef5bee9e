// Reads the provider's variable-size line structures (LINEDEVCAPS, VARSTRING)
// as untrusted bytes: every field, offset and size is checked against the part
// of the block the provider says it filled. Platform-free.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Field offsets shared by every variable-size structure.
constexpr size_t kTotalSizeOffset = 0;
constexpr size_t kNeededSizeOffset = 4;
constexpr size_t kUsedSizeOffset = 8;

// LINEDEVCAPS fields the line list reads.
constexpr size_t kDevCapsLineNameSizeOffset = 32;
constexpr size_t kDevCapsLineNameOffsetOffset = 36;
constexpr size_t kDevCapsStringFormatOffset = 40;
constexpr size_t kDevCapsBearerModesOffset = 52;
constexpr size_t kDevCapsMediaModesOffset = 60;
constexpr size_t kDevCapsDevCapFlagsOffset = 112;
constexpr size_t kDevCapsLineFeaturesOffset = 236;

// VARSTRING fields.
constexpr size_t kVarStringStringSizeOffset = 16;
constexpr size_t kVarStringStringOffsetOffset = 20;
constexpr size_t kVarStringFixedSize = 24;

// A 32-bit field of the block, or 0 when it lies beyond size bytes.
uint32_t ReadBlockField(const uint8_t* block, size_t size, size_t offset);

// The bytes of the block that hold data: no more than were allocated, than
// dwTotalSize says, or than dwUsedSize says were filled.
size_t FilledBlockSize(const uint8_t* block, size_t size);

// Display names of lines that have no name of their own.
constexpr const char* kLineUnavailable = "Line Unavailable";
constexpr const char* kLineNameEmpty = "Line Name is Empty";
constexpr const char* kLineUnnamed = "Line Unnamed";

enum class LineNameNote {
    none,
    notTerminated, // the name filled its whole size without a NUL
    outsideBlock,  // offset or size pointed past the filled part: not read
};

struct LineName {
    std::string text;
    LineNameNote note = LineNameNote::none;
};

// The display name of a line from its LINEDEVCAPS block of size bytes.
LineName ExtractLineName(const uint8_t* caps, size_t size);

// Lines without data-modem support are not offered in the list.
bool OffersDataModem(const uint8_t* caps, size_t size);

// The handle of a "comm/datamodem" VARSTRING (handleSize bytes, 4 or 8, at
// dwStringOffset) and the device name after it. False, with nothing taken,
// when the string does not lie wholly inside the filled block or is shorter
// than a handle.
bool ReadCommHandle(const uint8_t* block, size_t size, size_t handleSize, uint64_t* handle,
                    std::string* deviceName);
