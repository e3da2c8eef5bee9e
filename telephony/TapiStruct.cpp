// Variable-size telephony structures: zero-filled local-heap blocks that grow
// to the size the provider says it needs.
#include "shell/AppShell.h"
#include "shell/DebugTrace.h"
#include "telephony/LineErrorBoxes.h"
#include "telephony/TapiCode.h"

namespace {

// First sizes tried: the fixed part plus room for the strings.
const DWORD kDevCapsFirstSize = 1292;
const DWORD kAddressCapsFirstSize = 1252;
const DWORD kAddressStatusFirstSize = 1088;
const DWORD kCallStatusFirstSize = 1080;
const DWORD kCommIdFirstSize = 1048;

// A provider's dwNeededSize is believed this far and no further: no line
// structure comes near it, and a provider that keeps asking for more must not
// keep the program growing blocks.
const DWORD kLargestStruct = 1024 * 1024;
const int kMostGrowRounds = 8;

// The shared loop: get a block, call, and grow it while the provider needs
// more. call(block) makes the telephony call; null results have freed the
// block.
template <typename Call>
void* QueryStruct(void* block, DWORD size, const char* label, const char* prefix, Call call) {
    for (int round = 0;; ++round) {
        block = AllocTapiStruct(block, size, label);
        if (block == nullptr)
            return nullptr;
        LONG result = RepeatWhileHandled([&] { return call(block); });
        if (result != 0) {
            ReportLineError(result, prefix, kTapiSource, __LINE__);
            LocalFree(block);
            return nullptr;
        }
        const DWORD* header = static_cast<const DWORD*>(block);
        DWORD total = header[0];
        DWORD needed = header[1];
        if (needed <= total)
            return block;
        if (needed > kLargestStruct || round + 1 >= kMostGrowRounds) {
            DebugPrint("%s: provider asks for 0x%lx bytes after %d rounds; giving up.\n", label,
                       static_cast<unsigned long>(needed), round + 1);
            LocalFree(block);
            return nullptr;
        }
        size = needed;
    }
}

} // namespace

void* AllocTapiStruct(void* block, DWORD size, const char* label) {
    if (block != nullptr) {
        SIZE_T allocated = LocalSize(block);
        if (allocated == 0) {
            DebugPrint("%s", label);
            ReportLastError(GetLastError(), "LocalSize : ", kTapiSource, __LINE__);
            // The caller gives its block up to this call, so a null answer
            // must not leave that block behind.
            LocalFree(block);
            return nullptr;
        }
        if (allocated >= size) {
            ZeroMemory(block, allocated);
            *static_cast<DWORD*>(block) = static_cast<DWORD>(allocated);
            return block;
        }
        DebugPrint("%s", label);
        DebugPrint("Reallocating structure\n");
        LocalFree(block);
    }
    block = LocalAlloc(LPTR, size);
    if (block == nullptr) {
        DebugPrint("%s", label);
        ReportLastError(GetLastError(), "LocalAlloc : ", kTapiSource, __LINE__);
        ShowOutOfMemoryBox();
        return nullptr;
    }
    *static_cast<DWORD*>(block) = size;
    return block;
}

LPLINEDEVCAPS QueryLineDevCaps(LPLINEDEVCAPS caps, DWORD deviceId, DWORD apiVersion) {
    return static_cast<LPLINEDEVCAPS>(
        QueryStruct(caps, kDevCapsFirstSize, "lineGetDevCaps",
                    "lineGetDevCaps unhandled error: ", [&](void* block) {
                        return lineGetDevCaps(Tapi().hLineApp, deviceId, apiVersion, 0,
                                              static_cast<LPLINEDEVCAPS>(block));
                    }));
}

LPLINEADDRESSCAPS QueryLineAddressCaps(LPLINEADDRESSCAPS caps, DWORD deviceId, DWORD addressId,
                                       DWORD apiVersion, DWORD extVersion) {
    return static_cast<LPLINEADDRESSCAPS>(QueryStruct(
        caps, kAddressCapsFirstSize, "lineGetAddressCaps",
        "lineGetAddressCaps unhandled error: ", [&](void* block) {
            return lineGetAddressCaps(Tapi().hLineApp, deviceId, addressId, apiVersion, extVersion,
                                      static_cast<LPLINEADDRESSCAPS>(block));
        }));
}

LPLINEADDRESSSTATUS QueryLineAddressStatus(LPLINEADDRESSSTATUS status, HLINE line,
                                           DWORD addressId) {
    return static_cast<LPLINEADDRESSSTATUS>(QueryStruct(
        status, kAddressStatusFirstSize, "lineGetAddressStatus",
        "lineGetAddressStatus unhandled error: ", [&](void* block) {
            return lineGetAddressStatus(line, addressId, static_cast<LPLINEADDRESSSTATUS>(block));
        }));
}

LPLINECALLSTATUS QueryLineCallStatus(LPLINECALLSTATUS status, HCALL call) {
    return static_cast<LPLINECALLSTATUS>(
        QueryStruct(status, kCallStatusFirstSize, "lineGetCallStatus",
                    "lineGetCallStatus unhandled error: ", [&](void* block) {
                        return lineGetCallStatus(call, static_cast<LPLINECALLSTATUS>(block));
                    }));
}

LPVARSTRING QueryCallCommId(LPVARSTRING id, HCALL call) {
    return static_cast<LPVARSTRING>(QueryStruct(
        id, kCommIdFirstSize, "lineGetID: ", "lineGetID unhandled error: ", [&](void* block) {
            return lineGetID(0, 0, call, LINECALLSELECT_CALL, static_cast<LPVARSTRING>(block),
                             "comm/datamodem");
        }));
}
