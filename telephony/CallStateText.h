// What the program says and does for each state of its call, the texts of
// the disconnect modes, and the line that reports a failed connect.
// Platform-free.
#pragma once
#include "shell/LinkEvents.h"
#include <cstddef>
#include <cstdint>
#include <string>

enum class CallStateAction {
    None,    // only the lines
    Stop,    // the attempt is over
    Answer,  // a call is offered: answer it
    Connect, // start the data channel
};

struct CallStateRow {
    uint32_t state;
    const char* status; // Status box line; null for none
    const char* debug;  // debug output line
    CallStateAction action;
};

// The row of a call state, compared as a whole; null for states the program
// does not handle.
const CallStateRow* FindCallState(uint32_t state);

// Status box text of a disconnect mode, compared as a whole.
const char* DisconnectModeText(uint32_t mode);

// How an attempt that ends in this state (and disconnect mode) counts.
CallEnd CallEndOf(uint32_t state, uint32_t mode);

// "Failed to Connect to '<number>'" in at most kFailedToConnectRoom - 1
// characters; an overlong number is cut, the closing quote kept.
constexpr size_t kFailedToConnectRoom = 300;
std::string FailedToConnectText(const std::string& dialNumber);
