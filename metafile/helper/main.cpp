// pixelcast-wmf: draws one Windows metafile and hands back its pixels.
//
// Runs as a separate process because the metafile parser trusts counts and sizes in the
// file; the program that starts it limits its memory and time and treats any failure here
// as an ordinary error. Reads the metafile on standard input; the one argument is the
// background colour. The output is described in metafile/metafile_protocol.h.
#include "draw_metafile.h"
#include "metafile/metafile_protocol.h"
#include "pixels/colorref.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <unistd.h>

namespace {

using namespace pixelcast;

QByteArray readAll(int fd)
{
    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got == 0) {
            return bytes;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return bytes;
        }
        bytes.append(chunk, static_cast<qsizetype>(got));
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

bool writeImage(const QImage& image)
{
    char header[metafile::kHeaderBytes];
    std::memcpy(header, metafile::kMagic, 4);
    putLe32(header + 4, static_cast<std::uint32_t>(image.width()));
    putLe32(header + 8, static_cast<std::uint32_t>(image.height()));
    if (!writeAll(STDOUT_FILENO, header, sizeof header)) {
        return false;
    }
    QByteArray line(static_cast<qsizetype>(image.width()) * 4, '\0');
    for (int y = 0; y < image.height(); ++y) {
        const auto* pixels = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            putLe32(line.data() + static_cast<qsizetype>(x) * 4,
                    rgb(qRed(pixels[x]), qGreen(pixels[x]), qBlue(pixels[x])));
        }
        if (!writeAll(STDOUT_FILENO, line.constData(), static_cast<std::size_t>(line.size()))) {
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (argc != 2) {
        std::fputs("usage: pixelcast-wmf BBGGRR < picture.wmf > pixels\n", stderr);
        return metafile::ExitUsage;
    }
    bool ok = false;
    const uint background = QByteArray(argv[1]).toUInt(&ok, 16);
    if (!ok || background > 0xFFFFFFU) {
        std::fputs("pixelcast-wmf: the background must be six hexadecimal digits\n", stderr);
        return metafile::ExitUsage;
    }
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    try {
        QImage canvas;
        const int drawn = wmf::drawMetafile(readAll(STDIN_FILENO), background, canvas);
        if (drawn != metafile::ExitDrawn) {
            return drawn;
        }
        return writeImage(canvas) ? metafile::ExitDrawn : metafile::ExitOutputFailed;
    } catch (const std::bad_alloc&) {
        return metafile::ExitNoMemory;
    }
}
