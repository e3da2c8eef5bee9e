// Drives the modem data channel from a Windows program, scenario by scenario, against a peer on
// COM1 that stands for the station behind a connected modem. The peer (modem_wine_test.py)
// answers each message by its first byte; see there. This program's window plays the main
// dialog: it receives the channel's blocks and hang-up requests.
#include "shell/AppShell.h"
#include "shell/LinkEvents.h"
#include "shell/LinkMessages.h"
#include "console/StationProtocol.h"
#include "modem/CommChannel.h"
#include "modem/CommCode.h"
#include "tests/wine/ProbeCheck.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// --- the stand-in main dialog ---

struct Block {
    std::vector<uint8_t> bytes;
    bool terminated; // a 0 after the counted bytes
    double at;
};
std::vector<Block> g_blocks;
int g_hangups;
std::vector<std::string> g_status;
HWND g_window;

LRESULT CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_REMOTE_DATA) {
        auto* bytes = reinterpret_cast<uint8_t*>(lParam);
        const size_t count = static_cast<size_t>(wParam);
        g_blocks.push_back(
            {std::vector<uint8_t>(bytes, bytes + count), bytes[count] == 0, NowMs()});
        CHECK(LocalFree(reinterpret_cast<HLOCAL>(bytes)) == nullptr, "block not a local block");
        return 0;
    }
    if (message == WM_CHANNEL_FAILED) {
        ++g_hangups;
        Say("hang-up request %d", g_hangups);
        return 0;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void MakeDialog() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DialogProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ModemProbeDialog";
    RegisterClassA(&wc);
    g_window = CreateWindowExA(0, wc.lpszClassName, "Modem probe", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                               100, nullptr, nullptr, wc.hInstance, nullptr);
    SetMainWindowHandle(g_window);
}

void Pump(double ms) {
    const double end = NowMs() + ms;
    MSG msg;
    do {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (NowMs() < end);
}

template <typename Predicate> bool PumpUntil(Predicate done, double timeout_ms) {
    const double end = NowMs() + timeout_ms;
    while (!done()) {
        if (NowMs() > end)
            return false;
        Pump(5);
    }
    return true;
}

size_t ReceivedBytes() {
    size_t n = 0;
    for (const auto& b : g_blocks)
        n += b.bytes.size();
    return n;
}

// --- application-titled boxes, answered as an operator would ---

std::vector<std::string> g_boxes;
volatile LONG g_watching;

BOOL CALLBACK FindBox(HWND hwnd, LPARAM found) {
    char caption[64] = {}, cls[16] = {};
    GetWindowTextA(hwnd, caption, sizeof caption);
    GetClassNameA(hwnd, cls, sizeof cls);
    if (IsWindowVisible(hwnd) && std::string(cls) == "#32770" &&
        std::string(caption) == kAppTitle) {
        *reinterpret_cast<HWND*>(found) = hwnd;
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI BoxWatcher(LPVOID) {
    while (g_watching) {
        HWND box = nullptr;
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&box));
        if (box != nullptr) {
            char text[256] = {};
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            g_boxes.push_back(text);
            Say("box: %s", text);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            Sleep(200);
        }
        Sleep(20);
    }
    return 0;
}

// --- the channel's surroundings ---

HANDLE OpenModem() {
    HANDLE h = CreateFileA("\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    CHECK(h != INVALID_HANDLE_VALUE, "open COM1: error %lu", GetLastError());
    if (h == INVALID_HANDLE_VALUE)
        return nullptr;
    // As a telephony service hands it over: a line that is up, at some speed.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(h, &dcb);
    dcb.BaudRate = 57600;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fAbortOnError = TRUE;
    SetCommState(h, &dcb);
    return h;
}

// Opens COM1 and hands it to the channel; the handle, or null when that failed.
HANDLE StartOnModem() {
    HANDLE modem = OpenModem();
    if (modem == nullptr)
        return nullptr;
    const int started = StartCommChannel(modem, 1);
    CHECK(started == 1, "start");
    if (started == 1)
        return modem;
    CloseHandle(modem);
    return nullptr;
}

bool Write(const std::string& bytes) {
    return WriteComm(bytes.data(), static_cast<DWORD>(bytes.size())) == 1;
}

// Lets the test look at the process from outside at this point, the dialog still running.
void Checkpoint(const char* name) {
    Say("checkpoint %s", name);
    Pump(1500);
}

int ThreadCount() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    int n = 0;
    for (BOOL more = Thread32First(snap, &entry); more; more = Thread32Next(snap, &entry))
        n += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snap);
    return n;
}

// Handles this process holds, from the system's handle table (GetProcessHandleCount is 0
// under Wine); -1 when the table cannot be read.
int HandleCount() {
    struct Entry {
        ULONG pid;
        UCHAR type, flags;
        USHORT value;
        PVOID object;
        ACCESS_MASK access;
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr)
        return -1;
    std::vector<char> buffer(1 << 20);
    for (int attempt = 0; attempt < 6; ++attempt) {
        ULONG needed = 0;
        LONG status = query(16 /* SystemHandleInformation */, buffer.data(),
                            static_cast<ULONG>(buffer.size()), &needed);
        if (status == 0) {
            const ULONG total = *reinterpret_cast<ULONG*>(buffer.data());
            const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(void*));
            int n = 0;
            for (ULONG i = 0; i < total; ++i)
                n += entries[i].pid == GetCurrentProcessId();
            return n;
        }
        buffer.resize(buffer.size() * 2);
    }
    return -1;
}

// --- scenarios ---

// What is refused leaves the handle with the caller; a running channel is not disturbed.
void Refusals() {
    char path[MAX_PATH];
    GetTempPathA(sizeof path, path);
    std::string file = std::string(path) + "modem-probe.tmp";
    HANDLE disk = CreateFileA(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_FLAG_OVERLAPPED, nullptr);
    CHECK(StartCommChannel(disk, 1) == 0, "a disk file was taken");
    CHECK(TheCommChannel().handle == nullptr, "the channel holds the disk file");
    CHECK(CloseHandle(disk), "the disk file's handle is no longer the caller's");
    DeleteFileA(file.c_str());

    HANDLE first = OpenModem();
    CHECK(StartCommChannel(first, 1) == 1, "first start");
    HANDLE second = OpenModem();
    CHECK(StartCommChannel(second, 1) == 0, "second start while running");
    CHECK(TheCommChannel().handle == first, "the running channel lost its handle");
    CHECK(CloseHandle(second), "the refused handle is no longer the caller's");

    Pump(300);
    CHECK(Write("A"), "write to the peer");
    CHECK(PumpUntil([] { return ReceivedBytes() >= 3; }, 5000), "no answer after the refusal");
    CHECK(!g_blocks.empty() && g_blocks[0].bytes == std::vector<uint8_t>({'1', '2', '3'}),
          "answer of the running channel");
    StopCommChannel();
    CHECK(g_boxes.size() == 2, "%zu boxes", g_boxes.size());
    CHECK(g_boxes.size() == 2 && g_boxes[0] == "File handle is not a comm handle." &&
              g_boxes[1] == "Already have a comm file open",
          "box texts");
    CHECK(g_hangups == 0, "hang-up requested");
    Say("refusals done");
}

bool InOrder(const std::vector<uint8_t>& bytes, int modulus) {
    for (size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] != static_cast<uint8_t>(i % modulus))
            return false;
    return true;
}

// Reserves every free piece of the address space, so that no thread stack fits; returns
// the reservations.
std::vector<void*> FillAddressSpace() {
    std::vector<void*> taken;
    for (SIZE_T size = SIZE_T(1) << (sizeof(void*) == 8 ? 44 : 30); size >= 0x10000; size /= 2)
        while (void* p = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS))
            taken.push_back(p);
    return taken;
}

int StartWithoutRoomForAThread(HANDLE modem) {
    std::vector<void*> taken = FillAddressSpace();
    const int started = StartCommChannel(modem, 1);
    for (void* p : taken)
        VirtualFree(p, 0, MEM_RELEASE);
    return started;
}

// A start that cannot make its read thread gives everything back: the event it made, and
// the handle to the caller.
void NoThread() {
    HANDLE modem = OpenModem();
    if (!modem)
        return;
    // The first failure loads what the system keeps for later ones (the debug output's
    // mutex, error texts, the thread machinery's first allocation).
    CHECK(StartWithoutRoomForAThread(modem) == 0, "started without room for a thread");
    const int handles = HandleCount();
    CHECK(StartWithoutRoomForAThread(modem) == 0, "started without room for a thread");
    CHECK(TheCommChannel().handle == nullptr && TheCommChannel().stopEvent == nullptr &&
              TheCommChannel().readThread == nullptr && TheCommChannel().readThreadId == 0,
          "channel record not cleared");
    CHECK(HandleCount() == handles, "handles %d before, %d after", handles, HandleCount());
    CHECK(CloseHandle(modem), "the handle is no longer the caller's");
    // And the next start works.
    StartOnModem();
    StopCommChannel();
    Say("no thread done");
}

// How the bytes from the station arrive: one message per read, 250 ms of quiet ending a
// block, at most 2048 bytes in each, all in order and each with its 0 after it.
void Blocks() {
    HANDLE modem = StartOnModem();
    if (!modem)
        return;
    COMMTIMEOUTS t{};
    GetCommTimeouts(modem, &t);
    CHECK(t.ReadIntervalTimeout == 250 && t.ReadTotalTimeoutMultiplier == 0 &&
              t.ReadTotalTimeoutConstant == 0 && t.WriteTotalTimeoutMultiplier == 0 &&
              t.WriteTotalTimeoutConstant == 0,
          "time-outs %lu %lu %lu %lu %lu", t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
          t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(modem, &dcb);
    CHECK(!dcb.fAbortOnError && dcb.BaudRate == 57600, "line state: abort %u, %lu baud",
          dcb.fAbortOnError, dcb.BaudRate);
    CHECK(GetThreadPriority(TheCommChannel().readThread) == THREAD_PRIORITY_HIGHEST,
          "read thread priority %d", GetThreadPriority(TheCommChannel().readThread));

    // A block of nothing is not worth a message.
    CHECK(DeliverCommBytes("", 0, 0), "delivering 0 bytes failed");
    MSG msg;
    CHECK(!PeekMessageA(&msg, g_window, WM_REMOTE_DATA, WM_REMOTE_DATA, PM_NOREMOVE),
          "0 bytes posted");

    Pump(300);
    CHECK(Write("T"), "write T");
    CHECK(PumpUntil([] { return ReceivedBytes() >= 11; }, 5000), "two bursts: %zu bytes",
          ReceivedBytes());
    Pump(500);
    CHECK(g_blocks.size() == 2, "two bursts 600 ms apart came as %zu blocks", g_blocks.size());
    if (g_blocks.size() == 2) {
        CHECK(std::string(g_blocks[0].bytes.begin(), g_blocks[0].bytes.end()) == "first" &&
                  std::string(g_blocks[1].bytes.begin(), g_blocks[1].bytes.end()) == "second",
              "burst contents");
        CHECK(g_blocks[1].at - g_blocks[0].at > 300, "blocks %.0f ms apart",
              g_blocks[1].at - g_blocks[0].at);
    }

    g_blocks.clear();
    CHECK(Write("K"), "write K");
    CHECK(PumpUntil([] { return ReceivedBytes() >= 5000; }, 10000), "5000-byte burst: %zu bytes",
          ReceivedBytes());
    Pump(400);
    std::vector<uint8_t> all;
    bool terminated = true, bounded = true;
    for (const auto& b : g_blocks) {
        all.insert(all.end(), b.bytes.begin(), b.bytes.end());
        terminated &= b.terminated;
        bounded &= !b.bytes.empty() && b.bytes.size() <= 2048;
    }
    Say("5000-byte burst in %zu blocks", g_blocks.size());
    CHECK(g_blocks.size() >= 3, "only %zu blocks", g_blocks.size());
    CHECK(bounded && terminated, "block sizes or trailing zeros wrong");
    CHECK(all.size() == 5000 && InOrder(all, 251), "burst of %zu bytes out of order", all.size());
    CHECK(g_hangups == 0, "hang-up requested");
    StopCommChannel();
    Say("blocks done");
}

// The login frame reaches the station byte for byte.
void Frame() {
    HANDLE modem = StartOnModem();
    if (!modem)
        return;
    std::vector<uint8_t> frame;
    // Every byte value a field may hold, the separator among them.
    std::string all(255, '\0');
    for (int i = 0; i < 255; ++i)
        all[i] = static_cast<char>(i + 1);
    BuildLoginFrame({"5550000", "alice", all, "OFFICE", 30, false}, frame);
    std::string message = "F" + std::string(frame.begin(), frame.end());
    CHECK(Write(message), "frame write failed");
    CHECK(g_status.empty(), "status line after a good write");
    CHECK(PumpUntil([] { return ReceivedBytes() >= 2; }, 5000), "no acknowledgement");
    CHECK(!g_blocks.empty() && g_blocks[0].bytes == std::vector<uint8_t>({'o', 'k'}),
          "peer did not take the frame whole");
    StopCommChannel();
    Say("frame done");
}

struct Answering {
    double asked = 0, answered = 0;
};

DWORD WINAPI AskDialog(LPVOID param) {
    auto* a = static_cast<Answering*>(param);
    Sleep(1000);
    a->asked = NowMs();
    DWORD_PTR result = 0;
    if (SendMessageTimeoutA(g_window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result))
        a->answered = NowMs();
    return 0;
}

// A write the line will not take ends after about 5 s with string 104, and the dialog
// answers again.
void HeldWrite() {
    HANDLE modem = StartOnModem();
    if (!modem)
        return;
    CHECK(Write("H"), "write H");
    Pump(1000); // the peer has stopped reading
    std::string big(1 << 20, 'h');
    Answering a;
    HANDLE asker = CreateThread(nullptr, 0, AskDialog, &a, 0, nullptr);
    const double start = NowMs();
    const BOOL written = WriteComm(big.data(), static_cast<DWORD>(big.size()));
    const double took = NowMs() - start;
    Say("held write ended after %.0f ms", took);
    CHECK(written == 0, "a held write reported success");
    CHECK(took > 4500 && took < 12000, "held write ended after %.0f ms", took);
    CHECK(g_status.size() == 1 && g_status[0] == "Error writing bytes = 1460", "status: %s",
          g_status.empty() ? "(none)" : g_status.back().c_str());
    Pump(2000);
    WaitForSingleObject(asker, 30000);
    CloseHandle(asker);
    CHECK(a.answered > 0 && a.answered - start < took + 2000,
          "the dialog did not answer after the write (asked at %.0f, answered at %.0f)",
          a.asked - start, a.answered - start);
    CHECK(g_hangups == 0, "hang-up requested");
    // The channel reads on: the peer answers once it reads again.
    CHECK(PumpUntil([] { return ReceivedBytes() >= 4; }, 30000), "no answer after the held write");
    StopCommChannel();
    Say("held write done");
}

// A stop with a read pending ends the thread at once and gives the port back.
void Stop() {
    const int threads = ThreadCount();
    Checkpoint("before-start");
    HANDLE modem = StartOnModem();
    if (!modem)
        return;
    Checkpoint("running");
    // Wine may add a helper thread of its own for the event wait.
    CHECK(ThreadCount() > threads, "threads %d, before %d", ThreadCount(), threads);
    const double start = NowMs();
    StopCommChannel();
    const double took = NowMs() - start;
    Say("stop took %.1f ms", took);
    CHECK(took < 2000, "stop took %.0f ms", took);
    CHECK(TheCommChannel().handle == nullptr && TheCommChannel().readThread == nullptr &&
              TheCommChannel().stopEvent == nullptr,
          "channel record not cleared");
    CHECK(ThreadCount() == threads, "threads %d, before %d", ThreadCount(), threads);
    Checkpoint("stopped");
    CHECK(StartOnModem() != nullptr, "reopened port not taken");
    Pump(300);
    CHECK(Write("A"), "write after reopening");
    CHECK(PumpUntil([] { return ReceivedBytes() >= 3; }, 5000), "no answer after reopening");
    StopCommChannel();
    CHECK(g_hangups == 0, "hang-up requested");
    Say("stop done");
}

// The line going away ends the read thread with one request to hang up; the stop after it
// only closes the handle.
void LineGone() {
    HANDLE modem = StartOnModem();
    if (!modem)
        return;
    Pump(300);
    Say("checkpoint line-gone");
    CHECK(PumpUntil([] { return g_hangups > 0; }, 15000), "no hang-up request");
    Pump(2000); // time for a second one, which must not come
    CHECK(g_hangups == 1, "%d hang-up requests", g_hangups);
    const HANDLE thread = TheCommChannel().readThread;
    CHECK(thread != nullptr && WaitForSingleObject(thread, 0) == WAIT_OBJECT_0,
          "read thread still running");
    CHECK(TheCommChannel().readThreadId == 0, "read thread id not cleared");
    const double start = NowMs();
    StopCommChannel();
    Say("stop after the line went took %.1f ms", NowMs() - start);
    CHECK(NowMs() - start < 500, "stop waited %.0f ms", NowMs() - start);
    CHECK(TheCommChannel().handle == nullptr, "handle still held");
    Say("line gone done");
}

// The service closing the port under the channel: the read thread reads that as the end of
// the call, says so once and asks once to hang up.
void PortClosed() {
    HANDLE modem = StartOnModem();
    if (!modem)
        return;
    Pump(300);
    CloseHandle(modem);
    CHECK(PumpUntil([] { return g_hangups > 0; }, 15000), "no hang-up request");
    Pump(1000);
    CHECK(g_hangups == 1, "%d hang-up requests", g_hangups);
    // Stands for the handle the service has invalidated: it is the channel's to close.
    TheCommChannel().handle = OpenModem();
    StopCommChannel();
    Say("port closed done");
}

// Start and stop many times: nothing may pile up.
void Cycles() {
    auto cycle = [](int pause_ms) {
        if (!StartOnModem())
            return;
        if (pause_ms)
            Pump(pause_ms);
        StopCommChannel();
    };
    cycle(50); // first use loads what later cycles reuse
    const int handles = HandleCount(), threads = ThreadCount();
    Checkpoint("before-cycles");
    for (int i = 0; i < 100; ++i)
        cycle(i % 4 * 10); // some stops meet a read not yet started, some a pending one
    Pump(200);
    Checkpoint("after-cycles");
    Say("handles %d before, %d after; threads %d before, %d after", handles, HandleCount(), threads,
        ThreadCount());
    CHECK(HandleCount() == handles, "handles %d before, %d after", handles, HandleCount());
    CHECK(ThreadCount() == threads, "threads %d before, %d after", threads, ThreadCount());
    CHECK(g_hangups == 0, "hang-up requested");
    Say("cycles done");
}

// Numbers for the benchmarks document; only lost or misordered bytes are failures.
void Benchmark() {
    HANDLE modem = StartOnModem();
    if (!modem)
        return;
    Pump(300);
    CHECK(Write("M"), "write M");
    const double start = NowMs();
    PumpUntil([] { return ReceivedBytes() >= 65536; }, 30000);
    const double first = g_blocks.empty() ? start : g_blocks.front().at;
    const double last = g_blocks.empty() ? start : g_blocks.back().at;
    std::vector<uint8_t> all;
    size_t largest = 0;
    for (const auto& b : g_blocks) {
        all.insert(all.end(), b.bytes.begin(), b.bytes.end());
        largest = std::max(largest, b.bytes.size());
    }
    Say("bench burst 65536 bytes: %zu received in %zu blocks (largest %zu) in %.1f ms "
        "(first block after %.1f ms), lost %zu",
        all.size(), g_blocks.size(), largest, last - first, first - start,
        65536 - std::min<size_t>(all.size(), 65536));
    CHECK(all.size() == 65536 && InOrder(all, 251), "burst damaged: %zu bytes", all.size());
    StopCommChannel();

    std::vector<double> stops;
    for (int round = 0; round < 20; ++round) {
        if (!StartOnModem())
            break;
        Pump(300); // the read is pending
        const double t = NowMs();
        StopCommChannel();
        stops.push_back(NowMs() - t);
    }
    std::sort(stops.begin(), stops.end());
    if (!stops.empty())
        Say("bench stop with a read pending: min %.2f ms, median %.2f ms, max %.2f ms (%zu stops)",
            stops.front(), stops[stops.size() / 2], stops.back(), stops.size());
    Say("benchmark done");
}

} // namespace

// The channel's Status box lines, as the main dialog would show them.
class StatusRecorder : public LinkEvents {
  public:
    void LinkStatus(const std::string& text) override {
        g_status.push_back(text);
        Say("status: %s", text.c_str());
    }
    void LinkChanged() override {}
    void LinkEnded(unsigned, CallEnd) override {}
};
StatusRecorder g_statusRecorder;

int main(int argc, char** argv) {
    SetLinkEvents(&g_statusRecorder);
    const std::string scenario = argc > 1 ? argv[1] : "";
    struct {
        const char* name;
        void (*run)();
    } scenarios[] = {{"refusals", Refusals},  {"no-thread", NoThread},     {"blocks", Blocks},
                     {"frame", Frame},        {"held-write", HeldWrite},   {"stop", Stop},
                     {"line-gone", LineGone}, {"port-closed", PortClosed}, {"cycles", Cycles},
                     {"benchmark", Benchmark}};
    MakeDialog();
    g_watching = 1;
    HANDLE watcher = CreateThread(nullptr, 0, BoxWatcher, nullptr, 0, nullptr);
    for (const auto& s : scenarios)
        if (scenario == s.name) {
            s.run();
            g_watching = 0;
            WaitForSingleObject(watcher, 5000);
            Say("failures %d", g_failures);
            return g_failures == 0 ? 0 : 1;
        }
    Say("unknown scenario %s", scenario.c_str());
    return 2;
}
