// The two platform calls the direct link's user routine makes, for building it natively
// under the fuzzer; the fuzz target defines them.
#pragma once
#include <cstdint>

extern "C" uint32_t GetTickCount();
extern "C" void OutputDebugStringA(const char* text);
