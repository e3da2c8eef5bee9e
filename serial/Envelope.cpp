// The STX/DLE envelope of the direct link: wrapping a payload and decoding answers byte by byte.
#include "serial/Envelope.h"

int32_t EnvelopeSize(const uint8_t* payload, int32_t length) {
    if (length < 0)
        return 0;
    int32_t size = length + 5;
    for (int32_t i = 0; i < length; ++i) {
        if (payload[i] == kEnvelopeDle)
            ++size;
    }
    return size;
}

int32_t WrapFrame(const uint8_t* payload, int32_t length, uint8_t* destination) {
    int32_t n = 0;
    uint8_t bcc = 0;
    destination[n++] = kEnvelopeStx;
    destination[n++] = kEnvelopeDle;
    for (int32_t i = 0; i < length; ++i) {
        const uint8_t b = payload[i];
        bcc ^= b;
        destination[n++] = b;
        if (b == kEnvelopeDle)
            destination[n++] = b;
    }
    destination[n++] = kEnvelopeDle;
    destination[n++] = kEnvelopeEtx;
    destination[n++] = bcc;
    return n;
}

static void Append(RxFrame& frame, uint8_t byte) {
    frame.bcc ^= byte;
    if (frame.length < kRxFrameCapacity)
        frame.bytes[frame.length++] = byte;
    else
        ++frame.dropped;
}

DecodeStep DecodeEnvelopeByte(int32_t& state, RxFrame& frame, uint8_t byte) {
    DecodeStep step;
    switch (state) {
    case kWaitStx:
        if (byte == kEnvelopeStx) {
            frame.length = 0;
            frame.dropped = 0;
            frame.bcc = 0;
            state = kWaitDle;
        }
        break;
    case kWaitDle:
        if (byte == kEnvelopeDle)
            state = kInPayload;
        break;
    case kInPayload:
        if (byte == kEnvelopeDle)
            state = kAfterDle;
        else
            Append(frame, byte);
        break;
    case kAfterDle:
        if (byte == kEnvelopeDle) {
            Append(frame, byte);
            state = kInPayload;
        } else if (byte == kEnvelopeEtx) {
            state = kWaitBcc;
        }
        // Anything else after a DLE is line noise: skip it and keep waiting.
        break;
    case kWaitBcc:
        step.frameEnded = true;
        step.acknowledged = frame.length > 0 && frame.bytes[0] == kAnswerAck;
        step.bccMatches = byte == frame.bcc;
        state = kWaitStx;
        break;
    default:
        // A state another user routine left behind: start over.
        state = kWaitStx;
        break;
    }
    return step;
}
