// libFuzzer target: the station's reply codes read from blocks cut anywhere, and the login
// frame built from texts of any length.
#include "console/StationProtocol.h"

#include <cstdlib>
#include <vector>

namespace {

bool Known(int id) {
    return id == kReplyConnectedTo || id == kReplyInvalidUser || id == kReplyInvalidPassword ||
           id == kReplyCommandExecuted;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A reply is read the same whether it came in one block or two: the state carries.
    int whole = 0;
    const std::vector<int> once = ParseReplyBlock(whole, data, static_cast<int>(size));
    const size_t cut = size ? data[0] % (size + 1) : 0;
    int split = 0;
    std::vector<int> twice = ParseReplyBlock(split, data, static_cast<int>(cut));
    const std::vector<int> rest =
        ParseReplyBlock(split, data + cut, static_cast<int>(size - cut));
    twice.insert(twice.end(), rest.begin(), rest.end());
    if (once != twice || whole != split || (whole != 0 && whole != 1) || once.size() > size)
        std::abort();
    for (int id : once) {
        if (!Known(id))
            std::abort();
    }

    // The login frame: the four texts cut from the input, with either link's layout.
    LoginFields fields;
    std::string* texts[] = {&fields.myNumber, &fields.username, &fields.password,
                            &fields.domain};
    size_t at = 0;
    for (std::string* text : texts) {
        const size_t length = at < size ? data[at] * 9u : 0;
        const size_t from = at + 1 < size ? at + 1 : size;
        const size_t taken = length < size - from ? length : size - from;
        text->assign(reinterpret_cast<const char*>(data) + from, taken);
        at = from + taken;
    }
    fields.direct = size % 2;
    fields.delay = size ? data[size - 1] * 3 : 0;
    std::vector<uint8_t> frame = {1, 2, 3};
    const size_t want = (fields.direct ? 7 : 5) + fields.myNumber.size() +
                        fields.username.size() + fields.password.size() + fields.domain.size();
    const bool built = BuildLoginFrame(fields, frame);
    if (built != (want <= kFrameCapacity) || frame.size() != (built ? want : 0))
        std::abort();
    if (built && (frame.front() != kFrameSeparator || frame.back() != kFrameSeparator))
        std::abort();
    return 0;
}
