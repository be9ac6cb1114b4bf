// The memory an animation takes in the window: a generated GIF of kFrames frames of
// 128 x 64 loaded through the controller, as "Load Image" loads it, against the same
// controller holding a still picture of that size. Prints the resident sizes
// (/proc/self/status VmRSS) and their difference; the goal is at most 100 MB more than the
// still. Reports only; never fails.
#include "app/controller.h"
#include "controller_rig.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <gif_lib.h>
#include <string>
#include <vector>

namespace {

constexpr int kFrames = 10'000;
constexpr int kWidth = 128;
constexpr int kHeight = 64;

extern "C" {
static int appendGifBytes(GifFileType* gif, const GifByteType* data, int length)
{
    auto* out = static_cast<QByteArray*>(gif->UserData);
    out->append(reinterpret_cast<const char*>(data), length);
    return length;
}
}

// `frames` frames of the whole screen, each a different pattern of four greys, so that
// every frame is decoded, stretched and kept on its own.
QByteArray makeGif(int frames)
{
    QByteArray out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendGifBytes, &error);
    std::vector<GifColorType> colours{{0, 0, 0}, {90, 90, 90}, {170, 170, 170}, {255, 255, 255}};
    ColorMapObject* table = GifMakeMapObject(4, colours.data());
    EGifPutScreenDesc(gif, kWidth, kHeight, 2, 0, table);
    EGifSetGifVersion(gif, true);
    std::vector<GifPixelType> line(kWidth);
    for (int f = 0; f < frames; ++f) {
        // A graphic control block: 10 hundredths.
        const GifByteType control[4] = {0, 10, 0, 0};
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control);
        EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, nullptr);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                line[static_cast<std::size_t>(x)] =
                    static_cast<GifPixelType>(((x + f) / 8 + (y + f / 7) / 4) & 3);
            }
            EGifPutLine(gif, line.data(), kWidth);
        }
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(table);
    return out;
}

// The resident size in kB.
long residentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

void save(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv); // the play timer needs one
    const QTemporaryDir dir;
    const QString still = dir.filePath(QStringLiteral("still.gif"));
    const QString animation = dir.filePath(QStringLiteral("animation.gif"));
    save(still, makeGif(1));
    {
        const QByteArray bytes = makeGif(kFrames);
        save(animation, bytes);
        std::printf("animation file: %d frames, %lld bytes\n", kFrames,
                    static_cast<long long>(bytes.size()));
    }

    pixelcast::test::ControllerRig rig;
    rig.start();
    rig.controller.loadImageFile(still);
    const long stillKb = residentKb();
    rig.controller.loadImageFile(animation);
    const long animationKb = residentKb();
    const std::size_t shown = rig.controller.state().animation.frames.size();
    std::printf("still picture open:     VmRSS %ld kB\n", stillKb);
    std::printf("%zu-frame animation open: VmRSS %ld kB\n", shown, animationKb);
    std::printf("difference: %.1f MB (goal: at most 100 MB)\n",
                static_cast<double>(animationKb - stillKb) / 1024.0);
    if (!rig.window.messages.isEmpty()) {
        std::printf("message: %s\n", qPrintable(rig.window.messages.front()));
    }
    return 0;
}
