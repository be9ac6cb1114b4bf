#include "output/animation_header.h"

#include "output/c_header.h"
#include "output/frame_stream.h"

#include <algorithm>

namespace pixelcast {

namespace {

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

QByteArray animationHeader(const AnimationHeaderInput& input)
{
    QByteArray text;
    writeAnimationHeader(input, [&text](const QByteArray& piece) { text += piece; });
    return text;
}

void writeAnimationHeader(const AnimationHeaderInput& input,
                          const std::function<void(const QByteArray&)>& write)
{
    // Pieces of about this many bytes go to `write`.
    constexpr qsizetype kPieceBytes = qsizetype{64} * 1024;
    const QByteArray name = input.name.toLatin1();
    const QByteArray count = QByteArray::number(static_cast<qulonglong>(input.frames.size()));
    const DisplayFormat format =
        input.frames.empty() ? DisplayFormat{} : input.frames.front().format();
    QByteArray text;
    text += headerCommentLine(input.origin);
    text += "// " + count + " frames, each:\n" +
            commentLines(format.layout->description(format.size)) + "// " + name +
            "_delay_ms[i] is how long frame i stays; the frames are played " + name +
            "_play_count\n// times, 0 for ever.\n";
    if (input.compressed) {
        text +=
            "// " + name +
            "_stream holds the frames compressed. Each frame is taken page by\n"
            "// page (byte page * " +
            QByteArray::number(format.size.width) +
            " + column, the order the display is written in), XORed\n"
            "// with the frame before it (the first with zeros), and coded as tokens: t below\n"
            "// 0x80 is t + 1 zero bytes; t from 0x80 to 0xBF is followed by t - 0x7F bytes as\n"
            "// they are; t from 0xC0 is followed by one byte that stands t - 0xBE times.\n"
            "// A frame's tokens cover its " +
            QByteArray::number(static_cast<qulonglong>(format.byteCount())) +
            " bytes exactly; after the last frame the\n"
            "// stream starts again from zeros.\n";
    }
    text += portableHeaderPreamble();
    text += "#define " + name + "_COMPRESSED " + (input.compressed ? "1" : "0") + "\n";
    text += "// The names the player sketch takes the animation by.\n"
            "#define PIXELCAST_ANIMATION " +
            name + "\n#define PIXELCAST_ANIMATION_COMPRESSED " + name + "_COMPRESSED\n\n";
    text += "static const uint16_t " + name + "_frame_count = " + count + ";\n";
    text += "static const uint16_t " + name + "_play_count = " + QByteArray::number(input.plays) +
            ";\n";
    text += sizeConstants(name, format.size);
    text += "PIXELCAST_SHARED const uint16_t " + name + "_delay_ms[" + count + "] PROGMEM = {";
    for (std::size_t i = 0; i < input.delaysMs.size(); ++i) {
        text += (i % 10 == 0 ? "\n    " : " ") +
                QByteArray::number(std::min(input.delaysMs[i], 0xFFFF)) + ',';
    }
    text += "\n};\n";
    if (input.compressed) {
        const std::vector<std::uint8_t> stream = compressFrames(input.frames);
        text += "PIXELCAST_SHARED const uint8_t " + name + "_stream[" +
                QByteArray::number(static_cast<qulonglong>(stream.size())) + "] PROGMEM = {\n";
        appendBytes(text, stream, "    ");
    } else {
        const std::size_t frameBytes = input.frames.empty() ? 0 : input.frames.front().size();
        text += "PIXELCAST_SHARED const uint8_t " + name + "[" + count + "][" +
                QByteArray::number(static_cast<qulonglong>(frameBytes)) + "] PROGMEM = {\n";
        for (std::size_t f = 0; f < input.frames.size(); ++f) {
            text += "    { // frame " + QByteArray::number(static_cast<qulonglong>(f) + 1) + "\n";
            appendBytes(text, input.frames[f].bytes(), "        ");
            text += "    },\n";
            if (text.size() >= kPieceBytes) {
                write(text);
                text.clear();
            }
        }
    }
    text += "};\n";
    write(text);
}

std::size_t plainAnimationFlash(std::span<const DisplayArray> frames)
{
    std::size_t bytes = 0;
    for (const DisplayArray& frame : frames) {
        bytes += frame.size() + sizeof(std::uint16_t);
    }
    return bytes;
}

bool plainAnimationFitsUno(std::span<const DisplayArray> frames)
{
    return kPlayerFlash + plainAnimationFlash(frames) <= kUnoSketchFlash;
}

} // namespace pixelcast
