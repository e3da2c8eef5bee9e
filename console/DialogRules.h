// Small decisions of the main dialog that need no window to be made.
#pragma once
#include <string>

constexpr int kMinDelay = 30;
constexpr int kMaxDelay = 255;
constexpr size_t kStatusLogLimit = 0x4000;

// The Delay field's range, applied when the field loses the focus.
int ClampDelay(int seconds);

// A status text with one trailing line feed removed: the log adds its own
// line end.
std::string StatusLineText(const std::string& text);

// The log is cleared before a line is added once it holds this much.
inline bool StatusLogIsFull(size_t length) {
    return length >= kStatusLogLimit;
}

// Port number of a COM list entry: the leading digits from the fourth
// character ("COM3" -> 3, "COM12" -> 12); 0 for shorter texts.
int PortNumberFromName(const std::string& name);

// The data-exchange reading of an integer field: optional blanks, sign,
// digits, trailing blanks, within int32. False when the text is no integer.
bool ParseIntegerField(const std::string& text, int& value);

struct EnabledControls {
    bool dial, hangup, credentials, lineList, portList, delay, numbers;
};
EnabledControls ComputeEnabledControls(bool busy, int commType, bool haveLines, bool havePorts);
