// The provider's state, its scenario and log, and the way replies and events are queued.
#include "Provider.h"

#include "Delivery.h"
#include "ProviderLog.h"
#include "Symbols.h"

#include <cstdlib>

using provider_log::Hex;
using provider_log::Write;

namespace provider {
namespace {

HINSTANCE g_module = nullptr;

std::string BesideDll(const char* file) {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(g_module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return file;
    std::string dir(path, n);
    size_t slash = dir.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : dir.substr(0, slash + 1)) + file;
}

std::string FromEnvironment(const char* name, const char* fallback) {
    char value[MAX_PATH];
    DWORD n = GetEnvironmentVariableA(name, value, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(value, n) : BesideDll(fallback);
}

bool ReadFileText(const std::string& path, std::string* text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char buffer[4096];
    DWORD got;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0 &&
           text->size() < (1u << 20))
        text->append(buffer, got);
    CloseHandle(file);
    return true;
}

} // namespace

State& Get() {
    static State state;
    return state;
}

HINSTANCE Module() {
    return g_module;
}

namespace {
std::string CommFaultPath() {
    return FromEnvironment("FARLINK_TAPI_COMM_FAULT", "comm-fault");
}
} // namespace

void LoadScenario() {
    State& s = Get();
    if (s.loaded)
        return;
    s.loaded = true;
    provider_log::Open(FromEnvironment("FARLINK_TAPI_LOG", "tapi.log"));
    DeleteFileA(CommFaultPath().c_str()); // a fault an earlier run left
    std::string path = FromEnvironment("FARLINK_TAPI_SCENARIO", "tapi-scenario.txt");
    std::string text;
    bool found = ReadFileText(path, &text);
    s.sc = scenario::Parse(text, LookupSymbol);
    Write("scenario path=%s found=%d lines=%u numdevs=%lu errors=%u", Text(path.c_str()).c_str(),
          found ? 1 : 0, static_cast<unsigned>(s.sc.lines.size()), NumDevs(),
          static_cast<unsigned>(s.sc.errors.size()));
    for (const std::string& e : s.sc.errors)
        Write("scenario-error %s", e.c_str());
}

DWORD NumDevs() {
    const scenario::Scenario& sc = Get().sc;
    return sc.numDevs >= 0 ? static_cast<DWORD>(sc.numDevs) : static_cast<DWORD>(sc.lines.size());
}

const scenario::Line* LineOf(DWORD device) {
    const State& s = Get();
    if (device >= NumDevs() || device >= s.sc.lines.size())
        return nullptr;
    return &s.sc.lines[device];
}

OpenLine* FindLine(HLINE handle) {
    for (OpenLine& l : Get().lines) {
        if (l.handle == handle)
            return &l;
    }
    return nullptr;
}

Call* FindCall(HCALL handle) {
    for (Call& c : Get().calls) {
        if (c.handle == handle)
            return &c;
    }
    return nullptr;
}

void ForgetLine(HLINE handle) {
    State& s = Get();
    for (size_t i = 0; i < s.lines.size(); ++i) {
        if (s.lines[i].handle == handle) {
            s.lines.erase(s.lines.begin() + i);
            break;
        }
    }
    for (size_t i = s.calls.size(); i-- > 0;) {
        if (s.calls[i].line == handle)
            s.calls.erase(s.calls.begin() + i);
    }
}

void SetCommFault(bool on) {
    State& s = Get();
    const std::string path = CommFaultPath();
    bool done;
    if (on) {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        done = file != INVALID_HANDLE_VALUE;
        if (done)
            CloseHandle(file);
    } else {
        done = DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    s.commFault = on;
    s.commFaults += on ? 1 : 0;
    Write("comm-fault %s done=%d", on ? "on" : "off", done ? 1 : 0);
}

LONG Scripted(const char* function, long device) {
    bool found;
    return scenario::Take(Get().sc.results, function, device, &found);
}

std::string Result(LONG result) {
    if (result < 0) {
        if (const char* name = SymbolName("LINEERR_", result))
            return name;
        return Hex(static_cast<DWORD>(result));
    }
    return std::to_string(result);
}

std::string Text(const char* text) {
    return provider_log::Quote(text);
}

namespace {

std::string MessageName(DWORD message) {
    const char* name = SymbolName("LINE_", message);
    return name ? name : std::to_string(message);
}

// Where an event addressed to "line", "call" or "app" goes, at the moment it goes out.
DWORD Resolve(const std::string& device, DWORD_PTR* instance) {
    State& s = Get();
    *instance = 0;
    if (device == "line") {
        if (OpenLine* l = FindLine(s.lastLine))
            *instance = l->instance;
        return static_cast<DWORD>(s.lastLine);
    }
    if (device == "call")
        return static_cast<DWORD>(s.lastCall);
    if (device == "app")
        return static_cast<DWORD>(s.app);
    int64_t value = 0;
    scenario::ParseValue(device, LookupSymbol, &value);
    return static_cast<DWORD>(value);
}

// What the provider itself must change as a callback goes out.
void BeforeCallback(DWORD device, DWORD message, DWORD_PTR p1, DWORD_PTR p2) {
    if (message == LINE_CALLSTATE) {
        if (Call* c = FindCall(static_cast<HCALL>(device))) {
            c->state = static_cast<DWORD>(p1);
            c->mode = static_cast<DWORD>(p2);
        }
    } else if (message == LINE_CLOSE) {
        ForgetLine(static_cast<HLINE>(device)); // the handle is dead from now on
    }
}

void Deliver(DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2,
             DWORD_PTR p3) {
    State& s = Get();
    BeforeCallback(device, message, p1, p2);
    Write("callback %s device=%s instance=%s p1=%s p2=%s p3=%s thread=%s",
          MessageName(message).c_str(), Hex(device).c_str(), Hex(instance).c_str(), Hex(p1).c_str(),
          Hex(p2).c_str(), Hex(p3).c_str(),
          GetCurrentThreadId() == s.initThread ? "init" : "other");
    if (s.callback)
        s.callback(device, message, instance, p1, p2, p3);
}

} // namespace

void Send(DWORD delayMs, DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR p1,
          DWORD_PTR p2, DWORD_PTR p3) {
    delivery::Schedule(delayMs, [=] { Deliver(device, message, instance, p1, p2, p3); });
}

void Anchor(const char* anchor) {
    State& s = Get();
    int occurrence = 1;
    bool seen = false;
    for (auto& a : s.anchors) {
        if (a.first == anchor) {
            occurrence = ++a.second;
            seen = true;
        }
    }
    if (!seen)
        s.anchors.emplace_back(anchor, 1);
    for (const scenario::Event& e : s.sc.events) {
        if (e.anchor != anchor || e.occurrence != occurrence)
            continue;
        scenario::Event copy = e;
        delivery::Schedule(e.delayMs, [copy] {
            if (copy.message == scenario::kProbe) {
                Write("probe anchor=%s#%d delay=%lu thread=%s", copy.anchor.c_str(),
                      copy.occurrence, static_cast<unsigned long>(copy.delayMs),
                      GetCurrentThreadId() == Get().initThread ? "init" : "other");
                return;
            }
            DWORD_PTR instance;
            DWORD device = Resolve(copy.device, &instance);
            if (copy.message == scenario::kSetCallFeatures) {
                Call* c = FindCall(static_cast<HCALL>(device));
                if (c)
                    c->features = static_cast<DWORD>(copy.param1);
                Write("set-callfeatures call=%s features=%s known=%d", Hex(device).c_str(),
                      Hex(copy.param1).c_str(), c ? 1 : 0);
                return;
            }
            if (copy.message == scenario::kCloseComm) {
                HANDLE port = Get().lastComm;
                Get().lastComm = nullptr;
                BOOL closed = port != nullptr && CloseHandle(port);
                Write("close-comm handle=%s result=%d",
                      Hex(reinterpret_cast<DWORD_PTR>(port)).c_str(), closed ? 1 : 0);
                return;
            }
            if (copy.message == scenario::kStall) {
                Write("stall ms=%lu thread=%s", static_cast<unsigned long>(copy.param1),
                      GetCurrentThreadId() == Get().initThread ? "init" : "other");
                Sleep(static_cast<DWORD>(copy.param1));
                return;
            }
            if (copy.message == scenario::kCommFault) {
                SetCommFault(true);
                // A later fault that overlaps this one lasts its own time.
                const unsigned fault = Get().commFaults;
                delivery::Schedule(static_cast<DWORD>(copy.param1), [fault] {
                    if (Get().commFault && Get().commFaults == fault)
                        SetCommFault(false);
                });
                return;
            }
            if (copy.message == scenario::kSetMedia) {
                std::vector<scenario::Line>& lines = Get().sc.lines;
                bool known = device < lines.size();
                if (known)
                    lines[device].mediaModes = static_cast<uint32_t>(copy.param1);
                Write("set-media device=%lu media=%s known=%d", static_cast<unsigned long>(device),
                      Hex(copy.param1).c_str(), known ? 1 : 0);
                return;
            }
            Deliver(device, copy.message, instance, static_cast<DWORD_PTR>(copy.param1),
                    static_cast<DWORD_PTR>(copy.param2), static_cast<DWORD_PTR>(copy.param3));
        });
    }
}

LONG Request(const char* function, long device, DWORD_PTR instance,
             std::function<void(LONG result)> onReply) {
    State& s = Get();
    LONG id = static_cast<LONG>(s.nextRequest++ & 0x7FFFFFFF);
    bool found;
    LONG result = scenario::Take(s.sc.replies, function, device, &found);
    const auto own = s.sc.replyDelayFor.find(function);
    const uint32_t delay = own != s.sc.replyDelayFor.end() ? own->second : s.sc.replyDelayMs;
    delivery::Schedule(delay, [=] {
        onReply(result);
        Deliver(0, LINE_REPLY, instance, static_cast<DWORD_PTR>(id), static_cast<DWORD_PTR>(result),
                0);
    });
    return id;
}

} // namespace provider

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        provider::g_module = module;
        DisableThreadLibraryCalls(module);
    }
    return TRUE;
}
