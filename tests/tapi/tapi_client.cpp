// Works the telephony interface step by step as the command line says and prints
// what each step answered, one line per step and per callback. The provider's
// self-tests run it against scenarios and compare its lines.
//
//   tapi_client init negotiate 0 0x10003 0x20000 devcaps 0 0x20000 1292 pump 200 shutdown
#define TAPI_CURRENT_VERSION 0x00020000
#include <windows.h>
#include <tapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

HLINEAPP g_app = 0;
HLINE g_line = 0;
HCALL g_call = 0;
DWORD g_thread = 0;
bool g_insideCall = false; // a line... function is running
LONG g_lastRequest = 0;
bool g_replied = false;

void CALLBACK Callback(DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2,
                       DWORD_PTR p3) {
    std::printf("callback msg=%lu device=0x%lx instance=0x%lx p1=0x%lx p2=0x%lx p3=0x%lx "
                "same-thread=%d inside-call=%d\n",
                message, device, static_cast<unsigned long>(instance),
                static_cast<unsigned long>(p1), static_cast<unsigned long>(p2),
                static_cast<unsigned long>(p3), GetCurrentThreadId() == g_thread ? 1 : 0,
                g_insideCall ? 1 : 0);
    if (message == LINE_REPLY && static_cast<LONG>(p1) == g_lastRequest)
        g_replied = true;
    std::fflush(stdout);
}

// Dispatches messages for `ms` milliseconds, or until `until` turns true.
void Pump(DWORD ms, const bool* until = nullptr) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms && !(until && *until)) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

DWORD Number(const char* text) {
    return static_cast<DWORD>(std::strtoul(text, nullptr, 0));
}

// A zeroed block whose dwTotalSize is `size`, with a canary after it.
struct Block {
    explicit Block(DWORD requested)
        : size(requested < 4       ? 4
               : requested > 65536 ? 65536
                                   : requested) {
        bytes.assign(size + 64, 0xEE);
        std::memset(bytes.data(), 0, size);
        std::memcpy(bytes.data(), &size, 4);
    }
    template <typename T> T* As() { return reinterpret_cast<T*>(bytes.data()); }
    bool CanaryIntact() const {
        for (size_t i = size; i < bytes.size(); ++i) {
            if (bytes[i] != 0xEE)
                return false;
        }
        return true;
    }
    std::vector<BYTE> bytes;
    DWORD size;
};

std::string Visible(const BYTE* p, DWORD n) {
    std::string out;
    for (DWORD i = 0; i < n && i < 256; ++i)
        out += p[i] >= 0x20 && p[i] < 0x7f && p[i] != '"' && p[i] != '\\' ? static_cast<char>(p[i])
                                                                          : '.';
    return out;
}

struct Guard {
    Guard() { g_insideCall = true; }
    ~Guard() { g_insideCall = false; }
};

int Step(char** argv, int i, int argc) {
    std::string step = argv[i];
    auto need = [&](int n) {
        if (i + n >= argc) {
            std::printf("error step %s needs %d arguments\n", step.c_str(), n);
            std::exit(2);
        }
    };
    LONG r;
    if (step == "init") {
        DWORD numDevs = 0xFFFFFFFF;
        g_thread = GetCurrentThreadId();
        {
            Guard g;
            r = lineInitialize(&g_app, GetModuleHandleA(nullptr), Callback, "Client", &numDevs);
        }
        std::printf("init result=%ld numdevs=%lu\n", r, r == 0 ? numDevs : 0);
        return 0;
    }
    if (step == "shutdown") {
        Guard g;
        std::printf("shutdown result=%ld\n", lineShutdown(g_app));
        return 0;
    }
    if (step == "negotiate") {
        need(3);
        DWORD version = 0;
        LINEEXTENSIONID ext;
        {
            Guard g;
            r = lineNegotiateAPIVersion(g_app, Number(argv[i + 1]), Number(argv[i + 2]),
                                        Number(argv[i + 3]), &version, &ext);
        }
        std::printf("negotiate result=%ld version=0x%lx\n", r, version);
        return 3;
    }
    if (step == "devcaps") {
        need(3);
        Block b(Number(argv[i + 3]));
        LINEDEVCAPS* c = b.As<LINEDEVCAPS>();
        {
            Guard g;
            r = lineGetDevCaps(g_app, Number(argv[i + 1]), Number(argv[i + 2]), 0, c);
        }
        std::string name = "-";
        if (r == 0 && c->dwLineNameSize && c->dwLineNameOffset + c->dwLineNameSize <= b.size)
            name = Visible(b.bytes.data() + c->dwLineNameOffset, c->dwLineNameSize);
        BYTE after = 0;
        if (r == 0 && c->dwLineNameOffset + c->dwLineNameSize < b.size)
            after = b.bytes[c->dwLineNameOffset + c->dwLineNameSize];
        std::printf("devcaps result=%ld needed=%lu used=%lu namesize=%lu nameoffset=%lu format=%lu "
                    "name=\"%s\" after=0x%x bearer=0x%lx media=0x%lx features=0x%lx "
                    "devcapflags=0x%lx canary=%d\n",
                    r, c->dwNeededSize, c->dwUsedSize, c->dwLineNameSize, c->dwLineNameOffset,
                    c->dwStringFormat, name.c_str(), after, c->dwBearerModes, c->dwMediaModes,
                    c->dwLineFeatures, c->dwDevCapFlags, b.CanaryIntact() ? 1 : 0);
        return 3;
    }
    if (step == "open") {
        need(2);
        {
            Guard g;
            r = lineOpen(g_app, Number(argv[i + 1]), &g_line, Number(argv[i + 2]), 0, 0,
                         LINECALLPRIVILEGE_NONE, LINEMEDIAMODE_DATAMODEM, nullptr);
        }
        std::printf("open result=%ld\n", r);
        return 2;
    }
    if (step == "close") {
        Guard g;
        std::printf("close result=%ld\n", lineClose(g_line));
        return 0;
    }
    if (step == "addrcaps") {
        need(3);
        Block b(Number(argv[i + 3]));
        LINEADDRESSCAPS* c = b.As<LINEADDRESSCAPS>();
        {
            Guard g;
            r = lineGetAddressCaps(g_app, Number(argv[i + 1]), 0, Number(argv[i + 2]), 0, c);
        }
        std::printf("addrcaps result=%ld needed=%lu used=%lu addrcapflags=0x%lx "
                    "addrfeatures=0x%lx canary=%d\n",
                    r, c->dwNeededSize, c->dwUsedSize, c->dwAddrCapFlags, c->dwAddressFeatures,
                    b.CanaryIntact() ? 1 : 0);
        return 3;
    }
    if (step == "addrstatus") {
        need(1);
        Block b(Number(argv[i + 1]));
        LINEADDRESSSTATUS* s = b.As<LINEADDRESSSTATUS>();
        {
            Guard g;
            r = lineGetAddressStatus(g_line, 0, s);
        }
        std::printf("addrstatus result=%ld needed=%lu addrfeatures=0x%lx calls=%lu\n", r,
                    s->dwNeededSize, s->dwAddressFeatures, s->dwNumActiveCalls);
        return 1;
    }
    if (step == "getid-line" || step == "getid-call") {
        need(2);
        Block b(Number(argv[i + 1]));
        VARSTRING* v = b.As<VARSTRING>();
        bool onCall = step == "getid-call";
        {
            Guard g;
            r = lineGetID(onCall ? 0 : g_line, 0, onCall ? g_call : 0,
                          onCall ? LINECALLSELECT_CALL : LINECALLSELECT_LINE, v, argv[i + 2]);
        }
        std::printf("%s result=%ld needed=%lu used=%lu format=%lu stringsize=%lu", step.c_str(), r,
                    v->dwNeededSize, v->dwUsedSize, v->dwStringFormat, v->dwStringSize);
        if (r == 0 && v->dwStringFormat == STRINGFORMAT_BINARY &&
            v->dwStringSize > sizeof(HANDLE) && v->dwStringOffset + v->dwStringSize <= b.size) {
            HANDLE h;
            std::memcpy(&h, b.bytes.data() + v->dwStringOffset, sizeof h);
            std::printf(
                " filetype=%lu name=\"%s\"", GetFileType(h),
                Visible(b.bytes.data() + v->dwStringOffset + sizeof h, v->dwStringSize - sizeof h)
                    .c_str());
            CloseHandle(h);
        }
        std::printf(" canary=%d\n", b.CanaryIntact() ? 1 : 0);
        return 2;
    }
    if (step == "makecall" || step == "dial") {
        need(1);
        g_replied = false;
        {
            Guard g;
            r = step == "dial" ? lineDial(g_call, argv[i + 1], 0)
                               : lineMakeCall(g_line, &g_call, argv[i + 1], 0, nullptr);
        }
        g_lastRequest = r;
        std::printf("%s result=%s handle-before-reply=0x%lx\n", step.c_str(),
                    r > 0 ? "request" : std::to_string(r).c_str(),
                    static_cast<unsigned long>(g_call));
        return 1;
    }
    if (step == "drop") {
        g_replied = false;
        {
            Guard g;
            r = lineDrop(g_call, nullptr, 0);
        }
        g_lastRequest = r;
        std::printf("drop result=%s\n", r > 0 ? "request" : std::to_string(r).c_str());
        return 0;
    }
    if (step == "dealloc") {
        Guard g;
        std::printf("dealloc result=%ld\n", lineDeallocateCall(g_call));
        return 0;
    }
    if (step == "callstatus") {
        Block b(1080);
        LINECALLSTATUS* s = b.As<LINECALLSTATUS>();
        {
            Guard g;
            r = lineGetCallStatus(g_call, s);
        }
        std::printf("callstatus result=%ld state=0x%lx features=0x%lx\n", r, s->dwCallState,
                    s->dwCallFeatures);
        return 0;
    }
    if (step == "translate") {
        Guard g;
        std::printf("translate result=%ld\n",
                    lineTranslateDialog(g_app, 0, 0x10004, nullptr, nullptr));
        return 0;
    }
    if (step == "pump") {
        need(1);
        Pump(Number(argv[i + 1]));
        std::printf("pumped\n");
        return 1;
    }
    if (step == "wait-reply") {
        Pump(5000, &g_replied);
        std::printf("wait-reply replied=%d handle=0x%lx\n", g_replied ? 1 : 0,
                    static_cast<unsigned long>(g_call));
        return 0;
    }
    std::printf("error unknown step %s\n", step.c_str());
    std::exit(2);
}

} // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    for (int i = 1; i < argc; ++i) {
        i += Step(argv, i, argc);
        std::fflush(stdout);
    }
    return 0;
}
