// The live link's messages: the CRC's check value, every message through the reader and
// back, the reader finding its way after damaged bytes, and the DELTA runs planned for
// hand-made frame pairs, each checked by applying it as a board would.
#include "output/serial/link_protocol.h"

#include <functional>
#include <gtest/gtest.h>
#include <string_view>

namespace pixelcast::link {
namespace {

std::span<const std::uint8_t> asBytes(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::vector<Message> readAll(MessageReader& reader)
{
    std::vector<Message> messages;
    while (auto message = reader.next()) {
        messages.push_back(std::move(*message));
    }
    return messages;
}

TEST(LiveLinkCodec, CrcIsCcittFalse)
{
    EXPECT_EQ(crc16(asBytes("123456789")), 0x29B1);
    EXPECT_EQ(crc16({}), 0xFFFF);
    EXPECT_EQ(crc16(asBytes("6789"), crc16(asBytes("12345"))), 0x29B1);
}

TEST(LiveLinkCodec, HelloIsMarkerTypeLengthAndCrc)
{
    const Bytes hello = encodeHello();
    const std::uint16_t crc = crc16(Bytes{0x01, 0x00, 0x00});
    EXPECT_EQ(hello, (Bytes{0x50, 0x58, 0x01, 0x00, 0x00, static_cast<std::uint8_t>(crc & 0xFF),
                            static_cast<std::uint8_t>(crc >> 8)}));
}

TEST(LiveLinkCodec, BoardMessagesComeBackAsSent)
{
    const std::vector<BoardMessage> sent{Ready{1, 2, 128, 32, 1, 1100, 0xBEEF}, Shown{0xFFFF},
                                         Refused{7, 4}, Shown{1}};
    Bytes stream;
    for (const BoardMessage& message : sent) {
        const Bytes bytes = std::visit(
            [](const auto& m) -> Bytes {
                using M = std::decay_t<decltype(m)>;
                if constexpr (std::is_same_v<M, Ready>) {
                    return encodeReady(m);
                } else if constexpr (std::is_same_v<M, Shown>) {
                    return encodeShown(m.seq);
                } else {
                    return encodeRefused(m.seq, static_cast<RefusalReason>(m.reason));
                }
            },
            message);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    // One byte at a time, the hardest chunking there is.
    MessageReader reader(kLongestBoardPayload);
    std::vector<BoardMessage> read;
    for (const std::uint8_t byte : stream) {
        reader.feed(std::span(&byte, 1));
        while (auto message = reader.next()) {
            read.push_back(readBoardMessage(*message).value());
        }
    }
    EXPECT_EQ(read, sent);
    EXPECT_FALSE(reader.holdsPartial());
}

TEST(LiveLinkCodec, HostMessagesComeBackAsSent)
{
    Bytes frame(1024);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<std::uint8_t>(i * 7);
    }
    const std::vector<link::Run> runs{{0, 1}, {127, 1}, {300, 255}};
    Bytes stream = encodeFrame(9, frame);
    const Bytes delta = encodeDelta(10, 9, runs, frame);
    stream.insert(stream.end(), delta.begin(), delta.end());

    MessageReader reader;
    reader.feed(stream);
    const auto messages = readAll(reader);
    ASSERT_EQ(messages.size(), 2U);
    const auto whole = readFrame(messages[0].payload).value();
    EXPECT_EQ(whole.seq, 9);
    EXPECT_TRUE(std::ranges::equal(whole.memory, frame));
    const auto read = readDelta(messages[1].payload).value();
    EXPECT_EQ(read.seq, 10);
    EXPECT_EQ(read.base, 9);
    ASSERT_EQ(read.runs.size(), runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i) {
        EXPECT_EQ(read.runs[i].offset, runs[i].offset);
        EXPECT_TRUE(std::ranges::equal(read.runs[i].bytes,
                                       std::span(frame).subspan(runs[i].offset, runs[i].count)));
    }
    // A DELTA whose last run is cut short is no DELTA.
    EXPECT_FALSE(readDelta(std::span(messages[1].payload).first(messages[1].payload.size() - 1)));
}

// Three SHOWN answers (seq 1, 2, 3) on a line that does something to the first one's bytes.
struct DamageRow {
    const char* name;
    std::function<void(Bytes& first)> damage;
    std::vector<std::uint16_t> expected;
};

class LiveLinkReader : public testing::TestWithParam<DamageRow> {};

TEST_P(LiveLinkReader, FindsTheMessagesAfterDamage)
{
    Bytes first = encodeShown(1);
    GetParam().damage(first);
    Bytes stream = first;
    for (const int seq : {2, 3}) {
        const Bytes bytes = encodeShown(static_cast<std::uint16_t>(seq));
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    // Every split into two chunks, as the port may hand them out.
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        SCOPED_TRACE(cut);
        MessageReader reader(kLongestBoardPayload);
        reader.feed(std::span(stream).first(cut));
        auto messages = readAll(reader);
        reader.feed(std::span(stream).subspan(cut));
        for (auto& message : readAll(reader)) {
            messages.push_back(std::move(message));
        }
        std::vector<std::uint16_t> seqs;
        for (const Message& message : messages) {
            seqs.push_back(std::get<Shown>(readBoardMessage(message).value()).seq);
        }
        EXPECT_EQ(seqs, GetParam().expected);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LiveLinkReader,
    testing::Values(
        DamageRow{"Intact", [](Bytes&) {}, {1, 2, 3}},
        DamageRow{"GarbageBefore",
                  // A marker and the header of a SHOWN that takes the real one's first bytes.
                  [](Bytes& b) {
                      b.insert(b.begin(), {0x00, 0x50, 0x50, 0x58, 0x82, 0x02, 0x00});
                  },
                  {1, 2, 3}},
        DamageRow{"CorruptPayload", [](Bytes& b) { b[5] ^= 0x10; }, {2, 3}},
        DamageRow{"CorruptCrc", [](Bytes& b) { b.back() ^= 0x01; }, {2, 3}},
        DamageRow{"LengthBeyondAnyAnswer", [](Bytes& b) { b[4] = 0x40; }, {2, 3}},
        DamageRow{"DroppedPayloadByte", [](Bytes& b) { b.erase(b.begin() + 6); }, {2, 3}},
        DamageRow{"DroppedMarkerByte", [](Bytes& b) { b.erase(b.begin()); }, {2, 3}},
        DamageRow{"CutAfterHeader", [](Bytes& b) { b.resize(kHeaderBytes); }, {2, 3}}),
    [](const testing::TestParamInfo<DamageRow>& row) { return std::string(row.param.name); });

// A frame pair for the delta planner: 128 x 16 (two pages), `change` turning the shown
// frame into the next.
struct DeltaRow {
    const char* name;
    std::function<void(Bytes& next)> change;
    Update::Kind kind;
    std::vector<link::Run> runs;
};

class LiveLinkDelta : public testing::TestWithParam<DeltaRow> {};

TEST_P(LiveLinkDelta, PlansTheShortestUpdate)
{
    constexpr std::size_t kWidth = 128;
    Bytes shown(2 * kWidth);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        shown[i] = static_cast<std::uint8_t>(i % 5);
    }
    Bytes next = shown;
    GetParam().change(next);

    const Update update = planUpdate(shown, next, static_cast<int>(kWidth));
    EXPECT_EQ(update.kind, GetParam().kind);
    EXPECT_EQ(update.runs, GetParam().runs);
    if (update.kind != Update::Kind::Delta) {
        return;
    }
    EXPECT_LT(deltaPayloadBytes(update.runs), framePayloadBytes(next.size()));
    // Applied as a board applies it, the DELTA gives the next frame.
    MessageReader reader;
    reader.feed(encodeDelta(2, 1, update.runs, next));
    const Message message = reader.next().value();
    const auto delta = readDelta(message.payload).value();
    Bytes applied = shown;
    for (const DeltaRun& run : delta.runs) {
        EXPECT_EQ(run.offset / kWidth, (run.offset + run.bytes.size() - 1) / kWidth);
        std::ranges::copy(run.bytes, applied.begin() + run.offset);
    }
    EXPECT_EQ(applied, next);
}

void flip(Bytes& b, std::size_t from, std::size_t count)
{
    for (std::size_t i = from; i < from + count; ++i) {
        b[i] ^= 0xFF;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LiveLinkDelta,
    testing::Values(
        DeltaRow{"NoChange", [](Bytes&) {}, Update::Kind::Nothing, {}},
        DeltaRow{"OneByte", [](Bytes& b) { flip(b, 40, 1); }, Update::Kind::Delta, {{40, 1}}},
        DeltaRow{"AcrossPageEdge",
                 [](Bytes& b) { flip(b, 127, 2); },
                 Update::Kind::Delta,
                 {{127, 1}, {128, 1}}},
        DeltaRow{"LastByte", [](Bytes& b) { flip(b, 255, 1); }, Update::Kind::Delta, {{255, 1}}},
        DeltaRow{"GapOfTwoJoined",
                 [](Bytes& b) {
                     flip(b, 10, 1);
                     flip(b, 13, 1);
                 },
                 Update::Kind::Delta,
                 {{10, 4}}},
        DeltaRow{"GapOfThreeSplit",
                 [](Bytes& b) {
                     flip(b, 10, 1);
                     flip(b, 14, 1);
                 },
                 Update::Kind::Delta,
                 {{10, 1}, {14, 1}}},
        DeltaRow{"ManyBytes", [](Bytes& b) { flip(b, 0, 120); }, Update::Kind::Delta, {{0, 120}}},
        DeltaRow{"WholeFrameCheaper", [](Bytes& b) { flip(b, 0, 256); }, Update::Kind::Frame, {}},
        DeltaRow{"EveryFourthByte",
                 [](Bytes& b) {
                     for (std::size_t i = 0; i < b.size(); i += 4) {
                         flip(b, i, 1);
                     }
                 },
                 Update::Kind::Frame,
                 {}}),
    [](const testing::TestParamInfo<DeltaRow>& row) { return std::string(row.param.name); });

TEST(LiveLinkDeltaRuns, LongChangesAreCutAt255)
{
    const Bytes shown(1024);
    Bytes next(1024, 0x01);
    std::fill(next.begin() + 512, next.end(), 0x00);
    // Width 1024: one page, so only the 255-byte limit cuts.
    const Update update = planUpdate(shown, next, 1024);
    EXPECT_EQ(update.kind, Update::Kind::Delta);
    EXPECT_EQ(update.runs, (std::vector<link::Run>{{0, 255}, {255, 255}, {510, 2}}));
}

} // namespace
} // namespace pixelcast::link
