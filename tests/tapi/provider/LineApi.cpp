// Start-up side of the provider: initialise, negotiate, capabilities, open and
// close, address capabilities and status, status messages, the location dialog.
#include "Provider.h"

#include "Delivery.h"
#include "ProviderLog.h"
#include "VarBlock.h"

#include <cstddef>

using namespace provider;
using provider_log::Hex;
using provider_log::Write;

namespace {

// Fixed parts as version 2.0 of the interface defines them.
const DWORD kDevCapsFixed = offsetof(LINEDEVCAPS, PermanentLineGuid);
const DWORD kAddressCapsFixed = sizeof(LINEADDRESSCAPS);
const DWORD kAddressStatusFixed = sizeof(LINEADDRESSSTATUS);
static_assert(kDevCapsFixed == 252, "LINEDEVCAPS 2.0 fixed part");
static_assert(kAddressCapsFixed == 228, "LINEADDRESSCAPS 2.0 fixed part");
static_assert(kAddressStatusFixed == 64, "LINEADDRESSSTATUS fixed part");

const char kProviderInfo[] = "Farlink test provider";
// Device classes, each with its NUL, the list ended by one more NUL.
const char kDeviceClasses[] = "tapi/line\0comm\0comm/datamodem\0comm/datamodem/portname\0";

bool AppValid(HLINEAPP app) {
    return app != 0 && app == Get().app;
}

// Common checks of a device-addressed call; 0 when it may go on.
LONG CheckDevice(HLINEAPP app, DWORD device) {
    if (!AppValid(app))
        return LINEERR_INVALAPPHANDLE;
    if (!LineOf(device))
        return LINEERR_BADDEVICEID;
    return 0;
}

LONG CheckBlock(const void* block, DWORD fixed) {
    if (!block)
        return LINEERR_INVALPOINTER;
    if (*static_cast<const DWORD*>(block) < fixed)
        return LINEERR_STRUCTURETOOSMALL;
    return 0;
}

LONG FillDevCaps(DWORD device, const scenario::Line& line, LINEDEVCAPS* caps) {
    VarBlock block(caps, kDevCapsFixed);
    std::string name = line.name;
    std::vector<BYTE> unicode;
    caps->dwStringFormat = STRINGFORMAT_ASCII;
    using F = scenario::NameForm;
    switch (line.nameForm) {
    case F::Nul:
    case F::OffsetOut:
    case F::SizeOut:
        block.AddString(name, &caps->dwLineNameSize, &caps->dwLineNameOffset);
        break;
    case F::Counted:
        // The provider information follows at once, so the byte after the name is not 0.
        block.Add(name.data(), name.size(), &caps->dwLineNameSize, &caps->dwLineNameOffset);
        break;
    case F::Empty:
        block.AddString("", &caps->dwLineNameSize, &caps->dwLineNameOffset);
        break;
    case F::Absent:
        break;
    case F::Unicode:
        caps->dwStringFormat = STRINGFORMAT_UNICODE;
        for (char c : name) {
            unicode.push_back(static_cast<BYTE>(c));
            unicode.push_back(0);
        }
        unicode.push_back(0);
        unicode.push_back(0);
        block.Add(unicode.data(), unicode.size(), &caps->dwLineNameSize, &caps->dwLineNameOffset);
        break;
    }
    block.AddString(kProviderInfo, &caps->dwProviderInfoSize, &caps->dwProviderInfoOffset);
    block.Add(kDeviceClasses, sizeof kDeviceClasses, &caps->dwDeviceClassesSize,
              &caps->dwDeviceClassesOffset);
    caps->dwPermanentLineID = 0x1000 + device;
    caps->dwAddressModes = LINEADDRESSMODE_ADDRESSID;
    caps->dwNumAddresses = 1;
    caps->dwBearerModes = line.bearerModes;
    caps->dwMaxRate = 57600;
    caps->dwMediaModes = line.mediaModes;
    caps->dwDevCapFlags = line.devCapFlags;
    caps->dwMaxNumActiveCalls = 1;
    caps->dwAnswerMode = LINEANSWERMODE_NONE;
    caps->dwRingModes = 1;
    caps->dwLineStates = 0x01FFFFFF;
    caps->dwLineFeatures = line.lineFeatures;
    bool fits = block.Finish();
    if (fits && line.nameForm == F::OffsetOut)
        caps->dwLineNameOffset = block.Total() + 64;
    if (fits && line.nameForm == F::SizeOut)
        caps->dwLineNameSize = 0x7FFFFFF0;
    if (!fits)
        caps->dwStringFormat = STRINGFORMAT_ASCII;
    return 0;
}

} // namespace

extern "C" {

LONG WINAPI lineInitialize(LPHLINEAPP lphLineApp, HINSTANCE instance, LINECALLBACK callback,
                           LPCSTR appName, LPDWORD numDevs) {
    LoadScenario();
    State& s = Get();
    // The window comes first, so that probes of the caller's message dispatching
    // work even while lineInitialize keeps failing.
    bool window = delivery::Start(Module());
    if (!s.app)
        s.initThread = GetCurrentThreadId();
    Anchor("initcall");
    LONG result = Scripted("lineInitialize", -1);
    if (result == 0 && (!lphLineApp || !numDevs || !callback))
        result = LINEERR_INVALPOINTER;
    if (result == 0 && !window)
        result = LINEERR_OPERATIONFAILED;
    if (result == 0) {
        s.app = static_cast<HLINEAPP>(0x5000 + s.nextHandle++);
        s.callback = callback;
        s.initThread = GetCurrentThreadId();
        *lphLineApp = s.app;
        *numDevs = NumDevs();
    }
    Write("call lineInitialize instance=%s callback=%s app=%s result=%s lineapp=%s numdevs=%lu",
          Hex(reinterpret_cast<DWORD_PTR>(instance)).c_str(), callback ? "set" : "null",
          Text(appName).c_str(), Result(result).c_str(),
          Hex(static_cast<DWORD_PTR>(result == 0 ? s.app : 0)).c_str(),
          result == 0 ? NumDevs() : 0ul);
    if (result == 0)
        Anchor("init");
    return result;
}

LONG WINAPI lineShutdown(HLINEAPP app) {
    State& s = Get();
    LONG result = AppValid(app) ? Scripted("lineShutdown", -1) : LINEERR_INVALAPPHANDLE;
    if (result == 0) {
        delivery::Stop();
        if (s.commFault)
            SetCommFault(false); // its end was queued with the rest
        s.lines.clear();
        s.calls.clear();
        s.app = 0;
        s.callback = nullptr;
    }
    Write("call lineShutdown lineapp=%s result=%s thread=%s",
          Hex(static_cast<DWORD_PTR>(app)).c_str(), Result(result).c_str(),
          GetCurrentThreadId() == s.initThread ? "init" : "other");
    return result;
}

LONG WINAPI lineNegotiateAPIVersion(HLINEAPP app, DWORD device, DWORD low, DWORD high,
                                    LPDWORD version, LPLINEEXTENSIONID extension) {
    LONG result = CheckDevice(app, device);
    if (result == 0 && (!version || !extension))
        result = LINEERR_INVALPOINTER;
    if (result == 0)
        result = Scripted("lineNegotiateAPIVersion", device);
    DWORD agreed = 0;
    if (result == 0) {
        const scenario::Line* line = LineOf(device);
        DWORD top = high < line->versionHigh ? high : line->versionHigh;
        DWORD bottom = low > line->versionLow ? low : line->versionLow;
        if (low > high || bottom > top) {
            result = LINEERR_INCOMPATIBLEAPIVERSION;
        } else {
            agreed = top;
            *version = agreed;
            *extension = LINEEXTENSIONID{};
        }
    }
    Write("call lineNegotiateAPIVersion device=%lu low=%s high=%s result=%s version=%s", device,
          Hex(low).c_str(), Hex(high).c_str(), Result(result).c_str(), Hex(agreed).c_str());
    return result;
}

LONG WINAPI lineGetDevCapsA(HLINEAPP app, DWORD device, DWORD version, DWORD extVersion,
                            LPLINEDEVCAPS caps) {
    LONG result = CheckDevice(app, device);
    if (result == 0)
        result = CheckBlock(caps, kDevCapsFixed);
    const scenario::Line* line = LineOf(device);
    if (result == 0 && (version < line->versionLow || version > line->versionHigh))
        result = LINEERR_INCOMPATIBLEAPIVERSION;
    if (result == 0)
        result = Scripted("lineGetDevCaps", device);
    if (result == 0)
        FillDevCaps(device, *line, caps);
    Write(
        "call lineGetDevCaps device=%lu version=%s ext=%s total=%lu result=%s needed=%lu used=%lu",
        device, Hex(version).c_str(), Hex(extVersion).c_str(), caps ? caps->dwTotalSize : 0ul,
        Result(result).c_str(), result == 0 ? caps->dwNeededSize : 0ul,
        result == 0 ? caps->dwUsedSize : 0ul);
    return result;
}

LONG WINAPI lineOpenA(HLINEAPP app, DWORD device, LPHLINE lphLine, DWORD version, DWORD extVersion,
                      DWORD_PTR instance, DWORD privileges, DWORD mediaModes,
                      LPLINECALLPARAMS const params) {
    State& s = Get();
    LONG result = CheckDevice(app, device);
    if (result == 0 && !lphLine)
        result = LINEERR_INVALPOINTER;
    const scenario::Line* line = LineOf(device);
    if (result == 0 && (version < line->versionLow || version > line->versionHigh))
        result = LINEERR_INCOMPATIBLEAPIVERSION;
    if (result == 0)
        result = Scripted("lineOpen", device);
    HLINE handle = 0;
    if (result == 0) {
        handle = static_cast<HLINE>(s.nextHandle++);
        s.lines.push_back(OpenLine{handle, device, instance});
        s.lastLine = handle;
        *lphLine = handle;
    }
    Write("call lineOpen device=%lu version=%s ext=%s instance=%s privileges=%s media=%s "
          "params=%s result=%s line=%s",
          device, Hex(version).c_str(), Hex(extVersion).c_str(), Hex(instance).c_str(),
          Hex(privileges).c_str(), Hex(mediaModes).c_str(), params ? "set" : "null",
          Result(result).c_str(), Hex(handle).c_str());
    if (result == 0)
        Anchor("open");
    return result;
}

LONG WINAPI lineClose(HLINE handle) {
    OpenLine* line = FindLine(handle);
    LONG result = line ? Scripted("lineClose", line->device) : LINEERR_INVALLINEHANDLE;
    if (result == 0)
        ForgetLine(handle);
    Write("call lineClose line=%s result=%s", Hex(handle).c_str(), Result(result).c_str());
    if (result == 0)
        Anchor("close");
    return result;
}

LONG WINAPI lineGetAddressCapsA(HLINEAPP app, DWORD device, DWORD address, DWORD version,
                                DWORD extVersion, LPLINEADDRESSCAPS caps) {
    LONG result = CheckDevice(app, device);
    if (result == 0 && address != 0)
        result = LINEERR_INVALADDRESSID;
    if (result == 0)
        result = CheckBlock(caps, kAddressCapsFixed);
    const scenario::Line* line = LineOf(device);
    if (result == 0 && (version < line->versionLow || version > line->versionHigh))
        result = LINEERR_INCOMPATIBLEAPIVERSION;
    if (result == 0)
        result = Scripted("lineGetAddressCaps", device);
    if (result == 0) {
        VarBlock block(caps, kAddressCapsFixed);
        block.Add(kDeviceClasses, sizeof kDeviceClasses, &caps->dwDeviceClassesSize,
                  &caps->dwDeviceClassesOffset);
        caps->dwLineDeviceID = device;
        caps->dwAddressSharing = LINEADDRESSSHARING_PRIVATE;
        caps->dwCallStates = 0x1FFFF;
        caps->dwDisconnectModes = 0x1FFF;
        caps->dwMaxNumActiveCalls = 1;
        caps->dwAddrCapFlags = line->addrCapFlags;
        caps->dwCallFeatures = line->callFeatures;
        caps->dwAddressFeatures = line->addressFeatures;
        caps->dwAvailableMediaModes = line->mediaModes;
        block.Finish();
    }
    Write("call lineGetAddressCaps device=%lu address=%lu version=%s ext=%s total=%lu result=%s "
          "needed=%lu",
          device, address, Hex(version).c_str(), Hex(extVersion).c_str(),
          caps ? caps->dwTotalSize : 0ul, Result(result).c_str(),
          result == 0 ? caps->dwNeededSize : 0ul);
    return result;
}

LONG WINAPI lineGetAddressStatusA(HLINE handle, DWORD address, LPLINEADDRESSSTATUS status) {
    OpenLine* open = FindLine(handle);
    LONG result = open ? 0 : LINEERR_INVALLINEHANDLE;
    if (result == 0 && address != 0)
        result = LINEERR_INVALADDRESSID;
    if (result == 0)
        result = CheckBlock(status, kAddressStatusFixed);
    if (result == 0)
        result = Scripted("lineGetAddressStatus", open->device);
    if (result == 0) {
        VarBlock block(status, kAddressStatusFixed);
        DWORD active = 0;
        for (const Call& c : Get().calls)
            active += c.line == handle ? 1 : 0;
        status->dwNumInUse = 1;
        status->dwNumActiveCalls = active;
        status->dwAddressFeatures = LineOf(open->device)->addressFeatures;
        block.Finish();
    }
    Write("call lineGetAddressStatus line=%s address=%lu total=%lu result=%s needed=%lu",
          Hex(handle).c_str(), address, status ? status->dwTotalSize : 0ul, Result(result).c_str(),
          result == 0 ? status->dwNeededSize : 0ul);
    return result;
}

LONG WINAPI lineSetStatusMessages(HLINE handle, DWORD lineStates, DWORD addressStates) {
    OpenLine* open = FindLine(handle);
    LONG result = open ? Scripted("lineSetStatusMessages", open->device) : LINEERR_INVALLINEHANDLE;
    Write("call lineSetStatusMessages line=%s linestates=%s addressstates=%s result=%s",
          Hex(handle).c_str(), Hex(lineStates).c_str(), Hex(addressStates).c_str(),
          Result(result).c_str());
    return result;
}

LONG WINAPI lineTranslateDialogA(HLINEAPP app, DWORD device, DWORD version, HWND owner,
                                 LPCSTR address) {
    // Before lineInitialize has succeeded (a corrupt configuration) there is no usage handle yet.
    LONG result = app == 0 || AppValid(app) ? Scripted("lineTranslateDialog", device)
                                            : LINEERR_INVALAPPHANDLE;
    Write("call lineTranslateDialog lineapp=%s device=%lu version=%s owner=%s address=%s result=%s",
          Hex(static_cast<DWORD_PTR>(app)).c_str(), device, Hex(version).c_str(),
          owner ? "set" : "null", Text(address).c_str(), Result(result).c_str());
    return result;
}

} // extern "C"
