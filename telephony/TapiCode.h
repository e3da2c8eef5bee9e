// Telephony line control: state and the operations the dialog calls.
// Modem calls are not wired yet: telephony reports no lines.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

struct TapiState {
    int callInProgress = 0; // a modem call attempt is under way
    DWORD deviceId = 0;     // the line chosen in the dialog's line list
};

int InitializeTapi();
// Appends the names of usable lines and their device ids (at most capacity).
void BuildLineList(std::vector<std::string>& names, DWORD* ids, int capacity);
void DialCall();
void StopCall();
void UninitializeTapi();
