// The LINECALLPARAMS block of the data call: its fixed part, then the dial
// string as the displayable address. Platform-free.
#pragma once
#include <cstddef>
#include <cstdint>

// The structure as interface version 2.0 has it.
constexpr size_t kCallParamsFixedSize = 176;

// Field offsets the program sets.
constexpr size_t kCallParamsBearerModeOffset = 4;
constexpr size_t kCallParamsMediaModeOffset = 16;
constexpr size_t kCallParamsFlagsOffset = 20;
constexpr size_t kCallParamsAddressModeOffset = 24;
constexpr size_t kCallParamsAddressIdOffset = 28;
constexpr size_t kCallParamsDisplayableSizeOffset = 56;
constexpr size_t kCallParamsDisplayableOffsetOffset = 60;
constexpr size_t kCallParamsNoAnswerTimeoutOffset = 164;

// Bytes the block needs for this dial string (null counts as empty).
size_t CallParamsSize(const char* dial);

// Fills a zero-filled block of size bytes, whose dwTotalSize is already set,
// with the data call's fields and the dial string. False, with nothing
// written, when the block is too small.
bool FillCallParams(uint8_t* block, size_t size, const char* dial);
