// pixelcast-svg: draws one SVG document and hands back its pixels.
//
// Runs as a separate process so that a document that makes the renderer work without end
// or take all memory costs only this process: the program that starts it limits its
// memory and time and treats any failure here as an ordinary error. Reads the document on
// standard input; the arguments and the output are described in svg/svg_protocol.h.
#include "draw_svg.h"
#include "svg/svg_protocol.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unistd.h>

namespace {

using namespace pixelcast;

bool readAll(int fd, std::string& bytes)
{
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.append(chunk, static_cast<std::size_t>(got));
        if (bytes.size() > static_cast<std::size_t>(svg::kMaxDocumentBytes)) {
            return false;
        }
    }
}

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

void putLe32(char* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<char>((value >> (8U * static_cast<unsigned>(i))) & 0xFFU);
    }
}

bool writeDrawing(const svg::Drawing& drawing)
{
    std::string out(svg::kHeaderBytes + drawing.pixels.size() * 4, '\0');
    std::memcpy(out.data(), svg::kMagic, 4);
    putLe32(out.data() + 4, static_cast<std::uint32_t>(drawing.ownWidth));
    putLe32(out.data() + 8, static_cast<std::uint32_t>(drawing.ownHeight));
    putLe32(out.data() + 12, static_cast<std::uint32_t>(drawing.width));
    putLe32(out.data() + 16, static_cast<std::uint32_t>(drawing.height));
    putLe32(out.data() + 20, drawing.repaired ? svg::kRepaired : 0U);
    char* at = out.data() + svg::kHeaderBytes;
    for (const ColorRef pixel : drawing.pixels) {
        putLe32(at, pixel);
        at += 4;
    }
    return writeAll(STDOUT_FILENO, out.data(), out.size());
}

// A whole number from 1 to the largest side.
bool side(const char* text, int& value)
{
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < 1 || parsed > svg::kMaxSide) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const auto usage = [] {
        std::fputs(
            "usage: pixelcast-svg BBGGRR WIDTH HEIGHT fill|keep|own < picture.svg > pixels\n",
            stderr);
        return svg::ExitUsage;
    };
    if (argc != 5) {
        return usage();
    }
    char* end = nullptr;
    const unsigned long background = std::strtoul(argv[1], &end, 16);
    int width = 0;
    int height = 0;
    if (std::strlen(argv[1]) != 6 || *end != '\0' || !side(argv[2], width) ||
        !side(argv[3], height)) {
        return usage();
    }
    svg::Fit fit = svg::Fit::Fill;
    if (std::strcmp(argv[4], "keep") == 0) {
        fit = svg::Fit::Keep;
    } else if (std::strcmp(argv[4], "own") == 0) {
        fit = svg::Fit::Own;
    } else if (std::strcmp(argv[4], "fill") != 0) {
        return usage();
    }
    try {
        std::string text;
        if (!readAll(STDIN_FILENO, text)) {
            return svg::ExitNotReadable;
        }
        svg::Drawing drawing;
        const int drawn =
            svg::drawSvg(text, static_cast<ColorRef>(background), width, height, fit, drawing);
        if (drawn != svg::ExitDrawn) {
            return drawn;
        }
        return writeDrawing(drawing) ? svg::ExitDrawn : svg::ExitOutputFailed;
    } catch (const std::bad_alloc&) {
        return svg::ExitNoMemory;
    }
}
