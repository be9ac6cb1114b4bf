#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <variant>
#include <vector>

// The messages of the live link as board/LINK.md sets them out, for both of its sides: the
// host encodes HELLO, FRAME and DELTA and reads READY, SHOWN and REFUSED; a board (or a
// test standing in for one) does the reverse. Plain bytes only: no port, no Qt, no clock.
namespace pixelcast::link {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kStartMarker[2] = {0x50, 0x58}; // "PX"
// Marker, type and length before the payload; the CRC after it.
inline constexpr std::size_t kHeaderBytes = 5;
inline constexpr std::size_t kCrcBytes = 2;
inline constexpr std::size_t kFramingBytes = kHeaderBytes + kCrcBytes;

inline constexpr std::int32_t kBaudRate = 1'000'000;
// One start bit, eight data bits, one stop bit.
inline constexpr std::chrono::microseconds kByteTime{10};
// What the host waits for an answer beyond the message's own time on the line.
inline constexpr std::chrono::milliseconds kAnswerGrace{100};
// Tries of one message in a row before the board counts as gone.
inline constexpr int kMaxTries = 5;
// Finding a board: a HELLO this often, for this long, on each candidate port.
inline constexpr std::chrono::milliseconds kHelloInterval{250};
inline constexpr std::chrono::milliseconds kHelloPatience{2500};
// A board drops a message whose bytes stop coming for this long.
inline constexpr std::chrono::milliseconds kMessageGap{20};

enum class MessageType : std::uint8_t {
    Hello = 0x01,
    Frame = 0x02,
    Delta = 0x03,
    Ready = 0x81,
    Shown = 0x82,
    Refused = 0x83,
};

enum class Controller : std::uint8_t { Ssd1306 = 1, Sh1106 = 2 };

// READY's `order` for the pages layout, the only one there is.
inline constexpr std::uint8_t kPagesOrder = 1;
inline constexpr std::uint8_t kProtocolVersion = 1;

enum class RefusalReason : std::uint8_t {
    BadCrc = 1,
    TooLong = 2,
    Malformed = 3,
    WrongBase = 4,
    BadRun = 5,
};

// One message as it travels, framing stripped.
struct Message {
    MessageType type = MessageType::Hello;
    Bytes payload;

    friend bool operator==(const Message&, const Message&) = default;
};

// CRC-16/CCITT-FALSE: polynomial 0x1021, initial 0xFFFF, no reflection, no final XOR.
// Pass the result back in as `crc` to continue over more bytes.
[[nodiscard]] std::uint16_t crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc = 0xFFFF);

// The frame number after `seq`: 1 to 65535, then 1 again (0 means "no frame").
[[nodiscard]] constexpr std::uint16_t nextSeq(std::uint16_t seq)
{
    return seq == 0xFFFF ? std::uint16_t{1} : static_cast<std::uint16_t>(seq + 1);
}

// How long a message of `messageBytes` bytes (framing included) takes on the line, and how
// long the host waits for its answer before sending it again.
[[nodiscard]] constexpr std::chrono::microseconds transferTime(std::size_t messageBytes)
{
    return kByteTime * static_cast<std::int64_t>(messageBytes);
}
[[nodiscard]] constexpr std::chrono::microseconds answerTimeout(std::size_t messageBytes)
{
    return transferTime(messageBytes) + kAnswerGrace;
}

// A whole message: marker, type, length, `payload`, CRC. The payload is at most 65535 bytes.
[[nodiscard]] Bytes encodeMessage(MessageType type, std::span<const std::uint8_t> payload);

// --- The host's messages -----------------------------------------------------------------

// A stretch of display memory that a DELTA replaces: `count` bytes from `offset` on,
// taken from the new frame.
struct Run {
    std::uint16_t offset = 0;
    std::uint8_t count = 0;

    friend bool operator==(const Run&, const Run&) = default;
};

[[nodiscard]] Bytes encodeHello();
// `memory`: the whole display memory in the pages order.
[[nodiscard]] Bytes encodeFrame(std::uint16_t seq, std::span<const std::uint8_t> memory);
// Each run's bytes are taken from `frame`, the new frame's whole display memory.
[[nodiscard]] Bytes encodeDelta(std::uint16_t seq, std::uint16_t base, std::span<const Run> runs,
                                std::span<const std::uint8_t> frame);

// The payload lengths of a FRAME of `memoryBytes` and of a DELTA with these runs.
[[nodiscard]] std::size_t framePayloadBytes(std::size_t memoryBytes);
[[nodiscard]] std::size_t deltaPayloadBytes(std::span<const Run> runs);

// What the host sends to turn the frame a board shows into the next one.
struct Update {
    enum class Kind {
        Nothing, // the frames are equal
        Frame,   // a whole FRAME is no longer than the DELTA
        Delta,   // `runs` make a DELTA shorter than a FRAME
    };
    Kind kind = Kind::Nothing;
    std::vector<Run> runs;
};

// Compares `shown` and `next` (both the whole display memory in the pages order, `width`
// bytes a page, of equal length) and plans the DELTA runs: each within one page, in
// increasing order, at most 255 bytes; two changed stretches are joined across a gap of
// unchanged bytes when the gap is shorter than a run's own three bytes of offset and count.
// Frames of different lengths, or of no width, give a Frame.
[[nodiscard]] Update planUpdate(std::span<const std::uint8_t> shown,
                                std::span<const std::uint8_t> next, int width);

// A host message's payload read back (what a board does).
struct FramePayload {
    std::uint16_t seq = 0;
    std::span<const std::uint8_t> memory;
};
struct DeltaRun {
    std::uint16_t offset = 0;
    std::span<const std::uint8_t> bytes;
};
struct DeltaPayload {
    std::uint16_t seq = 0;
    std::uint16_t base = 0;
    std::vector<DeltaRun> runs;
};
// Nothing when the payload's length does not fit the type (reason 3). The spans point into
// `payload`.
[[nodiscard]] std::optional<FramePayload> readFrame(std::span<const std::uint8_t> payload);
[[nodiscard]] std::optional<DeltaPayload> readDelta(std::span<const std::uint8_t> payload);

// --- The board's messages ----------------------------------------------------------------

struct Ready {
    std::uint8_t version = kProtocolVersion;
    std::uint8_t controller = static_cast<std::uint8_t>(Controller::Ssd1306);
    std::uint16_t width = 128;
    std::uint16_t height = 64;
    std::uint8_t order = kPagesOrder;
    std::uint16_t maxPayload = 0;
    std::uint16_t shown = 0;

    friend bool operator==(const Ready&, const Ready&) = default;
};
struct Shown {
    std::uint16_t seq = 0;

    friend bool operator==(const Shown&, const Shown&) = default;
};
struct Refused {
    std::uint16_t seq = 0;
    std::uint8_t reason = 0;

    friend bool operator==(const Refused&, const Refused&) = default;
};
using BoardMessage = std::variant<Ready, Shown, Refused>;

inline constexpr std::size_t kReadyPayloadBytes = 11;
// The longest payload a board sends.
inline constexpr std::size_t kLongestBoardPayload = kReadyPayloadBytes;

[[nodiscard]] Bytes encodeReady(const Ready& ready);
[[nodiscard]] Bytes encodeShown(std::uint16_t seq);
[[nodiscard]] Bytes encodeRefused(std::uint16_t seq, RefusalReason reason);

// The board's message in `message`; nothing for a host message or a payload of the wrong
// length.
[[nodiscard]] std::optional<BoardMessage> readBoardMessage(const Message& message);

// --- Reading a stream --------------------------------------------------------------------

// Takes the bytes of a line in chunks of any size and hands out the whole messages in
// them. Bytes outside a message are skipped up to the next start marker. A message whose
// CRC does not match, or whose length is beyond `maxPayload`, is not a message: the hunt
// for a marker starts again at its second byte, so a real message that began inside it (the
// one after a message that lost bytes on the way) is still found.
class MessageReader {
public:
    explicit MessageReader(std::size_t maxPayload = 0xFFFF) : m_maxPayload(maxPayload) {}

    // Adds bytes to those not yet read.
    void feed(std::span<const std::uint8_t> bytes);
    // The next whole message, or nothing until more bytes come.
    [[nodiscard]] std::optional<Message> next();
    // Forgets a message begun and not finished (its bytes stopped coming).
    void dropPartial();
    // Whether bytes are held for a message not yet whole.
    [[nodiscard]] bool holdsPartial() const { return m_buffer.size() > m_start; }
    // How many messages were thrown away for a bad CRC or length since the reader began.
    [[nodiscard]] std::size_t rejected() const { return m_rejected; }

private:
    void compact();

    std::size_t m_maxPayload;
    Bytes m_buffer;
    // Where the bytes not yet looked at begin.
    std::size_t m_start = 0;
    std::size_t m_rejected = 0;
};

} // namespace pixelcast::link
