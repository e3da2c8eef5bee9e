// The STX/DLE envelope of the direct link: wrapping a payload and decoding answers byte by byte.
#pragma once
#include <cstdint>

constexpr uint8_t kEnvelopeStx = 0x02;
constexpr uint8_t kEnvelopeDle = 0x10;
constexpr uint8_t kEnvelopeEtx = 0x03;
constexpr uint8_t kAnswerAck = 0x06;

// The transport's own one-byte requests.
constexpr uint8_t kConnectRequest = 0x00;
constexpr uint8_t kHangupRequest = 0x01;

// Room for the payload of one received answer.
constexpr int32_t kRxFrameCapacity = 8192;

// Bytes WrapFrame writes for this payload: every 0x10 is doubled, plus five
// bytes of framing. 0 for a negative length.
int32_t EnvelopeSize(const uint8_t* payload, int32_t length);

// Writes the envelope of payload to destination, which must hold
// EnvelopeSize(payload, length) bytes; returns the number of bytes written.
int32_t WrapFrame(const uint8_t* payload, int32_t length, uint8_t* destination);

// Decoder states, kept by the caller between bytes (the port's msg_state).
enum EnvelopeState : int32_t {
    kWaitStx = 0,
    kWaitDle = 1,
    kInPayload = 2,
    kAfterDle = 3,
    kWaitBcc = 4,
};

// The payload of the answer being decoded, or the last one decoded.
struct RxFrame {
    uint8_t bytes[kRxFrameCapacity];
    int32_t length;  // payload bytes kept, never more than kRxFrameCapacity
    int32_t dropped; // payload bytes beyond the capacity, not kept
    uint8_t bcc;     // exclusive-or of every payload byte, kept or not
};

// What one byte did to the frame.
struct DecodeStep {
    bool frameEnded = false;   // this byte was the BCC: a frame is complete
    bool acknowledged = false; // ... and its payload starts with 0x06
    bool bccMatches = false;   // ... and the BCC byte equals the computed one
};

// Feeds one received byte to the decoder. Frames end on any BCC value:
// stations that send a wrong one must still be heard.
DecodeStep DecodeEnvelopeByte(int32_t& state, RxFrame& frame, uint8_t byte);

// True when a pause since the previous byte is long enough to start decoding
// afresh. Tick arithmetic wraps like the platform's 32-bit tick counter.
inline bool GapRestartsDecoding(uint32_t now, uint32_t lastByteTick, uint32_t gapLimit) {
    return static_cast<uint32_t>(now - lastByteTick) > gapLimit;
}
