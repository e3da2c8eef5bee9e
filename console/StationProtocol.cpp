// Login frame layout and reply-code reading.
#include "console/StationProtocol.h"

bool BuildLoginFrame(const LoginFields& fields, std::vector<uint8_t>& out) {
    out.clear();
    const std::string* texts[] = {&fields.myNumber, &fields.username, &fields.password,
                                  &fields.domain};
    size_t size = fields.direct ? 7 : 5;
    for (const std::string* text : texts)
        size += text->size();
    if (size > kFrameCapacity)
        return false;

    out.reserve(size);
    for (const std::string* text : texts) {
        out.push_back(kFrameSeparator);
        out.insert(out.end(), text->begin(), text->end());
    }
    out.push_back(kFrameSeparator);
    if (fields.direct) {
        out.push_back(static_cast<uint8_t>(fields.delay & 0xFF));
        out.push_back(kFrameSeparator);
    }
    return true;
}

std::vector<int> ParseReplyBlock(int& state, const uint8_t* bytes, int count) {
    std::vector<int> lines;
    for (int i = 0; i < count; ++i) {
        uint8_t b = bytes[i];
        if (state == 0) {
            if (b == kFrameSeparator)
                state = 1;
            continue;
        }
        switch (b) {
        case 0x00:
            lines.push_back(kReplyConnectedTo);
            break;
        case 0x01:
            lines.push_back(kReplyInvalidUser);
            break;
        case 0x02:
            lines.push_back(kReplyInvalidPassword);
            break;
        case 0x06:
            lines.push_back(kReplyCommandExecuted);
            break;
        default:
            break; // unlisted codes, the separator included
        }
    }
    return lines;
}
