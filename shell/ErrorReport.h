// The one-line error report shared by the telephony and system error reports.
#pragma once

// Writes "<prefix><kind>: "<text>" in File "<file>", Line <line>" (CR LF
// ended; without file the location is left out) to the debug output. A null
// text means the text could not be had: the line then says "Out of memory",
// and without a file ends with CR LF only when endOutOfMemory is set.
void WriteErrorReport(const char* prefix, const char* kind, const char* text, const char* file,
                      int line, bool endOutOfMemory);
