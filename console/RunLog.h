// The lines of the /LOG: file: a stamped copy of every Status line between a
// first line naming the program and the link and a last line with the exit
// status. The password never reaches them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct LocalTime {
    int year, month, day, hour, minute, second, millisecond;
};

// "2026-12-08 14:03:05.120 text": a line break inside the text becomes a
// space, so every entry stays one line of the file.
std::string StampLogLine(const LocalTime& when, const std::string& text);

// Every occurrence of the password that stands apart from the text around it, in any
// letter case, replaced by a mask of fixed length (the mask does not tell the length
// either). A match glued to letters or digits (or to signs, for a password that starts or
// ends with a sign) is part of other text and stays: "1234" in "5551234", "a" in "and".
std::string HidePassword(const std::string& text, const std::string& password);
// The same for several passwords in one pass; the longest that stands apart wins, and a
// mask already put in is never looked at again.
std::string HidePasswords(const std::string& text, const std::vector<std::string>& passwords);

std::string LogFirstLine(const std::string& version, const std::string& link);
std::string LogLastLine(int exitStatus, const char* description);
// The link the run dials on: commType 1 is the cable (name: the COM port),
// 0 the modem (name: the line); an empty name means none is chosen.
std::string DescribeLink(int commType, const std::string& name);

// "1.0.0.1" from a version resource (the VS_FIXEDFILEINFO inside it); empty
// when the block holds none.
std::string FileVersionText(const uint8_t* block, size_t size);

// Collects the log's lines. Lines added before Begin wait, so that the first
// line can name the link the run ends up with; each line is masked when it is
// taken, against every password the run has had until then.
class RunLogBook {
  public:
    void HidePassword(const std::string& password);
    void Add(const LocalTime& when, const std::string& text);
    void Begin(const LocalTime& when, const std::string& firstLine);
    bool Begun() const { return begun_; }
    // The lines due for the file, each ending in CR LF; none before Begin.
    std::vector<std::string> Take();

  private:
    struct Entry {
        LocalTime when;
        std::string text;
    };
    std::vector<Entry> waiting_;
    std::vector<std::string> passwords_;
    bool begun_ = false;
};
