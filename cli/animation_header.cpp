#include "animation_header.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>

namespace pixelcast::cli {

namespace {

constexpr std::uint8_t kLiteralToken = 0x80;
constexpr std::size_t kLongestToken = 128;

QString printable(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.category() == QChar::Separator_Line ||
            c.category() == QChar::Separator_Paragraph) {
            c = u'?';
        }
    }
    return out;
}

void appendHex(QByteArray& text, std::uint8_t value)
{
    static constexpr std::string_view kHex = "0123456789ABCDEF";
    text += "0x";
    text += kHex[value >> 4U];
    text += kHex[value & 0xFU];
    text += ',';
}

// Bytes sixteen to a line.
void appendBytes(QByteArray& text, std::span<const std::uint8_t> bytes, const char* indent)
{
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        text += i % 16 == 0 ? indent : " ";
        appendHex(text, bytes[i]);
        if (i % 16 == 15 || i + 1 == bytes.size()) {
            text += '\n';
        }
    }
}

} // namespace

std::vector<std::uint8_t> compressFrames(std::span<const DisplayArray> frames)
{
    std::vector<std::uint8_t> stream;
    DisplayArray previous;
    std::array<std::uint8_t, DisplayArray::kSize> change{};
    for (const DisplayArray& frame : frames) {
        for (std::size_t i = 0; i < DisplayArray::kSize; ++i) {
            change[i] = static_cast<std::uint8_t>(frame[i] ^ previous[i]);
        }
        std::size_t i = 0;
        while (i < change.size()) {
            const std::size_t limit = std::min(change.size(), i + kLongestToken);
            std::size_t end = i;
            if (change[i] == 0) {
                while (end < limit && change[end] == 0) {
                    ++end;
                }
                stream.push_back(static_cast<std::uint8_t>(end - i - 1));
            } else {
                // A literal run ends where two zero bytes in a row begin: one zero costs
                // less inside the literal than a token of its own.
                while (end < limit &&
                       !(change[end] == 0 && (end + 1 >= change.size() || change[end + 1] == 0))) {
                    ++end;
                }
                stream.push_back(static_cast<std::uint8_t>(kLiteralToken + (end - i - 1)));
                stream.insert(stream.end(), change.begin() + static_cast<std::ptrdiff_t>(i),
                              change.begin() + static_cast<std::ptrdiff_t>(end));
            }
            i = end;
        }
        previous = frame;
    }
    return stream;
}

std::vector<DisplayArray> decompressFrames(std::span<const std::uint8_t> stream, std::size_t count)
{
    std::vector<DisplayArray> frames;
    DisplayArray current;
    std::size_t at = 0;
    for (std::size_t f = 0; f < count; ++f) {
        std::size_t i = 0;
        while (i < DisplayArray::kSize) {
            if (at >= stream.size()) {
                throw std::invalid_argument("the stream ends inside a frame");
            }
            const std::uint8_t token = stream[at++];
            const std::size_t length = (token & 0x7FU) + 1U;
            if (i + length > DisplayArray::kSize ||
                (token >= kLiteralToken && at + length > stream.size())) {
                throw std::invalid_argument("a token runs past its frame");
            }
            for (std::size_t k = 0; k < length; ++k, ++i) {
                if (token >= kLiteralToken) {
                    current[i] = static_cast<std::uint8_t>(current[i] ^ stream[at++]);
                }
            }
        }
        frames.push_back(current);
    }
    return frames;
}

QByteArray animationHeader(const AnimationHeaderInput& input)
{
    const QByteArray name = input.name.toLatin1();
    const QByteArray count = QByteArray::number(static_cast<qulonglong>(input.frames.size()));
    QByteArray text;
    text += "// " + printable(input.origin).toUtf8() + "\n";
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
            "_stream holds the frames compressed: each frame XORed with the one\n"
            "// before it (the first with zeros), then coded as tokens: a token t below 0x80\n"
            "// stands for t + 1 zero bytes, a token t from 0x80 is followed by t - 0x7F bytes\n"
            "// as they are. After the last frame the stream starts again from zeros.\n";
    }
    text += "\n#pragma once\n\n#include <stdint.h>\n\n#ifdef __AVR__\n#include <avr/pgmspace.h>\n"
            "#elif !defined(PROGMEM)\n#define PROGMEM\n#endif\n\n";
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
