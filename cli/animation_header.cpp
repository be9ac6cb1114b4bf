#include "animation_header.h"

#include "output/c_header.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace pixelcast::cli {

namespace {

constexpr std::uint8_t kLiteralToken = 0x80;
constexpr int kDisplayColumns = 128;

// Bytes sixteen to a line.
void appendBytes(QByteArray& text, std::span<const std::uint8_t> bytes, const char* indent)
{
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text += i % 16 == 0 ? indent : " ";
        appendHexByte(text, bytes[i]);
        if (i % 16 == 15 || i + 1 == bytes.size()) {
            text += '\n';
        }
    }
}

} // namespace

namespace {

constexpr std::size_t kLongestZeros = 128;
constexpr std::size_t kLongestLiteral = 64;
constexpr std::size_t kLongestRepeat = 65;
constexpr std::uint8_t kRepeatToken = 0xC0;

// The frame's bytes in the display's order, page after page, each page column by column.
std::array<std::uint8_t, DisplayArray::kSize> displayOrder(const DisplayArray& frame)
{
    std::array<std::uint8_t, DisplayArray::kSize> out{};
    for (int page = 0; page < DisplayArray::kPages; ++page) {
        for (int column = 0; column < kDisplayColumns; ++column) {
            out[static_cast<std::size_t>(page * kDisplayColumns + column)] =
                frame[DisplayArray::indexOf(column, page)];
        }
    }
    return out;
}

// How many bytes from `at` equal the one there, at most `limit`.
std::size_t runAt(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t limit)
{
    std::size_t end = at;
    while (end < bytes.size() && end - at < limit && bytes[end] == bytes[at]) {
        ++end;
    }
    return end - at;
}

void codeFrame(std::span<const std::uint8_t> change, std::vector<std::uint8_t>& stream)
{
    std::size_t i = 0;
    while (i < change.size()) {
        if (change[i] == 0) {
            const std::size_t n = runAt(change, i, kLongestZeros);
            stream.push_back(static_cast<std::uint8_t>(n - 1));
            i += n;
            continue;
        }
        const std::size_t repeat = runAt(change, i, kLongestRepeat);
        if (repeat >= 3) {
            stream.push_back(static_cast<std::uint8_t>(kRepeatToken + (repeat - 2)));
            stream.push_back(change[i]);
            i += repeat;
            continue;
        }
        // A literal ends where two zeros or three equal bytes begin: shorter ones cost less
        // inside it than a token of their own.
        std::size_t end = i;
        while (end < change.size() && end - i < kLongestLiteral &&
               !(change[end] == 0 && runAt(change, end, 2) == 2) && runAt(change, end, 3) < 3) {
            ++end;
        }
        end = std::max(end, i + 1);
        stream.push_back(static_cast<std::uint8_t>(kLiteralToken + (end - i - 1)));
        stream.insert(stream.end(), change.begin() + static_cast<std::ptrdiff_t>(i),
                      change.begin() + static_cast<std::ptrdiff_t>(end));
        i = end;
    }
}

} // namespace

std::vector<std::uint8_t> compressFrames(std::span<const DisplayArray> frames)
{
    std::vector<std::uint8_t> stream;
    std::array<std::uint8_t, DisplayArray::kSize> previous{};
    for (const DisplayArray& frame : frames) {
        const auto current = displayOrder(frame);
        std::array<std::uint8_t, DisplayArray::kSize> change{};
        for (std::size_t i = 0; i < change.size(); ++i) {
            change[i] = static_cast<std::uint8_t>(current[i] ^ previous[i]);
        }
        codeFrame(change, stream);
        previous = current;
    }
    return stream;
}

std::vector<DisplayArray> decompressFrames(std::span<const std::uint8_t> stream, std::size_t count)
{
    std::vector<DisplayArray> frames;
    std::array<std::uint8_t, DisplayArray::kSize> current{};
    std::size_t at = 0;
    const auto next = [&] {
        if (at >= stream.size()) {
            throw std::invalid_argument("the stream ends inside a frame");
        }
        return stream[at++];
    };
    for (std::size_t f = 0; f < count; ++f) {
        std::size_t i = 0;
        while (i < DisplayArray::kSize) {
            const std::uint8_t token = next();
            const std::size_t length = token < kLiteralToken  ? token + 1U
                                       : token < kRepeatToken ? token - kLiteralToken + 1U
                                                              : token - kRepeatToken + 2U;
            if (i + length > DisplayArray::kSize) {
                throw std::invalid_argument("a token runs past its frame");
            }
            const std::uint8_t repeated = token >= kRepeatToken ? next() : 0;
            for (std::size_t k = 0; k < length; ++k, ++i) {
                if (token >= kRepeatToken) {
                    current[i] ^= repeated;
                } else if (token >= kLiteralToken) {
                    current[i] ^= next();
                }
            }
        }
        DisplayArray frame;
        for (int page = 0; page < DisplayArray::kPages; ++page) {
            for (int column = 0; column < kDisplayColumns; ++column) {
                frame[DisplayArray::indexOf(column, page)] =
                    current[static_cast<std::size_t>(page * kDisplayColumns + column)];
            }
        }
        frames.push_back(frame);
    }
    return frames;
}

QByteArray animationHeader(const AnimationHeaderInput& input)
{
    const QByteArray name = input.name.toLatin1();
    const QByteArray count = QByteArray::number(static_cast<qulonglong>(input.frames.size()));
    QByteArray text;
    text += headerCommentLine(input.origin);
    text += "// " + count +
            " frames of a 128 x 64 monochrome display, each 1024 bytes in page\n"
            "// layout: the byte at index column * 8 + page holds the pixels of rows page * 8 to\n"
            "// page * 8 + 7 of that column, bit k for row page * 8 + k, a set bit white.\n"
            "// " +
            name + "_delay_ms[i] is how long frame i stays; the frames are played " + name +
            "_play_count\n// times, 0 for ever.\n";
    if (input.compressed) {
        text +=
            "// " + name +
            "_stream holds the frames compressed. Each frame is taken page by\n"
            "// page (byte page * 128 + column, the order the display is written in), XORed\n"
            "// with the frame before it (the first with zeros), and coded as tokens: t below\n"
            "// 0x80 is t + 1 zero bytes; t from 0x80 to 0xBF is followed by t - 0x7F bytes as\n"
            "// they are; t from 0xC0 is followed by one byte that stands t - 0xBE times.\n"
            "// A frame's tokens cover its 1024 bytes exactly; after the last frame the\n"
            "// stream starts again from zeros.\n";
    }
    text += portableHeaderPreamble();
    text += "#define " + name + "_COMPRESSED " + (input.compressed ? "1" : "0") + "\n\n";
    text += "const uint16_t " + name + "_frame_count = " + count + ";\n";
    text += "const uint16_t " + name + "_play_count = " + QByteArray::number(input.plays) + ";\n";
    text += "const uint16_t " + name + "_delay_ms[" + count + "] PROGMEM = {";
    for (std::size_t i = 0; i < input.delaysMs.size(); ++i) {
        text += (i % 10 == 0 ? "\n    " : " ") +
                QByteArray::number(std::min(input.delaysMs[i], 0xFFFF)) + ',';
    }
    text += "\n};\n";
    if (input.compressed) {
        const std::vector<std::uint8_t> stream = compressFrames(input.frames);
        text += "const uint8_t " + name + "_stream[" +
                QByteArray::number(static_cast<qulonglong>(stream.size())) + "] PROGMEM = {\n";
        appendBytes(text, stream, "    ");
    } else {
        text += "const uint8_t " + name + "[" + count + "][1024] PROGMEM = {\n";
        for (std::size_t f = 0; f < input.frames.size(); ++f) {
            text += "    { // frame " + QByteArray::number(static_cast<qulonglong>(f + 1)) + "\n";
            appendBytes(text, input.frames[f].bytes(), "        ");
            text += "    },\n";
        }
    }
    text += "};\n";
    return text;
}

} // namespace pixelcast::cli
