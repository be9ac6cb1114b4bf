// The converter on animated GIFs written here with giflib: --frames in every output form
// (arrays one after another, the multi-frame header plain and compressed, the stacked
// preview, the port), each frame equal to a one-frame GIF of its composed canvas.
#include "cli/animation_header.h"
#include "cli/converter.h"
#include "support/gif_writer.h"
#include "support/pseudo_terminal.h"
#include "support/test_files.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>
#include <vector>

namespace pixelcast::cli {
namespace {

using test::AnimatedGifLayout;
using test::GifFrameLayout;
using test::ScratchDir;

constexpr int kWidth = 32;
constexpr int kHeight = 16;
constexpr std::uint8_t kClear = 5; // the transparent index of the expected pictures

struct Finished {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Finished convert(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(PIXELCAST_CONVERT_PROGRAM), arguments);
    EXPECT_TRUE(process.waitForFinished(20000));
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

void paint(std::vector<std::uint8_t>& grid, int left, int top, int size, std::uint8_t index)
{
    for (int y = top; y < top + size; ++y) {
        for (int x = left; x < left + size; ++x) {
            grid[static_cast<std::size_t>(y * kWidth + x)] = index;
        }
    }
}

GifFrameLayout square(int left, int top, std::uint8_t index, int disposal, int delayCs)
{
    GifFrameLayout frame = test::solidFrame(left, top, 6, 6, index);
    frame.disposal = disposal;
    frame.delayCs = delayCs;
    return frame;
}

// A white square moving over a striped background; the second square is cleared after it
// is shown, which leaves the face colour behind.
struct TestAnimation {
    QByteArray gif;
    std::vector<QByteArray> canvases; // each as a one-frame GIF
    std::vector<int> delaysMs{50, 100, 300, 120};
};

TestAnimation makeAnimation()
{
    std::vector<std::uint8_t> grid(kWidth * kHeight, 0);
    for (int x = 0; x < kWidth; x += 4) {
        paint(grid, x, 0, 2, 4);
    }
    AnimatedGifLayout layout;
    layout.screenWidth = kWidth;
    layout.screenHeight = kHeight;
    layout.loopCount = 0;
    GifFrameLayout background = test::solidFrame(0, 0, kWidth, kHeight, 0);
    background.indices = grid;
    background.delayCs = 5;
    layout.frames = {background, square(4, 6, 4, 2, 0), square(14, 6, 4, 0, 30),
                     square(24, 8, 4, 0, 12)};
    TestAnimation animation;
    animation.gif = test::writeAnimatedGif(layout);
    const auto canvasGif = [&] {
        AnimatedGifLayout single;
        single.screenWidth = kWidth;
        single.screenHeight = kHeight;
        GifFrameLayout frame = test::solidFrame(0, 0, kWidth, kHeight, 0);
        frame.indices = grid;
        frame.transparent = kClear;
        single.frames = {frame};
        return test::writeAnimatedGif(single);
    };
    animation.canvases.push_back(canvasGif());
    paint(grid, 4, 6, 6, 4);
    animation.canvases.push_back(canvasGif());
    paint(grid, 4, 6, 6, kClear);
    paint(grid, 14, 6, 6, 4);
    animation.canvases.push_back(canvasGif());
    paint(grid, 24, 8, 6, 4);
    animation.canvases.push_back(canvasGif());
    return animation;
}

// The arrays of the canvases, each converted alone as a picture.
std::vector<DisplayArray> expectedFrames(const ScratchDir& dir, const TestAnimation& animation)
{
    std::vector<DisplayArray> frames;
    for (const QByteArray& canvas : animation.canvases) {
        const QString file = dir.path(QStringLiteral("canvas.gif"));
        writeAll(file, canvas);
        frames.push_back(convertPicture(file, 127).array);
    }
    return frames;
}

QByteArray joined(std::span<const DisplayArray> frames)
{
    QByteArray bytes;
    for (const DisplayArray& f : frames) {
        bytes.append(reinterpret_cast<const char*>(f.bytes().data()), 1024);
    }
    return bytes;
}

class AnimationConvert : public testing::Test {
protected:
    void SetUp() override
    {
        writeAll(m_gif, m_animation.gif);
        m_frames = expectedFrames(m_dir, m_animation);
        ASSERT_NE(m_frames[1], m_frames[2]);
        ASSERT_NE(m_frames[2], m_frames[3]);
    }
    ScratchDir m_dir;
    TestAnimation m_animation = makeAnimation();
    QString m_gif = m_dir.path(QStringLiteral("anim.gif"));
    std::vector<DisplayArray> m_frames;
};

TEST_F(AnimationConvert, BinaryHoldsTheFramesAskedForAndFrameOneIsTodaysArray)
{
    const Finished plain = convert({m_gif, QStringLiteral("-")});
    EXPECT_EQ(plain.out, joined(std::span(m_frames).first(1)));
    const Finished all = convert({QStringLiteral("--frames=all"), m_gif, QStringLiteral("-")});
    EXPECT_EQ(all.out, joined(m_frames)) << all.err.toStdString();
    const Finished part = convert({QStringLiteral("--frames=2-3"), m_gif, QStringLiteral("-")});
    EXPECT_EQ(part.out, joined(std::span(m_frames).subspan(1, 2)));
    const Finished past = convert({QStringLiteral("--frames=5"), m_gif, QStringLiteral("-")});
    EXPECT_EQ(past.status, 2);
    EXPECT_TRUE(past.err.startsWith("Error 4001")) << past.err.toStdString();
}

// The plain and the compressed header, compiled with the host's C++ compiler, give the
// frames, delays and play count back.
TEST_F(AnimationConvert, HeadersCompileAndHoldTheFrames)
{
    const QByteArray check = R"(#include "anim.h"
#include "anim.h"
#include <stdio.h>
int main()
{
    printf("%u %u", anim_frame_count, anim_play_count);
    for (unsigned i = 0; i < anim_frame_count; ++i) printf(" %u", anim_delay_ms[i]);
    printf("\n");
#if anim_COMPRESSED
    fwrite(anim_stream, 1, sizeof anim_stream, stdout);
#else
    fwrite(anim, 1, sizeof anim, stdout);
#endif
}
)";
    writeAll(m_dir.path(QStringLiteral("check.cpp")), check);
    for (const bool compressed : {false, true}) {
        QStringList arguments{QStringLiteral("--format=c"), QStringLiteral("--name=anim"),
                              QStringLiteral("--frames=all"), m_gif,
                              m_dir.path(QStringLiteral("anim.h"))};
        if (compressed) {
            arguments.prepend(QStringLiteral("--compress"));
        }
        ASSERT_EQ(convert(arguments).status, 0);
        const QString program = m_dir.path(QStringLiteral("check"));
        QProcess cxx;
        cxx.start(QStringLiteral(PIXELCAST_HOST_CXX),
                  {QStringLiteral("-Wall"), QStringLiteral("-Wextra"), QStringLiteral("-Werror"),
                   QStringLiteral("-I"), m_dir.root(), m_dir.path(QStringLiteral("check.cpp")),
                   QStringLiteral("-o"), program});
        ASSERT_TRUE(cxx.waitForFinished(60000));
        ASSERT_EQ(cxx.exitCode(), 0) << cxx.readAllStandardError().toStdString();
        QProcess run;
        run.start(program);
        ASSERT_TRUE(run.waitForFinished(10000));
        const QByteArray out = run.readAllStandardOutput();
        const qsizetype lineEnd = out.indexOf('\n');
        EXPECT_EQ(out.left(lineEnd), "4 0 50 100 300 120");
        const QByteArray data = out.mid(lineEnd + 1);
        if (compressed) {
            const auto stream = std::span(reinterpret_cast<const std::uint8_t*>(data.data()),
                                          static_cast<std::size_t>(data.size()));
            EXPECT_EQ(decompressFrames(stream, 4), m_frames);
        } else {
            EXPECT_EQ(data, joined(m_frames));
        }
    }
}

TEST_F(AnimationConvert, PreviewStacksTheFrames)
{
    const QString preview = m_dir.path(QStringLiteral("preview.png"));
    ASSERT_EQ(convert({QStringLiteral("--frames=all"), QStringLiteral("--preview"), preview, m_gif})
                  .status,
              0);
    const QImage image = QImage::fromData(readAll(preview), "PNG");
    ASSERT_EQ(image.size(), QSize(kSurfaceWidth, 4 * kSurfaceHeight));
    for (std::size_t f = 0; f < m_frames.size(); ++f) {
        for (int x = 0; x < kSurfaceWidth; ++x) {
            for (int y = 0; y < kSurfaceHeight; ++y) {
                const bool lit =
                    ((m_frames[f][DisplayArray::indexOf(x, y / 8)] >> (y % 8)) & 1U) != 0;
                ASSERT_EQ(image.pixel(x, static_cast<int>(f) * kSurfaceHeight + y) ==
                              qRgb(255, 255, 255),
                          lit)
                    << "frame " << f + 1 << " at " << x << "," << y;
            }
        }
    }
}

// Each frame starts on the line at least its predecessor's delay after that one ended.
TEST_F(AnimationConvert, PortSendsEachFrameAfterTheDelayOfTheOneBefore)
{
    test::PseudoTerminal line;
    QProcess process;
    process.start(
        QStringLiteral(PIXELCAST_CONVERT_PROGRAM),
        {QStringLiteral("--frames=1-3"), QStringLiteral("--port"), line.devicePath(), m_gif});
    // When each frame's first and last bytes came.
    std::vector<qint64> firstAt(3, -1);
    std::vector<qint64> lastAt(3, -1);
    QByteArray received;
    QElapsedTimer clock;
    clock.start();
    while (received.size() < 3 * 1024 && clock.elapsed() < 15000) {
        const qsizetype before = received.size();
        received += line.receiveAny(std::chrono::milliseconds(5));
        for (qsizetype f = 0; f < 3; ++f) {
            if (before <= f * 1024 && received.size() > f * 1024) {
                firstAt[static_cast<std::size_t>(f)] = clock.elapsed();
            }
            if (before < (f + 1) * 1024 && received.size() >= (f + 1) * 1024) {
                lastAt[static_cast<std::size_t>(f)] = clock.elapsed();
            }
        }
    }
    for (std::size_t f = 1; f < 3; ++f) {
        EXPECT_GE(firstAt[f] - lastAt[f - 1], m_animation.delaysMs[f - 1]) << "frame " << f + 1;
    }
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_EQ(received, joined(std::span(m_frames).first(3)));
}

// A small figure moving over a still background: every frame after the first costs a few
// tokens, and the stream gives the frames back.
TEST(FrameStream, MovingFigureCompressesFiveTimesAndDecodesBack)
{
    std::vector<DisplayArray> frames(12);
    for (std::size_t f = 0; f < frames.size(); ++f) {
        for (std::size_t i = 0; i < DisplayArray::kSize; ++i) {
            frames[f][i] = static_cast<std::uint8_t>((i * 37) % 7 == 0 ? 0x81 : 0);
        }
        for (int column = 0; column < 8; ++column) {
            frames[f][DisplayArray::indexOf(static_cast<int>(f) * 9 + column, 3)] = 0xFF;
        }
    }
    const std::vector<std::uint8_t> stream = compressFrames(frames);
    EXPECT_GE(frames.size() * DisplayArray::kSize, 5 * stream.size()) << stream.size();
    EXPECT_EQ(decompressFrames(stream, frames.size()), frames);
    EXPECT_THROW((void)decompressFrames(std::span(stream).first(stream.size() - 1), frames.size()),
                 std::invalid_argument);
}

} // namespace
} // namespace pixelcast::cli
