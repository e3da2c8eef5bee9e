// The data call's parameter block.
#include "telephony/CallParams.h"
#include "telephony/TapiValues.h"
#include <cstring>

namespace {

void Store(uint8_t* block, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        block[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

} // namespace

size_t CallParamsSize(const char* dial) {
    return kCallParamsFixedSize + (dial ? strlen(dial) : 0) + 1;
}

bool FillCallParams(uint8_t* block, size_t size, const char* dial) {
    using namespace TapiValue;
    if (dial == nullptr)
        dial = "";
    size_t needed = CallParamsSize(dial);
    if (block == nullptr || size < needed || needed > UINT32_MAX)
        return false;
    // Everything not set here stays 0: the provider's defaults for the
    // dialling parameters, no originating address, no answer time-out.
    Store(block, kCallParamsBearerModeOffset, kBearerModeVoice);
    Store(block, kCallParamsMediaModeOffset, kMediaModeDataModem);
    Store(block, kCallParamsFlagsOffset, kCallParamFlagsIdle);
    Store(block, kCallParamsAddressModeOffset, kAddressModeAddressId);
    Store(block, kCallParamsAddressIdOffset, 0);
    Store(block, kCallParamsDisplayableSizeOffset,
          static_cast<uint32_t>(needed - kCallParamsFixedSize));
    Store(block, kCallParamsDisplayableOffsetOffset, kCallParamsFixedSize);
    memcpy(block + kCallParamsFixedSize, dial, needed - kCallParamsFixedSize);
    return true;
}
