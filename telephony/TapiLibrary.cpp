// The telephony functions the program calls, bound at run time to the system's tapi32.dll.
//
// The exe does not import tapi32: the loader would take a tapi32.dll lying beside the exe
// (it is not one of the libraries Windows always takes from the system folder), and run it
// before the program's first line. These definitions carry the names and signatures of the
// platform header, so the call sites read as plain telephony calls; the library is loaded
// from the system folder at the first call. Without it, or with any of these functions
// missing from it, every call answers LINEERR_NODRIVER, which lineInitialize's error
// handling already reports as a missing telephony component.
#include "shell/SystemLibrary.h"
#include <windows.h>
#include <tapi.h>

namespace {

// Every function the program uses, by its exported name (the 8-bit forms of the string
// functions, which the header's names map to).
#define FARLINK_TAPI_FUNCTIONS(X)                                                                  \
    X(lineAnswer)                                                                                  \
    X(lineClose)                                                                                   \
    X(lineDeallocateCall)                                                                          \
    X(lineDialA)                                                                                   \
    X(lineDrop)                                                                                    \
    X(lineGetAddressCapsA)                                                                         \
    X(lineGetAddressStatusA)                                                                       \
    X(lineGetCallStatus)                                                                           \
    X(lineGetDevCapsA)                                                                             \
    X(lineGetIDA)                                                                                  \
    X(lineInitialize)                                                                              \
    X(lineMakeCallA)                                                                               \
    X(lineNegotiateAPIVersion)                                                                     \
    X(lineOpenA)                                                                                   \
    X(lineSetStatusMessages)                                                                       \
    X(lineShutdown)                                                                                \
    X(lineTranslateDialogA)

struct TapiFunctions {
#define FARLINK_TAPI_SLOT(name) decltype(&::name) name;
    FARLINK_TAPI_FUNCTIONS(FARLINK_TAPI_SLOT)
#undef FARLINK_TAPI_SLOT
};

template <typename Function> bool Bind(HMODULE library, const char* name, Function& slot) {
    const FARPROC found = GetProcAddress(library, name);
    // Through void(*)() so the compiler accepts the change of signature.
    slot = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
    return found != nullptr;
}

// All of them, or null: a library that lacks one is not the service the program is written
// for. It stays loaded for the rest of the run (callbacks may come until the end).
const TapiFunctions* Load() {
    static TapiFunctions functions;
    const HMODULE library = LoadSystemLibrary(L"tapi32.dll");
    if (library == nullptr)
        return nullptr;
    bool complete = true;
#define FARLINK_TAPI_BIND(name) complete = Bind(library, #name, functions.name) && complete;
    FARLINK_TAPI_FUNCTIONS(FARLINK_TAPI_BIND)
#undef FARLINK_TAPI_BIND
    if (!complete) {
        FreeLibrary(library);
        return nullptr;
    }
    return &functions;
}

const TapiFunctions* Bound() {
    static const TapiFunctions* const bound = Load();
    return bound;
}

template <typename Function, typename... Args>
LONG Forward(Function TapiFunctions::*slot, Args... args) {
    const TapiFunctions* functions = Bound();
    return functions != nullptr ? (functions->*slot)(args...) : static_cast<LONG>(LINEERR_NODRIVER);
}

} // namespace

extern "C" {

LONG WINAPI lineAnswer(HCALL call, LPCSTR userUserInfo, DWORD size) {
    return Forward(&TapiFunctions::lineAnswer, call, userUserInfo, size);
}

LONG WINAPI lineClose(HLINE line) {
    return Forward(&TapiFunctions::lineClose, line);
}

LONG WINAPI lineDeallocateCall(HCALL call) {
    return Forward(&TapiFunctions::lineDeallocateCall, call);
}

LONG WINAPI lineDialA(HCALL call, LPCSTR destination, DWORD countryCode) {
    return Forward(&TapiFunctions::lineDialA, call, destination, countryCode);
}

LONG WINAPI lineDrop(HCALL call, LPCSTR userUserInfo, DWORD size) {
    return Forward(&TapiFunctions::lineDrop, call, userUserInfo, size);
}

LONG WINAPI lineGetAddressCapsA(HLINEAPP app, DWORD device, DWORD address, DWORD apiVersion,
                                DWORD extVersion, LPLINEADDRESSCAPS caps) {
    return Forward(&TapiFunctions::lineGetAddressCapsA, app, device, address, apiVersion,
                   extVersion, caps);
}

LONG WINAPI lineGetAddressStatusA(HLINE line, DWORD address, LPLINEADDRESSSTATUS status) {
    return Forward(&TapiFunctions::lineGetAddressStatusA, line, address, status);
}

LONG WINAPI lineGetCallStatus(HCALL call, LPLINECALLSTATUS status) {
    return Forward(&TapiFunctions::lineGetCallStatus, call, status);
}

LONG WINAPI lineGetDevCapsA(HLINEAPP app, DWORD device, DWORD apiVersion, DWORD extVersion,
                            LPLINEDEVCAPS caps) {
    return Forward(&TapiFunctions::lineGetDevCapsA, app, device, apiVersion, extVersion, caps);
}

LONG WINAPI lineGetIDA(HLINE line, DWORD address, HCALL call, DWORD select, LPVARSTRING id,
                       LPCSTR deviceClass) {
    return Forward(&TapiFunctions::lineGetIDA, line, address, call, select, id, deviceClass);
}

LONG WINAPI lineInitialize(LPHLINEAPP app, HINSTANCE instance, LINECALLBACK callback,
                           LPCSTR appName, LPDWORD numDevs) {
    return Forward(&TapiFunctions::lineInitialize, app, instance, callback, appName, numDevs);
}

LONG WINAPI lineMakeCallA(HLINE line, LPHCALL call, LPCSTR destination, DWORD countryCode,
                          LPLINECALLPARAMS const params) {
    return Forward(&TapiFunctions::lineMakeCallA, line, call, destination, countryCode, params);
}

LONG WINAPI lineNegotiateAPIVersion(HLINEAPP app, DWORD device, DWORD low, DWORD high,
                                    LPDWORD version, LPLINEEXTENSIONID extension) {
    return Forward(&TapiFunctions::lineNegotiateAPIVersion, app, device, low, high, version,
                   extension);
}

LONG WINAPI lineOpenA(HLINEAPP app, DWORD device, LPHLINE line, DWORD apiVersion, DWORD extVersion,
                      DWORD_PTR callbackInstance, DWORD privileges, DWORD mediaModes,
                      LPLINECALLPARAMS const params) {
    return Forward(&TapiFunctions::lineOpenA, app, device, line, apiVersion, extVersion,
                   callbackInstance, privileges, mediaModes, params);
}

LONG WINAPI lineSetStatusMessages(HLINE line, DWORD lineStates, DWORD addressStates) {
    return Forward(&TapiFunctions::lineSetStatusMessages, line, lineStates, addressStates);
}

LONG WINAPI lineShutdown(HLINEAPP app) {
    return Forward(&TapiFunctions::lineShutdown, app);
}

LONG WINAPI lineTranslateDialogA(HLINEAPP app, DWORD device, DWORD apiVersion, HWND owner,
                                 LPCSTR addressIn) {
    return Forward(&TapiFunctions::lineTranslateDialogA, app, device, apiVersion, owner, addressIn);
}

} // extern "C"
