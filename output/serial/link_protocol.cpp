#include "output/serial/link_protocol.h"

#include <algorithm>

namespace pixelcast::link {

namespace {

void appendLe16(Bytes& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFFU));
    out.push_back(static_cast<std::uint8_t>(value >> 8U));
}

[[nodiscard]] std::uint16_t le16(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8U));
}

// A run costs its offset and count besides its bytes.
constexpr std::size_t kRunHeaderBytes = 3;
constexpr std::size_t kLongestRun = 255;

} // namespace

std::uint16_t crc16(std::span<const std::uint8_t> bytes, std::uint16_t crc)
{
    for (const std::uint8_t byte : bytes) {
        crc = static_cast<std::uint16_t>(crc ^ (byte << 8U));
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000U) != 0 ? static_cast<std::uint16_t>((crc << 1U) ^ 0x1021U)
                                       : static_cast<std::uint16_t>(crc << 1U);
        }
    }
    return crc;
}

Bytes encodeMessage(MessageType type, std::span<const std::uint8_t> payload)
{
    Bytes out;
    out.reserve(payload.size() + kFramingBytes);
    out.push_back(kStartMarker[0]);
    out.push_back(kStartMarker[1]);
    out.push_back(static_cast<std::uint8_t>(type));
    appendLe16(out, static_cast<std::uint16_t>(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    appendLe16(out, crc16(std::span(out).subspan(2)));
    return out;
}

Bytes encodeHello()
{
    return encodeMessage(MessageType::Hello, {});
}

Bytes encodeFrame(std::uint16_t seq, std::span<const std::uint8_t> memory)
{
    Bytes payload;
    payload.reserve(framePayloadBytes(memory.size()));
    appendLe16(payload, seq);
    payload.insert(payload.end(), memory.begin(), memory.end());
    return encodeMessage(MessageType::Frame, payload);
}

Bytes encodeDelta(std::uint16_t seq, std::uint16_t base, std::span<const Run> runs,
                  std::span<const std::uint8_t> frame)
{
    Bytes payload;
    payload.reserve(deltaPayloadBytes(runs));
    appendLe16(payload, seq);
    appendLe16(payload, base);
    for (const Run& run : runs) {
        appendLe16(payload, run.offset);
        payload.push_back(run.count);
        const auto bytes = frame.subspan(run.offset, run.count);
        payload.insert(payload.end(), bytes.begin(), bytes.end());
    }
    return encodeMessage(MessageType::Delta, payload);
}

std::size_t framePayloadBytes(std::size_t memoryBytes)
{
    return 2 + memoryBytes;
}

std::size_t deltaPayloadBytes(std::span<const Run> runs)
{
    std::size_t bytes = 4;
    for (const Run& run : runs) {
        bytes += kRunHeaderBytes + run.count;
    }
    return bytes;
}

Update planUpdate(std::span<const std::uint8_t> shown, std::span<const std::uint8_t> next,
                  int width)
{
    if (shown.size() != next.size() || width <= 0 || next.size() > 0x10000) {
        return {Update::Kind::Frame, {}};
    }
    const auto pageBytes = static_cast<std::size_t>(width);
    Update update{Update::Kind::Delta, {}};
    const std::size_t frameCost = framePayloadBytes(next.size());
    std::size_t cost = deltaPayloadBytes({});
    // The open run, as [begin, end) ending on a changed byte.
    std::size_t begin = 0;
    std::size_t end = 0;
    bool open = false;
    const auto close = [&] {
        update.runs.push_back(
            {static_cast<std::uint16_t>(begin), static_cast<std::uint8_t>(end - begin)});
        cost += kRunHeaderBytes + (end - begin);
        open = false;
    };
    for (std::size_t i = 0; i < next.size(); ++i) {
        if (open && i % pageBytes == 0) {
            close();
        }
        if (shown[i] == next[i]) {
            continue;
        }
        // Joining across the unchanged bytes since `end` costs those bytes; a new run costs
        // its header.
        if (open && i - end < kRunHeaderBytes && i + 1 - begin <= kLongestRun) {
            end = i + 1;
            continue;
        }
        if (open) {
            close();
            if (cost >= frameCost) {
                return {Update::Kind::Frame, {}};
            }
        }
        begin = i;
        end = i + 1;
        open = true;
    }
    if (open) {
        close();
    }
    if (update.runs.empty()) {
        return {Update::Kind::Nothing, {}};
    }
    if (cost >= frameCost) {
        return {Update::Kind::Frame, {}};
    }
    return update;
}

std::optional<FramePayload> readFrame(std::span<const std::uint8_t> payload)
{
    if (payload.size() < 2) {
        return std::nullopt;
    }
    return FramePayload{le16(payload, 0), payload.subspan(2)};
}

std::optional<DeltaPayload> readDelta(std::span<const std::uint8_t> payload)
{
    if (payload.size() < 4) {
        return std::nullopt;
    }
    DeltaPayload delta{le16(payload, 0), le16(payload, 2), {}};
    std::size_t at = 4;
    while (at < payload.size()) {
        if (payload.size() - at < kRunHeaderBytes) {
            return std::nullopt;
        }
        const std::uint16_t offset = le16(payload, at);
        const std::size_t count = payload[at + 2];
        at += kRunHeaderBytes;
        if (count == 0 || payload.size() - at < count) {
            return std::nullopt;
        }
        delta.runs.push_back({offset, payload.subspan(at, count)});
        at += count;
    }
    return delta;
}

Bytes encodeReady(const Ready& ready)
{
    Bytes payload;
    payload.push_back(ready.version);
    payload.push_back(ready.controller);
    appendLe16(payload, ready.width);
    appendLe16(payload, ready.height);
    payload.push_back(ready.order);
    appendLe16(payload, ready.maxPayload);
    appendLe16(payload, ready.shown);
    return encodeMessage(MessageType::Ready, payload);
}

Bytes encodeShown(std::uint16_t seq)
{
    Bytes payload;
    appendLe16(payload, seq);
    return encodeMessage(MessageType::Shown, payload);
}

Bytes encodeRefused(std::uint16_t seq, RefusalReason reason)
{
    Bytes payload;
    appendLe16(payload, seq);
    payload.push_back(static_cast<std::uint8_t>(reason));
    return encodeMessage(MessageType::Refused, payload);
}

std::optional<BoardMessage> readBoardMessage(const Message& message)
{
    const std::span<const std::uint8_t> p = message.payload;
    switch (message.type) {
    case MessageType::Ready:
        if (p.size() != kReadyPayloadBytes) {
            return std::nullopt;
        }
        return Ready{p[0], p[1], le16(p, 2), le16(p, 4), p[6], le16(p, 7), le16(p, 9)};
    case MessageType::Shown:
        if (p.size() != 2) {
            return std::nullopt;
        }
        return Shown{le16(p, 0)};
    case MessageType::Refused:
        if (p.size() != 3) {
            return std::nullopt;
        }
        return Refused{le16(p, 0), p[2]};
    case MessageType::Hello:
    case MessageType::Frame:
    case MessageType::Delta:
        break;
    }
    return std::nullopt;
}

void MessageReader::feed(std::span<const std::uint8_t> bytes)
{
    compact();
    m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
}

std::optional<Message> MessageReader::next()
{
    const std::span<const std::uint8_t> buffer = m_buffer;
    while (m_start < buffer.size()) {
        const auto rest = buffer.subspan(m_start);
        const auto marker =
            std::search(rest.begin(), rest.end(), std::begin(kStartMarker), std::end(kStartMarker));
        if (marker == rest.end()) {
            // Keep a last byte that may be the marker's first.
            m_start = buffer.size() - (buffer.back() == kStartMarker[0] ? 1 : 0);
            return std::nullopt;
        }
        m_start += static_cast<std::size_t>(marker - rest.begin());
        if (buffer.size() - m_start < kHeaderBytes) {
            return std::nullopt;
        }
        const std::size_t length = le16(buffer, m_start + 3);
        if (length > m_maxPayload) {
            ++m_rejected;
            ++m_start;
            continue;
        }
        const std::size_t total = kHeaderBytes + length + kCrcBytes;
        if (buffer.size() - m_start < total) {
            return std::nullopt;
        }
        const auto checked = buffer.subspan(m_start + 2, 3 + length);
        if (crc16(checked) != le16(buffer, m_start + kHeaderBytes + length)) {
            ++m_rejected;
            ++m_start;
            continue;
        }
        Message message{static_cast<MessageType>(buffer[m_start + 2]),
                        Bytes(checked.begin() + 3, checked.end())};
        m_start += total;
        return message;
    }
    return std::nullopt;
}

void MessageReader::dropPartial()
{
    m_buffer.clear();
    m_start = 0;
}

void MessageReader::compact()
{
    if (m_start > 0) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_start));
        m_start = 0;
    }
}

} // namespace pixelcast::link
