// The list of modem lines the dialog offers, and the probe that finds a line
// able to place a data-modem call.
#include "shell/DebugTrace.h"
#include "telephony/LineBlocks.h"
#include "telephony/TapiCode.h"
#include "telephony/TapiValues.h"

namespace {

// Devices looked at when the list is built. A provider may claim any count;
// each device costs a few calls, so a claim of millions would hold start-up.
const DWORD kMostDevicesListed = 512;

// The probe only asks whether the line has a modem identifier: the fixed part
// of a VARSTRING is enough for the answer.
const DWORD kProbeIdSize = 24;

const uint8_t* Bytes(const void* block) {
    return static_cast<const uint8_t*>(block);
}

size_t BlockSize(const void* block) {
    return LocalSize(const_cast<void*>(block));
}

std::string DisplayName(DWORD deviceId, const LINEDEVCAPS* caps) {
    LineName name = ExtractLineName(Bytes(caps), BlockSize(caps));
    if (name.note == LineNameNote::notTerminated)
        DebugPrint("Device name for device 0x%lx is not null terminated.\n",
                   static_cast<unsigned long>(deviceId));
    else if (name.note == LineNameNote::outsideBlock)
        DebugPrint("Device name for device 0x%lx lies outside its capabilities; not read.\n",
                   static_cast<unsigned long>(deviceId));
    return name.text;
}

// Frees the probe's blocks and closes its line however the probe ends.
struct LineProbe {
    HLINE line = 0;
    LPLINEDEVCAPS caps = nullptr;
    LPLINEADDRESSSTATUS status = nullptr;
    void* id = nullptr;

    ~LineProbe() {
        if (line != 0)
            lineClose(line);
        for (void* block : {static_cast<void*>(caps), static_cast<void*>(status), id})
            if (block != nullptr)
                LocalFree(block);
    }
};

} // namespace

void BuildLineList(std::vector<std::string>& names, DWORD* ids, int capacity) {
    TapiState& tapi = Tapi();
    DWORD devices = tapi.numDevs;
    if (devices > kMostDevicesListed) {
        DebugPrint("The telephony service reports 0x%lx lines; listing the first 0x%lx.\n",
                   static_cast<unsigned long>(devices),
                   static_cast<unsigned long>(kMostDevicesListed));
        devices = kMostDevicesListed;
    }
    int listed = 0;
    bool usableFound = false;
    LPLINEDEVCAPS caps = nullptr;
    for (DWORD deviceId = 0; deviceId < devices && tapi.hLineApp != 0; ++deviceId) {
        DWORD version = NegotiateListApiVersion(deviceId);
        if (version != 0)
            caps = QueryLineDevCaps(caps, deviceId, version);
        if (version == 0 || caps == nullptr) {
            // Without capabilities nothing says the line can carry a data call.
            DebugPrint("Line 0x%lx: %s, not listed.\n", static_cast<unsigned long>(deviceId),
                       kLineUnavailable);
            continue;
        }
        std::string name = DisplayName(deviceId, caps);
        if (OffersDataModem(Bytes(caps), BlockSize(caps))) {
            if (listed < capacity) {
                names.push_back(name);
                ids[listed++] = deviceId;
            } else {
                DebugPrint("Line list full: line 0x%lx not listed.\n",
                           static_cast<unsigned long>(deviceId));
            }
        }
        if (!usableFound)
            usableFound = VerifyUsableLine(deviceId) == kLineUsable;
    }
    if (caps != nullptr)
        LocalFree(caps);
}

int VerifyUsableLine(DWORD deviceId) {
    DebugPrint("Testing Line ID '0x%lx'", static_cast<unsigned long>(deviceId));
    LineProbe probe;
    DWORD version = NegotiateApiVersion(deviceId);
    if (version == 0)
        return kLineFailed;
    probe.caps = QueryLineDevCaps(nullptr, deviceId, version);
    if (probe.caps == nullptr)
        return kLineFailed;
    if ((probe.caps->dwBearerModes & LINEBEARERMODE_VOICE) == 0) {
        DebugPrint("LINEBEARERMODE_VOICE not supported\n");
        return kLineNoVoice;
    }
    if ((probe.caps->dwMediaModes & LINEMEDIAMODE_DATAMODEM) == 0) {
        DebugPrint("LINEMEDIAMODE_DATAMODEM not supported\n");
        return kLineNoDataModem;
    }
    if ((probe.caps->dwLineFeatures & LINEFEATURE_MAKECALL) == 0) {
        DebugPrint("LINEFEATURE_MAKECALL not supported\n");
        return kLineNoMakeCall;
    }
    LONG opened = RepeatWhileHandled(
        [&] {
            return lineOpen(Tapi().hLineApp, deviceId, &probe.line, version, 0, 0,
                            LINECALLPRIVILEGE_NONE, LINEMEDIAMODE_DATAMODEM, nullptr);
        },
        LINEERR_ALLOCATED);
    if (opened != 0) {
        probe.line = 0; // nothing was opened, whatever the provider left there
        if (IsLineError(opened, LINEERR_ALLOCATED)) {
            DebugPrint("Line is already in use by a non-TAPI app or another Service Provider.\n");
            return kLineAllocated;
        }
        ReportLineError(opened, "lineOpen unhandled error: ", kTapiSource, __LINE__);
        return kLineFailed;
    }
    probe.status = QueryLineAddressStatus(nullptr, probe.line, 0);
    if (probe.status == nullptr)
        return kLineFailed;
    if ((probe.status->dwAddressFeatures & LINEADDRFEATURE_MAKECALL) == 0) {
        DebugPrint("LINEADDRFEATURE_MAKECALL not available\n");
        return kLineAddressCannotCall;
    }
    probe.id = AllocTapiStruct(nullptr, kProbeIdSize, "VerifyUsableLine:lineGetID: ");
    if (probe.id == nullptr)
        return kLineFailed;
    LONG identified = RepeatWhileHandled([&] {
        // A repeated call gets the block zeroed again.
        ZeroMemory(probe.id, kProbeIdSize);
        *static_cast<DWORD*>(probe.id) = kProbeIdSize;
        return lineGetID(probe.line, 0, 0, LINECALLSELECT_LINE, static_cast<LPVARSTRING>(probe.id),
                         "comm/datamodem");
    });
    if (identified != 0) {
        ReportLineError(identified, "lineGetID unhandled error: ", kTapiSource, __LINE__);
        return kLineNoCommId;
    }
    DebugPrint("Line is suitable and available for use.\n");
    return kLineUsable;
}
