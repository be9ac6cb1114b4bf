// The converter on an animated GIF written here with giflib: --frames in every output form
// (arrays one after another, the header plain and compressed, the stacked preview, the
// port), each frame equal to that frame's picture converted alone.
#include "cli/converter.h"
#include "output/frame_stream.h"
#include "pipeline/conversion.h"
#include "support/gif_writer.h"
#include "support/pseudo_terminal.h"
#include "support/run_program.h"
#include "support/test_files.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>
#include <vector>

namespace pixelcast::cli {
namespace {

using test::GifFrameLayout;

constexpr int kWidth = 32;
constexpr int kHeight = 16;
const std::vector<int> kDelaysMs{50, 100, 300, 120}; // of 5, 0, 30 and 12 hundredths

using test::Finished;

constexpr int kProcessTimeoutMs = 60000;

Finished run(const QString& program, const QStringList& arguments)
{
    return test::runProgram(program, arguments, kProcessTimeoutMs);
}

Finished convert(const QStringList& arguments)
{
    return run(QStringLiteral(PIXELCAST_CONVERT_PROGRAM), arguments);
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

// Frame `step`: a white square, moved along at each step, over a striped background.
GifFrameLayout frame(int step)
{
    GifFrameLayout f = test::solidFrame(0, 0, kWidth, kHeight, 0);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool square = x >= 4 + 7 * step && x < 10 + 7 * step && y >= 6 && y < 12;
            f.indices[static_cast<std::size_t>(y * kWidth + x)] = square || y < 2 ? 4 : 0;
        }
    }
    f.delayCs = std::vector<int>{5, 0, 30, 12}[static_cast<std::size_t>(step)];
    return f;
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
        test::AnimatedGifLayout layout;
        layout.screenWidth = kWidth;
        layout.screenHeight = kHeight;
        layout.loopCount = 0;
        for (int step = 0; step < 4; ++step) {
            test::AnimatedGifLayout single = layout;
            single.frames = {frame(step)};
            writeAll(m_dir.path(QStringLiteral("single.gif")), test::writeAnimatedGif(single));
            m_frames.push_back(
                convertFile(m_dir.path(QStringLiteral("single.gif")), {}).frames.front().array);
            layout.frames.push_back(frame(step));
        }
        writeAll(m_gif, test::writeAnimatedGif(layout));
    }
    test::ScratchDir m_dir;
    QString m_gif = m_dir.path(QStringLiteral("anim.gif"));
    std::vector<DisplayArray> m_frames;
};

TEST_F(AnimationConvert, BinaryHoldsTheFramesAskedForAndFrameOneIsTodaysArray)
{
    EXPECT_EQ(convert({m_gif, QStringLiteral("-")}).out, joined(std::span(m_frames).first(1)));
    EXPECT_EQ(convert({QStringLiteral("--frames=all"), m_gif, QStringLiteral("-")}).out,
              joined(m_frames));
    EXPECT_EQ(convert({QStringLiteral("--frames=2-3"), m_gif, QStringLiteral("-")}).out,
              joined(std::span(m_frames).subspan(1, 2)));
    const Finished past = convert({QStringLiteral("--frames=5"), m_gif, QStringLiteral("-")});
    EXPECT_EQ(past.status, 2);
    EXPECT_TRUE(past.err.startsWith("Error 4001")) << past.err.toStdString();
}

// Both forms of the header, compiled with the host's C++ compiler, give the frames, delays
// and play count back; the stream is at least five times smaller than the arrays.
TEST_F(AnimationConvert, HeadersCompileAndHoldTheFrames)
{
    writeAll(m_dir.path(QStringLiteral("check.cpp")), R"(#include "anim.h"
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
})");
    for (const bool compressed : {false, true}) {
        QStringList arguments{QStringLiteral("--format=c"), QStringLiteral("--name=anim"),
                              QStringLiteral("--frames=all"), m_gif,
                              m_dir.path(QStringLiteral("anim.h"))};
        if (compressed) {
            arguments.prepend(QStringLiteral("--compress"));
        }
        ASSERT_EQ(convert(arguments).status, 0);
        const QString program = m_dir.path(QStringLiteral("check"));
        const Finished built =
            run(QStringLiteral(PIXELCAST_HOST_CXX),
                {QStringLiteral("-Wall"), QStringLiteral("-Wextra"), QStringLiteral("-Werror"),
                 m_dir.path(QStringLiteral("check.cpp")), QStringLiteral("-o"), program});
        ASSERT_EQ(built.status, 0) << built.err.toStdString();
        const QByteArray out = run(program, {}).out;
        const qsizetype lineEnd = out.indexOf('\n');
        EXPECT_EQ(out.left(lineEnd), "4 0 50 100 300 120");
        const QByteArray data = out.mid(lineEnd + 1);
        if (compressed) {
            EXPECT_EQ(decompressFrames({reinterpret_cast<const std::uint8_t*>(data.data()),
                                        static_cast<std::size_t>(data.size())},
                                       4),
                      m_frames);
            EXPECT_LE(5 * data.size(), 4 * 1024);
        } else {
            EXPECT_EQ(data, joined(m_frames));
        }
    }
}

// The comment names the options that differ from the defaults and a frame or range of
// frames other than frame 1 or all, as the window's header does; defaults add nothing.
TEST_F(AnimationConvert, HeaderCommentNamesTheOptionsAndTheFramesChosen)
{
    const std::pair<QStringList, QByteArray> rows[] = {
        {{}, "// Made by pixelcast-convert from \"anim.gif\" at level 127.\n"},
        {{QStringLiteral("--frames=all")},
         "// Made by pixelcast-convert from \"anim.gif\" at level 127.\n"},
        {{QStringLiteral("--frames=2"), QStringLiteral("--dither=atkinson"),
          QStringLiteral("--size=16x16")},
         "// Made by pixelcast-convert from \"anim.gif\" at level 127 with --frames 2 --dither "
         "atkinson --size 16x16.\n"},
        {{QStringLiteral("--frames=2-3"), QStringLiteral("--layout=rows")},
         "// Made by pixelcast-convert from \"anim.gif\" at level 127 with --frames 2-3 --layout "
         "rows.\n"},
    };
    for (const auto& [options, comment] : rows) {
        const Finished done = convert(
            options + QStringList{QStringLiteral("--format=c"), m_gif, QStringLiteral("-")});
        EXPECT_EQ(done.status, 0) << done.err.toStdString();
        EXPECT_EQ(done.out.left(done.out.indexOf('\n') + 1), comment);
    }
}

// 40 frames of 1024 bytes cannot fit an Uno's 32256 bytes of flash as they are, 4 can: the
// plain header is written either way, with a warning naming --compress for the first.
TEST_F(AnimationConvert, WarnsWhenThePlainHeaderCannotFitAnUno)
{
    for (const auto& [frames, option, warned] : {std::tuple{4, "--level=127", false},
                                                 {40, "--level=127", true},
                                                 {40, "--compress", false}}) {
        test::AnimatedGifLayout layout{kWidth, kHeight, {}, 0, -1, {}};
        for (int step = 0; step < frames; ++step) {
            layout.frames.push_back(frame(step % 4));
        }
        writeAll(m_gif, test::writeAnimatedGif(layout));
        const Finished done = convert({QStringLiteral("--format=c"), QStringLiteral("--frames=all"),
                                       QString::fromLatin1(option), m_gif, QStringLiteral("-")});
        EXPECT_EQ(done.status, 0) << frames;
        EXPECT_EQ(done.err.startsWith("Warning: ") && done.err.contains("--compress"), warned)
            << done.err.toStdString();
    }
}

TEST_F(AnimationConvert, PreviewStacksTheFrames)
{
    const QString preview = m_dir.path(QStringLiteral("preview.png"));
    ASSERT_EQ(convert({QStringLiteral("--frames=all"), QStringLiteral("--preview"), preview, m_gif})
                  .status,
              0);
    const QImage image(preview);
    ASSERT_EQ(image.size(), QSize(kDisplayWidth, 4 * kDisplayHeight));
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < kDisplayWidth; ++x) {
            const DisplayArray& array = m_frames[static_cast<std::size_t>(y / kDisplayHeight)];
            const int row = y % kDisplayHeight;
            ASSERT_EQ(image.pixel(x, y) == qRgb(255, 255, 255),
                      ((array[verticalIndex(x, row / 8)] >> (row % 8)) & 1U) != 0)
                << x << "," << y;
        }
    }
}

// Each frame starts on the line at least its predecessor's delay after that one ended.
TEST_F(AnimationConvert, PortSendsEachFrameAfterTheDelayOfTheOneBefore)
{
    test::PseudoTerminal line;
    QProcess process;
    process.start(QStringLiteral(PIXELCAST_CONVERT_PROGRAM),
                  {QStringLiteral("--frames=1-3"), QStringLiteral("--port"), line.devicePath(),
                   QStringLiteral("--boot-wait=0"), m_gif});
    std::vector<qint64> firstAt(3, -1); // when each frame's first and last bytes came
    std::vector<qint64> lastAt(3, -1);
    QByteArray received;
    QElapsedTimer clock;
    clock.start();
    while (received.size() < 3 * 1024 && clock.elapsed() < 15000) {
        const qsizetype before = received.size();
        received += line.receiveAny(std::chrono::milliseconds(5));
        for (std::size_t f = 0; f < 3; ++f) {
            const auto start = static_cast<qsizetype>(f * 1024);
            if (before <= start && received.size() > start) {
                firstAt[f] = clock.elapsed();
            }
            if (before < start + 1024 && received.size() >= start + 1024) {
                lastAt[f] = clock.elapsed();
            }
        }
    }
    for (std::size_t f = 1; f < 3; ++f) {
        EXPECT_GE(firstAt[f] - lastAt[f - 1], kDelaysMs[f - 1]) << "frame " << f + 1;
    }
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_EQ(received, joined(std::span(m_frames).first(3)));
}

} // namespace
} // namespace pixelcast::cli
