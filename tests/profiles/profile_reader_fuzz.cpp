// Feeds arbitrary bytes to the profile reader: it must neither crash, over-read nor allocate
// without bound, must deliver values in file order, and what it reads completely must survive
// being saved and read again unchanged.
#include "console/ProfileCodec.h"

#include <cstdlib>
#include <string>

namespace {

class CheckingSink : public ProfileSink {
  public:
    ProfileValues values;
    int step = 0; // 0 = line, 1..5 = texts, 6 = type, 7 = port, 8 = delay

    void SelectLine(int32_t index) override {
        Expect(0);
        values.lineIndex = index;
    }
    void SetText(ProfileText which, const std::string& text) override {
        Expect(1 + static_cast<int>(which));
        if (text.size() > kMaxProfileTextLength || text.find('\0') != std::string::npos)
            std::abort();
        values.Text(which) = text;
    }
    void SetCommType(int32_t type) override {
        Expect(6);
        values.commType = type;
    }
    void SelectPort(int32_t index) override {
        Expect(7);
        values.portIndex = index;
    }
    void SetDelay(int32_t seconds) override {
        Expect(8);
        values.delay = seconds;
    }

  private:
    void Expect(int expected) {
        if (step != expected)
            std::abort();
        ++step;
    }
};

bool SameValues(const ProfileValues& a, const ProfileValues& b) {
    for (int i = 0; i < kProfileTextCount; ++i) {
        if (a.texts[i] != b.texts[i])
            return false;
    }
    return a.lineIndex == b.lineIndex && a.commType == b.commType && a.portIndex == b.portIndex &&
           a.delay == b.delay;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    MemoryByteSource source(data, size);
    CheckingSink sink;
    const bool complete = ReadProfile(source, sink);
    if (complete != (sink.step == 9))
        std::abort();
    if (!complete)
        return 0;

    std::string saved;
    if (!EncodeProfile(sink.values, saved))
        std::abort();
    ProfileValues again;
    if (!DecodeProfile(saved, again) || !SameValues(again, sink.values))
        std::abort();
    return 0;
}
