// Which Windows family the program runs on, as far as the callback step cares.
#pragma once

// platformId as reported by the version query (0 Win32s, 1 Windows 9x,
// 2 NT); queryOk false when no version could be read.
int ClassifyWindowsKind(bool queryOk, unsigned platformId, unsigned major, unsigned minor);

// Kinds 1 to 3 (Windows 95, 98, Me) take the callback with the direct cable
// connection program.
inline bool UsesDirectCableProgram(int kind) {
    return kind >= 1 && kind <= 3;
}
