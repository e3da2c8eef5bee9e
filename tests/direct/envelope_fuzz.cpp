// libFuzzer target: station answers of any shape must never upset the envelope decoder.
#include "serial/Envelope.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto frame = std::make_unique<RxFrame>();

    // As received: whatever arrives, stored payloads stay within the frame.
    int32_t state = kWaitStx;
    for (size_t i = 0; i < size; ++i) {
        const DecodeStep step = DecodeEnvelopeByte(state, *frame, data[i]);
        if (frame->length < 0 || frame->length > kRxFrameCapacity || state < 0 || state > 4)
            std::abort();
        if (step.acknowledged && (!step.frameEnded || frame->bytes[0] != kAnswerAck))
            std::abort();
    }

    // As a payload: what is wrapped decodes back to itself.
    const int32_t length = static_cast<int32_t>(size < 4096 ? size : 4096);
    std::vector<uint8_t> wire(static_cast<size_t>(EnvelopeSize(data, length)));
    if (WrapFrame(data, length, wire.data()) != static_cast<int32_t>(wire.size()))
        std::abort();
    state = kWaitStx;
    int ended = 0;
    for (uint8_t b : wire) {
        const DecodeStep step = DecodeEnvelopeByte(state, *frame, b);
        if (step.frameEnded) {
            ++ended;
            if (!step.bccMatches || frame->length != length ||
                std::memcmp(frame->bytes, data, static_cast<size_t>(length)) != 0)
                std::abort();
        }
    }
    if (ended != 1)
        std::abort();
    return 0;
}
