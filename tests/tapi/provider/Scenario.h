// The test provider's scenario: the line devices it simulates, the results it
// gives in sequence, and the callbacks it sends on its own at given moments.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace scenario {

// How a line's name is stored in its LINEDEVCAPS block.
enum class NameForm {
    Nul,       // ASCII with its NUL, counted in dwLineNameSize
    Counted,   // ASCII without a NUL; the next byte of the block is not 0
    Empty,     // one NUL byte
    Absent,    // size and offset 0
    Unicode,   // STRINGFORMAT_UNICODE, UTF-16 with its NUL
    OffsetOut, // offset past the filled part of the block
    SizeOut,   // valid offset, size reaching far past the block
};

// How "comm/datamodem" answers: the port's handle as the service gives it, a
// string offset past the filled part (nothing opened), or a handle that is no
// comm device (the read end of a pipe).
enum class CommIdForm { Port, OffsetOut, Pipe };

struct Line {
    std::string name;
    NameForm nameForm = NameForm::Nul;
    uint32_t versionLow = 0x10003; // API versions the line accepts
    uint32_t versionHigh = 0x20000;
    uint32_t bearerModes = 0;
    uint32_t mediaModes = 0;
    uint32_t lineFeatures = 0;
    uint32_t devCapFlags = 0;
    uint32_t addressFeatures = 0;
    uint32_t addrCapFlags = 0;
    uint32_t callFeatures = 0; // dwCallFeatures of its calls' LINECALLSTATUS
    std::string comm;          // "COM2": port behind "comm/datamodem"; empty: none
    CommIdForm commId = CommIdForm::Port;
};

// Results handed out one per call. After the last one the function behaves
// normally (result 0), unless `repeat` keeps the last one forever.
struct Sequence {
    std::vector<int32_t> results;
    bool repeat = false;
    size_t next = 0;
};

// A callback sent by the provider itself, `delayMs` after the anchor'th
// occurrence of an anchor ("initcall", "init", "open", "makecall", "dial", "drop", "close").
// Message kProbe sends nothing: it only logs that the provider's window was served.
// Message kSetCallFeatures sends nothing either: it sets the dwCallFeatures (param1)
// that lineGetCallStatus reports for the call addressed.
const uint32_t kProbe = 0xFFFFFFFF;
const uint32_t kSetCallFeatures = 0xFFFFFFFE;
// Message kSetMedia sends nothing: it sets the dwMediaModes (param1) that the
// line device DEVICE (a number) reports from then on.
const uint32_t kSetMedia = 0xFFFFFFFD;
// Message kCloseComm sends nothing: it closes the comm handle "comm/datamodem" gave out
// last, as a service that takes the port back does. Message kStall sends nothing either:
// the provider's window procedure sleeps param1 ms, and the thread it runs on with it.
const uint32_t kCloseComm = 0xFFFFFFFC;
const uint32_t kStall = 0xFFFFFFFB;
// Message kCommFault sends nothing: the program's COM ports fail for param1 ms
// (reads and writes on them get an error; see tools/ptyshim).
const uint32_t kCommFault = 0xFFFFFFFA;

struct Event {
    std::string anchor;
    int occurrence = 1;
    uint32_t delayMs = 0;
    uint32_t message = 0;
    std::string device; // "line", "call", "app" or a number
    uint64_t param1 = 0, param2 = 0, param3 = 0;
};

struct Scenario {
    std::vector<Line> lines;
    int64_t numDevs = -1; // what lineInitialize reports; -1: the number of lines
    // Keys: "lineOpen" for every device, "lineOpen@2" for device 2 only (tried first).
    std::map<std::string, Sequence> results; // synchronous results
    std::map<std::string, Sequence> replies; // LINE_REPLY results of asynchronous requests
    std::vector<Event> events;
    uint32_t replyDelayMs = 10;
    std::map<std::string, uint32_t> replyDelayFor; // one function's own delay: "lineDrop"
    bool dropGoesIdle = true;        // a successful lineDrop is followed by LINECALLSTATE_IDLE
    std::vector<std::string> errors; // "line N: what is wrong"
};

// Looks up a symbolic constant (LINEERR_REINIT, LINEMEDIAMODE_DATAMODEM, LINE_REPLY ...).
using SymbolLookup = bool (*)(const std::string& name, int64_t* value);

// Parses a scenario text. Never fails as a whole: bad lines land in `errors`.
Scenario Parse(const std::string& text, SymbolLookup lookup);

// Value of a term such as "0x10", "-5", "LINEERR_NOMEM" or "A|B"; false if unknown.
bool ParseValue(const std::string& term, SymbolLookup lookup, int64_t* value);

// Takes the next result of a sequence; `found` says whether one was configured.
int32_t Take(std::map<std::string, Sequence>& table, const std::string& function, long device,
             bool* found);

} // namespace scenario
