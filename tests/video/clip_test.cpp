// Video clips made here by ffmpeg from its testsrc pattern (64 x 32, a second or less): each
// container, delays from presentation times, --fps and --frames, damage, the files a clip
// must never lead to, and the frame cap.
#include "cli/converter.h"
#include "pipeline/conversion.h"
#include "pipeline/loaded_picture.h"
#include "support/run_program.h"
#include "support/test_files.h"
#include "video/clip_reader.h"

#include <QBuffer>

#include <gtest/gtest.h>
#include <vector>

namespace pixelcast {
namespace {

// ffmpeg's arguments for its test pattern at `rate` frames a second for `seconds`.
QStringList pattern(int rate = 10, int seconds = 1)
{
    return {"-loglevel",
            "error",
            "-y",
            "-f",
            "lavfi",
            "-i",
            QStringLiteral("testsrc=size=64x32:rate=%1:duration=%2").arg(rate).arg(seconds)};
}

// Frames at 0, 40, ..., 160, then 200, 320 and 440 ms.
const QStringList kVariableRate =
    pattern(25) + QStringList{"-vf",       "setpts='if(lt(N,5),N*0.04,0.2+(N-5)*0.12)/TB'",
                              "-fps_mode", "vfr",
                              "-frames:v", "8"};

// A clip made by ffmpeg with `options` (the pattern's first) into `dir`.
QString makeClip(const test::ScratchDir& dir, const QString& name,
                 const QStringList& options = pattern())
{
    const QString path = dir.path(name);
    const test::Finished made = test::runProgram(QStringLiteral(PIXELCAST_FFMPEG_PROGRAM),
                                                 options + QStringList{path}, 60000);
    EXPECT_EQ(made.status, 0) << made.err.toStdString();
    return path;
}

ConvertedPicture convertClip(const QString& path, FrameRange range, int fps = 0)
{
    ConversionSettings settings;
    settings.framesPerSecond = fps;
    return convertFile(path, settings, range);
}

std::vector<int> delaysOf(const ConvertedPicture& picture)
{
    std::vector<int> delays;
    for (const ConvertedFrame& frame : picture.frames) {
        delays.push_back(frame.delayMs);
    }
    return delays;
}

struct ContainerRow {
    const char* file;
    QStringList options;
    const char* format;
    std::vector<int> delays;
};

class ClipContainers : public testing::TestWithParam<ContainerRow> {};

TEST_P(ClipContainers, GiveEveryFrameAtItsPresentationTime)
{
    const test::ScratchDir dir;
    const QString clip = makeClip(dir, GetParam().file, GetParam().options);
    const ConvertedPicture picture = convertClip(clip, FrameRange{1, 0});
    EXPECT_EQ(picture.about.format, GetParam().format);
    EXPECT_EQ(delaysOf(picture), GetParam().delays);
    EXPECT_EQ(picture.damage, QString());
}

const std::vector<int> kTenFrames(10, 100);

INSTANTIATE_TEST_SUITE_P(
    Rows, ClipContainers,
    testing::Values(
        ContainerRow{"clip.mp4", pattern() + QStringList{"-pix_fmt", "yuv420p"}, "MP4", kTenFrames},
        ContainerRow{"clip.mov", pattern() + QStringList{"-c:v", "mjpeg"}, "MOV", kTenFrames},
        ContainerRow{"clip.mkv", pattern(), "MKV", kTenFrames},
        ContainerRow{"clip.webm", pattern() + QStringList{"-c:v", "libvpx"}, "WebM", kTenFrames},
        ContainerRow{"clip.avi", pattern(), "AVI", kTenFrames},
        ContainerRow{"with-audio.mp4",
                     pattern() +
                         QStringList{"-f", "lavfi", "-i", "sine=duration=1", "-pix_fmt", "yuv420p"},
                     "MP4", kTenFrames},
        // The last frame stays its own duration, one tick of the encoder's 25 a second.
        ContainerRow{
            "variable-rate.mkv", kVariableRate, "MKV", {40, 40, 40, 40, 40, 120, 120, 40}}));

struct ResampleRow {
    int fps;
    FrameRange range;
    std::vector<int> delays;
    // Each frame converted equals this frame (1-based) of the clip converted alone.
    std::vector<int> sourceFrames;
};

class ClipResampling : public testing::TestWithParam<ResampleRow> {};

TEST_P(ClipResampling, TakesTheFrameShowingAtEachStep)
{
    const test::ScratchDir dir;
    const QString clip = makeClip(dir, "variable-rate.mkv", kVariableRate);
    const ResampleRow& row = GetParam();
    const ConvertedPicture picture = convertClip(clip, row.range, row.fps);
    EXPECT_EQ(delaysOf(picture), row.delays);
    ASSERT_EQ(picture.frames.size(), row.sourceFrames.size());
    for (std::size_t i = 0; i < row.sourceFrames.size(); ++i) {
        const int source = row.sourceFrames[i];
        EXPECT_EQ(test::bytesOf(picture.frames[i].array),
                  test::bytesOf(convertClip(clip, FrameRange{source, source}).frames[0].array))
            << "frame " << i + 1;
    }
}

// The clip lasts 480 ms: at 5 a second its frames at 0, 200 and 400 ms show frames 1, 6 and 7.
INSTANTIATE_TEST_SUITE_P(Rows, ClipResampling,
                         testing::Values(ResampleRow{0, {2, 3}, {40, 40}, {2, 3}},
                                         ResampleRow{5, {1, 0}, {200, 200, 200}, {1, 6, 7}},
                                         ResampleRow{5, {2, 3}, {200, 200}, {6, 7}},
                                         ResampleRow{3, {1, 0}, {333, 334}, {1, 7}}));

TEST(ClipResamplingRange, PastTheResampledFramesIsRefused)
{
    const test::ScratchDir dir;
    const QString clip = makeClip(dir, "variable-rate.mkv", kVariableRate);
    EXPECT_THROW((void)convertClip(clip, FrameRange{4, 4}, 5), Error);
}

int runConverter(const QStringList& arguments, QByteArray& errors)
{
    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    const int status = cli::runConverter(QStringList{"pixelcast-convert"} + arguments, out, err);
    errors = err.data();
    return status;
}

struct DamageRow {
    QStringList clip; // its name, then ffmpeg's options
    bool garbled;     // 300 bytes in the middle overwritten; else cut at 60 %
    const char* warning;
};

class DamagedClip : public testing::TestWithParam<DamageRow> {};

// The frames that decode are converted with a warning naming the file; --strict refuses.
TEST_P(DamagedClip, WarnsOrUnderStrictIsRefused)
{
    const DamageRow& row = GetParam();
    const test::ScratchDir dir;
    const QString whole = makeClip(dir, row.clip.front(), pattern(10, 2) + row.clip.mid(1));
    QByteArray bytes = test::fileBytes(whole);
    if (row.garbled) {
        for (qsizetype i = 0; i < 300; ++i) {
            bytes[bytes.size() / 2 + i] = static_cast<char>(i * 37 + 11);
        }
    } else {
        bytes.truncate(bytes.size() * 6 / 10);
    }
    const QString damaged = dir.write("damaged-" + row.clip.front(), bytes);
    QByteArray errors;
    EXPECT_EQ(runConverter({"--frames=all", damaged, dir.path("out.bin")}, errors), 0);
    EXPECT_TRUE(errors.contains("Warning: the picture \"" + damaged.toUtf8() + "\" " + row.warning))
        << errors.toStdString();
    EXPECT_EQ(runConverter({"--strict", "--frames=all", damaged, dir.path("out.bin")}, errors), 4);
    EXPECT_TRUE(errors.startsWith("Error 1005: ")) << errors.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DamagedClip,
    testing::Values(DamageRow{{"clip.mkv"}, false, "ends early"},
                    DamageRow{{"clip.avi"}, false, "ends early"},
                    DamageRow{{"clip.mp4", "-movflags", "+faststart"}, false, "ends early"},
                    DamageRow{{"clip.mkv"}, true, "holds damaged data"}));

// A playlist, a concat list or a clip's box naming another file reads nothing but its own
// bytes: each names a clip that converts on its own, and is refused.
TEST(ClipReferences, NeverLeadToAnotherFileOrTheNetwork)
{
    const test::ScratchDir dir;
    const QString other =
        makeClip(dir, "other.mp4", pattern() + QStringList{"-pix_fmt", "yuv420p"});
    ASSERT_EQ(convertClip(other, FrameRange{1, 0}).frames.size(), 10U);
    const QByteArray concat = "ffconcat version 1.0\nfile '" + other.toUtf8() + "'\n";
    const QByteArray playlist =
        "#EXTM3U\n#EXTINF:1,\n" + other.toUtf8() + "\n#EXTINF:1,\nhttp://127.0.0.1:9/clip.mp4\n";
    struct Row {
        const char* name;
        QByteArray bytes;
        ErrorCode refusal;
    };
    for (const Row& row : {Row{"concat.mp4", concat, ErrorCode::NotAPicture},
                           Row{"playlist.mkv", playlist, ErrorCode::NotAPicture},
                           Row{"boxed-concat.mp4",
                               QByteArray("\0\0\0\x14"
                                          "ftypisom\0\0\0\0isom",
                                          20) +
                                   concat,
                               ErrorCode::PictureDamaged}}) {
        const QString path = dir.write(row.name, row.bytes);
        try {
            (void)convertClip(path, FrameRange{1, 0});
            ADD_FAILURE() << row.name << " was converted";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), row.refusal) << row.name << ": " << e.message().toStdString();
        }
    }
}

// kMaxFrames, lowered to the clip's length: one frame more is refused.
TEST(ClipFrameCap, RefusesAClipOfMoreFrames)
{
    const test::ScratchDir dir;
    const QByteArray bytes = test::fileBytes(makeClip(dir, "clip.mkv"));
    const video::ClipBytes read = [&](std::uint64_t at, std::span<std::uint8_t> into) {
        const QByteArray piece = bytes.mid(static_cast<qsizetype>(at), into.size());
        std::copy(piece.begin(), piece.end(), into.begin());
        return static_cast<std::size_t>(piece.size());
    };
    video::ClipRequest request;
    request.container = video::Container::Matroska;
    request.size = static_cast<std::uint64_t>(bytes.size());
    request.shown = [](const video::ClipFrame&) {
    };
    request.maxFrames = 10;
    EXPECT_EQ(video::readClip(read, request).frames, 10);
    request.maxFrames = 9;
    try {
        (void)video::readClip(read, request);
        ADD_FAILURE() << "a clip of 10 frames was read under a cap of 9";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::PictureTooLarge);
    }
}

// The window's load: the still, then the frames waiting from the same pass, each as the
// converter gives it.
TEST(ClipInTheWindow, PlaysTheConvertersFrames)
{
    const test::ScratchDir dir;
    const QString clip = makeClip(dir, "clip.webm", pattern() + QStringList{"-c:v", "libvpx"});
    LoadedPicture picture = LoadedPicture::readFile(clip);
    Surface source;
    (void)picture.loadStill({}, DisplaySize{}, source);
    picture.decodeFrames();
    const ConvertedPicture converted = convertClip(clip, FrameRange{1, 0});
    ASSERT_EQ(picture.frameCount(), converted.frames.size());
    for (std::size_t i = 0; i < picture.frameCount(); ++i) {
        EXPECT_EQ(picture.delayMs(i), converted.frames[i].delayMs);
        EXPECT_EQ(test::bytesOf(picture.convert(i, {}).array),
                  test::bytesOf(converted.frames[i].array))
            << "frame " << i + 1;
    }
}

} // namespace
} // namespace pixelcast
