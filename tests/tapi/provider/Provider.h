// State shared by the test provider's exported functions.
#pragma once
#define TAPI_CURRENT_VERSION 0x00020000
#include <windows.h>
#include <tapi.h>

#include <functional>
#include <string>
#include <vector>

#include "Scenario.h"

namespace provider {

struct OpenLine {
    HLINE handle;
    DWORD device;
    DWORD_PTR instance;
};

struct Call {
    HCALL handle;
    HLINE line;
    DWORD device;
    bool valid; // after the successful LINE_REPLY of lineMakeCall
    DWORD state;
    DWORD mode;
    DWORD features; // dwCallFeatures while not idle
};

struct State {
    scenario::Scenario sc;
    bool loaded = false;
    HLINEAPP app = 0;
    LINECALLBACK callback = nullptr;
    DWORD initThread = 0;
    DWORD nextHandle = 0x100;
    DWORD nextRequest = 1;
    std::vector<OpenLine> lines;
    std::vector<Call> calls;
    HLINE lastLine = 0;                               // what an event addressed to "line" goes to
    HCALL lastCall = 0;                               // what an event addressed to "call" goes to
    HANDLE lastComm = nullptr;                        // the port "comm/datamodem" opened last
    std::vector<std::pair<std::string, int>> anchors; // occurrences so far
    bool commFault = false;                           // the fault file exists
    unsigned commFaults = 0;                          // faults begun so far
};

State& Get();
HINSTANCE Module();
void LoadScenario();

DWORD NumDevs();
const scenario::Line* LineOf(DWORD device); // null: no such device
OpenLine* FindLine(HLINE handle);
Call* FindCall(HCALL handle);
void ForgetLine(HLINE handle);
// Makes or removes the file whose existence fails the port (FARLINK_SHIM_FAULT_FILE of the
// pty shim names the same file); logs the change.
void SetCommFault(bool on);

// The scenario's next synchronous result for a function (0: behave normally).
LONG Scripted(const char* function, long device);
// Counts an anchor and queues the scenario events bound to this occurrence.
void Anchor(const char* anchor);
// Queues one callback `delayMs` from now.
void Send(DWORD delayMs, DWORD device, DWORD message, DWORD_PTR instance, DWORD_PTR p1,
          DWORD_PTR p2, DWORD_PTR p3);
// Returns a request id and queues its LINE_REPLY; `onReply` runs just before it goes out.
LONG Request(const char* function, long device, DWORD_PTR instance,
             std::function<void(LONG result)> onReply);

std::string Result(LONG result);    // "0", "LINEERR_REINIT", "3"
std::string Text(const char* text); // quoted for the log
} // namespace provider
