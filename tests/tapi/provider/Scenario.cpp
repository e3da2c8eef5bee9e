// Reads the scenario text: one statement a line, words separated by blanks,
// '#' starts a comment, a name may be quoted. Every bad line is recorded and skipped.
#include "Scenario.h"

#include <cstdlib>

namespace scenario {
namespace {

// Splits a line into words; "..." keeps blanks and '#' inside a word.
std::vector<std::string> Words(const std::string& line, bool* badQuote) {
    std::vector<std::string> words;
    size_t i = 0;
    *badQuote = false;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string::npos) {
                *badQuote = true;
                return words;
            }
            words.push_back(line.substr(i + 1, end - i - 1));
            i = end + 1;
        } else {
            size_t end = i;
            while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r')
                ++end;
            words.push_back(line.substr(i, end - i));
            i = end;
        }
    }
    return words;
}

bool ParseNumber(const std::string& term, int64_t* value) {
    if (term.empty() || term.size() > 20)
        return false;
    char* end = nullptr;
    bool negative = term[0] == '-';
    const char* digits = term.c_str() + (negative ? 1 : 0);
    if (*digits == '\0' || *digits == '-' || *digits == '+')
        return false;
    unsigned long long magnitude = std::strtoull(digits, &end, 0);
    if (*end != '\0' || magnitude > 0xFFFFFFFFFFFFull)
        return false;
    *value = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

bool ParseName(const std::string& word, NameForm* form) {
    static const struct {
        const char* word;
        NameForm form;
    } forms[] = {{"nul", NameForm::Nul},         {"counted", NameForm::Counted},
                 {"empty", NameForm::Empty},     {"absent", NameForm::Absent},
                 {"unicode", NameForm::Unicode}, {"offset-out", NameForm::OffsetOut},
                 {"size-out", NameForm::SizeOut}};
    for (const auto& f : forms) {
        if (word == f.word) {
            *form = f.form;
            return true;
        }
    }
    return false;
}

uint32_t Symbol(SymbolLookup lookup, const char* name) {
    int64_t value = 0;
    lookup(name, &value);
    return static_cast<uint32_t>(value);
}

// A line that can place a data-modem call unless the scenario says otherwise.
Line DefaultLine(SymbolLookup lookup) {
    Line line;
    line.bearerModes = Symbol(lookup, "LINEBEARERMODE_VOICE");
    line.mediaModes = Symbol(lookup, "LINEMEDIAMODE_DATAMODEM") |
                      Symbol(lookup, "LINEMEDIAMODE_INTERACTIVEVOICE");
    line.lineFeatures = Symbol(lookup, "LINEFEATURE_MAKECALL");
    line.devCapFlags = Symbol(lookup, "LINEDEVCAPFLAGS_DIALBILLING") |
                       Symbol(lookup, "LINEDEVCAPFLAGS_DIALQUIET") |
                       Symbol(lookup, "LINEDEVCAPFLAGS_DIALDIALTONE");
    line.addressFeatures = Symbol(lookup, "LINEADDRFEATURE_MAKECALL");
    line.addrCapFlags = Symbol(lookup, "LINEADDRCAPFLAGS_PARTIALDIAL");
    line.callFeatures =
        Symbol(lookup, "LINECALLFEATURE_DIAL") | Symbol(lookup, "LINECALLFEATURE_DROP");
    return line;
}

class Reader {
  public:
    Reader(Scenario& s, SymbolLookup lookup) : s_(s), lookup_(lookup) {}

    void Statement(int number, const std::vector<std::string>& w) {
        number_ = number;
        const std::string& key = w[0];
        if (key == "line") {
            Line line = DefaultLine(lookup_);
            size_t at = 1;
            if (at < w.size() && ParseName(w[at], &line.nameForm))
                ++at;
            if (at < w.size())
                line.name = w[at++];
            if (at != w.size())
                return Fail("line takes [form] \"name\"");
            s_.lines.push_back(line);
        } else if (key == "numdevs") {
            int64_t n;
            if (w.size() != 2 || !ParseNumber(w[1], &n) || n < 0 || n > 0xFFFFFFFFll)
                return Fail("numdevs takes a count");
            s_.numDevs = n;
        } else if (key == "versions") {
            uint32_t low, high;
            if (!Current() || w.size() != 3 || !Value(w[1], &low) || !Value(w[2], &high))
                return Fail("versions takes low and high after a line");
            Current()->versionLow = low;
            Current()->versionHigh = high;
        } else if (uint32_t* field = Field(key)) {
            if (w.size() != 2 || !Value(w[1], field))
                return Fail(key + " takes one value after a line");
        } else if (key == "comm") {
            if (!Current() || w.size() != 2 || w[1].size() > 16)
                return Fail("comm takes a port name after a line");
            Current()->comm = w[1];
        } else if (key == "commid") {
            const char* forms[] = {"port", "offset-out", "pipe"};
            int form = -1;
            for (int i = 0; i < 3; ++i)
                if (w.size() == 2 && w[1] == forms[i])
                    form = i;
            if (!Current() || form < 0)
                return Fail("commid takes port, offset-out or pipe after a line");
            Current()->commId = static_cast<CommIdForm>(form);
        } else if (key == "results" || key == "replies") {
            Results(key == "results" ? s_.results : s_.replies, w);
        } else if (key == "event") {
            Event(w);
        } else if (key == "reply-delay") {
            uint32_t ms = 0;
            if ((w.size() != 2 && w.size() != 3) || !Value(w[1], &ms))
                return Fail("reply-delay takes milliseconds, and may name a function");
            if (w.size() == 3)
                s_.replyDelayFor[w[2]] = ms;
            else
                s_.replyDelayMs = ms;
        } else if (key == "drop-idle") {
            if (w.size() != 2 || (w[1] != "yes" && w[1] != "no"))
                return Fail("drop-idle takes yes or no");
            s_.dropGoesIdle = w[1] == "yes";
        } else {
            Fail("unknown statement '" + key + "'");
        }
    }

    void Fail(const std::string& what) {
        s_.errors.push_back("line " + std::to_string(number_) + ": " + what);
    }

  private:
    Line* Current() { return s_.lines.empty() ? nullptr : &s_.lines.back(); }

    uint32_t* Field(const std::string& key) {
        Line* l = Current();
        if (!l)
            return nullptr;
        if (key == "bearer")
            return &l->bearerModes;
        if (key == "media")
            return &l->mediaModes;
        if (key == "features")
            return &l->lineFeatures;
        if (key == "devcapflags")
            return &l->devCapFlags;
        if (key == "addrfeatures")
            return &l->addressFeatures;
        if (key == "addrcapflags")
            return &l->addrCapFlags;
        if (key == "callfeatures")
            return &l->callFeatures;
        return nullptr;
    }

    bool Value(const std::string& term, uint32_t* out) {
        int64_t v;
        if (!ParseValue(term, lookup_, &v))
            return false;
        *out = static_cast<uint32_t>(v);
        return true;
    }

    // results lineOpen[@device] CODE... [*]
    void Results(std::map<std::string, Sequence>& table, const std::vector<std::string>& w) {
        if (w.size() < 3)
            return Fail(w[0] + " takes a function and at least one result");
        Sequence seq;
        for (size_t i = 2; i < w.size(); ++i) {
            if (w[i] == "*" && i + 1 == w.size()) {
                seq.repeat = true;
                break;
            }
            int64_t v;
            if (!ParseValue(w[i], lookup_, &v))
                return Fail("unknown result '" + w[i] + "'");
            seq.results.push_back(static_cast<int32_t>(v));
        }
        table[w[1]] = seq;
    }

    // event ANCHOR[#n] DELAY MESSAGE DEVICE P1 P2 P3
    void Event(const std::vector<std::string>& w) {
        if (w.size() != 8)
            return Fail("event takes anchor, delay, message, device and three parameters");
        scenario::Event e;
        e.anchor = w[1];
        size_t hash = e.anchor.find('#');
        if (hash != std::string::npos) {
            int64_t n;
            if (!ParseNumber(e.anchor.substr(hash + 1), &n) || n < 1 || n > 1000000)
                return Fail("bad occurrence in '" + w[1] + "'");
            e.occurrence = static_cast<int>(n);
            e.anchor.resize(hash);
        }
        static const char* anchors[] = {"initcall", "init", "open", "makecall",
                                        "dial",     "drop", "close"};
        bool known = false;
        for (const char* a : anchors)
            known = known || e.anchor == a;
        if (!known)
            return Fail("unknown anchor '" + e.anchor + "'");
        int64_t device;
        if (w[4] != "line" && w[4] != "call" && w[4] != "app" &&
            !ParseValue(w[4], lookup_, &device))
            return Fail("bad device '" + w[4] + "'");
        e.device = w[4];
        int64_t v[3];
        if (w[3] == "probe")
            e.message = kProbe;
        else if (w[3] == "set-callfeatures")
            e.message = kSetCallFeatures;
        else if (w[3] == "set-media")
            e.message = kSetMedia;
        else if (w[3] == "close-comm")
            e.message = kCloseComm;
        else if (w[3] == "stall")
            e.message = kStall;
        else if (w[3] == "comm-fault")
            e.message = kCommFault;
        else if (!Value(w[3], &e.message))
            return Fail("bad message '" + w[3] + "'");
        if (!Value(w[2], &e.delayMs))
            return Fail("bad delay '" + w[2] + "'");
        for (int i = 0; i < 3; ++i) {
            if (!ParseValue(w[5 + i], lookup_, &v[i]))
                return Fail("bad parameter '" + w[5 + i] + "'");
        }
        e.param1 = static_cast<uint64_t>(v[0]);
        e.param2 = static_cast<uint64_t>(v[1]);
        e.param3 = static_cast<uint64_t>(v[2]);
        s_.events.push_back(e);
    }

    Scenario& s_;
    SymbolLookup lookup_;
    int number_ = 0;
};

} // namespace

bool ParseValue(const std::string& term, SymbolLookup lookup, int64_t* value) {
    if (term.empty())
        return false;
    int64_t total = 0;
    size_t start = 0;
    while (start <= term.size()) {
        size_t bar = term.find('|', start);
        std::string part =
            term.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
        int64_t v;
        if (!ParseNumber(part, &v) && !(lookup && !part.empty() && lookup(part, &v)))
            return false;
        total |= v;
        if (bar == std::string::npos)
            break;
        start = bar + 1;
    }
    *value = total;
    return true;
}

Scenario Parse(const std::string& text, SymbolLookup lookup) {
    Scenario s;
    Reader reader(s, lookup);
    size_t pos = 0;
    int number = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        ++number;
        bool badQuote;
        std::vector<std::string> words = Words(text.substr(pos, end - pos), &badQuote);
        if (badQuote) {
            s.errors.push_back("line " + std::to_string(number) + ": unterminated quote");
        } else if (!words.empty()) {
            reader.Statement(number, words);
        }
        pos = end + 1;
    }
    return s;
}

int32_t Take(std::map<std::string, Sequence>& table, const std::string& function, long device,
             bool* found) {
    auto it = table.find(function + "@" + std::to_string(device));
    if (it == table.end() || (it->second.next >= it->second.results.size() && !it->second.repeat))
        it = table.find(function);
    *found = false;
    if (it == table.end())
        return 0;
    Sequence& seq = it->second;
    if (seq.next < seq.results.size()) {
        *found = true;
        return seq.results[seq.next++];
    }
    if (seq.repeat && !seq.results.empty()) {
        *found = true;
        return seq.results.back();
    }
    return 0;
}

} // namespace scenario
