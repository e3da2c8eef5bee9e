// The direct link's envelope: bytes on the wire for given payloads, and what the decoder makes of
// station answers.
#include "serial/Envelope.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Wrap(const Bytes& payload) {
    Bytes out(EnvelopeSize(payload.data(), static_cast<int32_t>(payload.size())));
    const int32_t n = WrapFrame(payload.data(), static_cast<int32_t>(payload.size()), out.data());
    EXPECT_EQ(n, static_cast<int32_t>(out.size()));
    return out;
}

struct Decoded {
    Bytes payload;
    bool acknowledged;
    bool bccMatches;
};

// Feeds every byte and collects each frame as it ends.
struct Decoder {
    int32_t state = kWaitStx;
    std::unique_ptr<RxFrame> frame = std::make_unique<RxFrame>();
    std::vector<Decoded> frames;

    void Feed(const Bytes& bytes) {
        for (uint8_t b : bytes) {
            const DecodeStep step = DecodeEnvelopeByte(state, *frame, b);
            if (step.frameEnded)
                frames.push_back({Bytes(frame->bytes, frame->bytes + frame->length),
                                  step.acknowledged, step.bccMatches});
        }
    }
};

struct WrapCase {
    const char* name;
    Bytes payload;
    Bytes envelope;
};

TEST(SerialEnvelope, WrapProducesTheWireBytes) {
    const WrapCase cases[] = {
        {"dle doubled, bcc counts it once",
         {0x41, 0x10, 0x42},
         {0x02, 0x10, 0x41, 0x10, 0x10, 0x42, 0x10, 0x03, 0x13}},
        {"empty payload", {}, {0x02, 0x10, 0x10, 0x03, 0x00}},
        {"connection request", {kConnectRequest}, {0x02, 0x10, 0x00, 0x10, 0x03, 0x00}},
        {"hang-up request", {kHangupRequest}, {0x02, 0x10, 0x01, 0x10, 0x03, 0x01}},
        {"only dles", {0x10, 0x10}, {0x02, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x03, 0x00}},
        {"framing bytes inside are not escaped",
         {0x02, 0x03, 0xFF},
         {0x02, 0x10, 0x02, 0x03, 0xFF, 0x10, 0x03, 0xFE}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Wrap(c.payload), c.envelope);
    }
}

TEST(SerialEnvelope, SizeCoversTheWorstCaseAndRejectsNegativeLengths) {
    const Bytes dles(2048, 0x10);
    EXPECT_EQ(EnvelopeSize(dles.data(), 2048), 2 * 2048 + 5);
    EXPECT_EQ(EnvelopeSize(dles.data(), -1), 0);
}

struct DecodeCase {
    const char* name;
    Bytes received;
    std::vector<Decoded> frames;
};

TEST(SerialEnvelope, DecoderReadsStationAnswers) {
    const DecodeCase cases[] = {
        {"doubled dle and any bcc",
         {0x02, 0x10, 0x06, 0x10, 0x10, 0x00, 0x10, 0x03, 0x77},
         {{{0x06, 0x10, 0x00}, true, false}}},
        {"correct bcc is recognised",
         {0x02, 0x10, 0x06, 0x10, 0x10, 0x00, 0x10, 0x03, 0x16},
         {{{0x06, 0x10, 0x00}, true, true}}},
        {"not acknowledged", {0x02, 0x10, 0x15, 0x10, 0x03, 0x15}, {{{0x15}, false, true}}},
        {"noise before stx and after it is skipped",
         {0xFF, 0x06, 0x10, 0x03, 0x02, 0x41, 0x06, 0x10, 0x06, 0x10, 0x03, 0x06},
         {{{0x06}, true, true}}},
        {"stray byte after dle keeps waiting for etx",
         {0x02, 0x10, 0x06, 0x10, 0x55, 0x03, 0x06},
         {{{0x06}, true, true}}},
        {"empty payload is never an acknowledgement, even after one",
         {0x02, 0x10, 0x06, 0x10, 0x03, 0x06, 0x02, 0x10, 0x10, 0x03, 0x00},
         {{{0x06}, true, true}, {{}, false, true}}},
        {"two frames back to back",
         {0x02, 0x10, 0x06, 0x10, 0x03, 0x06, 0x02, 0x10, 0x06, 0x02, 0x10, 0x03, 0x14},
         {{{0x06}, true, true}, {{0x06, 0x02}, true, false}}},
        {"unfinished frame ends nothing", {0x02, 0x10, 0x06, 0x10, 0x10}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Decoder d;
        d.Feed(c.received);
        ASSERT_EQ(d.frames.size(), c.frames.size());
        for (size_t i = 0; i < c.frames.size(); ++i) {
            EXPECT_EQ(d.frames[i].payload, c.frames[i].payload);
            EXPECT_EQ(d.frames[i].acknowledged, c.frames[i].acknowledged);
            EXPECT_EQ(d.frames[i].bccMatches, c.frames[i].bccMatches);
        }
    }
}

TEST(SerialEnvelope, WhatIsWrappedDecodesBackWhateverTheChunking) {
    std::mt19937 rng(4);
    for (int round = 0; round < 200; ++round) {
        Bytes payload(1 + rng() % 300);
        for (auto& b : payload)
            b = static_cast<uint8_t>(rng() % 4 == 0 ? 0x10 : rng());
        payload[0] = kAnswerAck;
        const Bytes wire = Wrap(payload);

        Decoder d;
        for (size_t at = 0; at < wire.size();) {
            const size_t n = std::min<size_t>(1 + rng() % 7, wire.size() - at);
            d.Feed(Bytes(wire.begin() + at, wire.begin() + at + n));
            at += n;
        }
        ASSERT_EQ(d.frames.size(), 1u);
        EXPECT_EQ(d.frames[0].payload, payload);
        EXPECT_TRUE(d.frames[0].acknowledged);
        EXPECT_TRUE(d.frames[0].bccMatches);
    }
}

TEST(SerialEnvelope, OverlongAnswerKeepsItsHeadAndNeverWritesPastTheFrame) {
    Bytes payload(kRxFrameCapacity + 1000, 0x41);
    payload[0] = kAnswerAck;
    payload[kRxFrameCapacity - 1] = 0x5A;
    Decoder d;
    d.Feed(Wrap(payload));
    ASSERT_EQ(d.frames.size(), 1u);
    EXPECT_EQ(d.frame->length, kRxFrameCapacity);
    EXPECT_EQ(d.frame->dropped, 1000);
    EXPECT_EQ(d.frames[0].payload.back(), 0x5A);
    EXPECT_TRUE(d.frames[0].acknowledged);
    EXPECT_TRUE(d.frames[0].bccMatches);

    // The next answer starts clean.
    d.Feed(Wrap({kAnswerAck, 0x10, 0x06}));
    ASSERT_EQ(d.frames.size(), 2u);
    EXPECT_EQ(d.frame->dropped, 0);
    EXPECT_EQ(d.frames[1].payload, (Bytes{kAnswerAck, 0x10, 0x06}));
}

TEST(SerialEnvelope, UnknownStateStartsOver) {
    Decoder d;
    d.state = 42;
    d.Feed(Wrap({kAnswerAck}));
    EXPECT_EQ(d.frames.size(), 0u); // the STX went to resetting the state
    d.Feed(Wrap({kAnswerAck}));
    EXPECT_EQ(d.frames.size(), 1u);
}

TEST(SerialEnvelope, GapLimitIsStrictAndSurvivesTickWrap) {
    struct {
        uint32_t now, last;
        bool restarts;
    } cases[] = {
        {5000, 3000, false},     {5001, 3000, true},        {2000, 0, false},
        {5, 0xFFFFFFF0u, false}, {3000, 0xFFFFFFF0u, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GapRestartsDecoding(c.now, c.last, 2000), c.restarts) << c.now << " " << c.last;
}

} // namespace
