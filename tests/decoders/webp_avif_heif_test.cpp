// WebP, AVIF and HEIF pictures written here by Debian's encoders, read through the format
// table as the loader reads them: alpha, turning and mirroring, animation delays and
// composition, files cut short, and sizes over the limits.
#include "decoders/picture_formats.h"
#include "decoders/picture_loader.h"
#include "support/decoded_picture.h"
#include "support/encoded_picture.h"
#include "support/pattern_image.h"
#include "support/test_files.h"

#include <QtEndian>

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace pixelcast {
namespace {

using test::asBytes;
using test::encodedWith;
using test::fileBytes;
using test::ScratchDir;

const QString kIn = QStringLiteral("{in}");
const QString kOut = QStringLiteral("{out}");

// Quadrants red, green / blue, transparent: turning or mirroring moves each one.
QImage quadrants(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool bottom = y >= height / 2;
            image.setPixel(x, y,
                           !bottom ? (right ? 0xFF00FF00U : 0xFFFF0000U)
                                   : (right ? 0x00000000U : 0xFF0000FFU));
        }
    }
    return image;
}

QImage filled(int side, QRgb colour, bool rightHalfClear = false)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(colour);
    for (int y = 0; rightHalfClear && y < side; ++y) {
        for (int x = side / 2; x < side; ++x) {
            image.setPixel(x, y, 0);
        }
    }
    return image;
}

// A letter per colour within `tolerance`: r, g, b, k (black), '.' (alpha under 32), '?'.
char letterOf(Argb p, int tolerance)
{
    const auto near = [&](Argb want) {
        const auto off = [](unsigned a, unsigned b) {
            return std::abs(int(a) - int(b));
        };
        return std::max({off(argbRed(p), argbRed(want)), off(argbGreen(p), argbGreen(want)),
                         off(argbBlue(p), argbBlue(want))}) <= tolerance;
    };
    return alphaOf(p) < 32   ? '.'
           : near(0xFF0000U) ? 'r'
           : near(0x00FF00U) ? 'g'
           : near(0x0000FFU) ? 'b'
           : near(0U)        ? 'k'
                             : '?';
}

// The picture sampled at the middle of each cell of a `cells` x `cells` grid, rows split
// by '/'.
std::string sampled(const Argb* pixels, int width, int height, int cells, int tolerance)
{
    std::string text;
    for (int cy = 0; cy < cells; ++cy) {
        text += cy > 0 ? "/" : "";
        for (int cx = 0; cx < cells; ++cx) {
            const int x = (2 * cx + 1) * width / (2 * cells);
            const int y = (2 * cy + 1) * height / (2 * cells);
            text += letterOf(pixels[y * width + x], tolerance);
        }
    }
    return text;
}

// --- Stills ------------------------------------------------------------------------------

struct StillRow {
    const char* name;
    QStringList command; // the encoder and its arguments
    const char* format;
    bool turned;           // a quarter turn: 16 x 24 instead of 24 x 16
    std::string quadrants; // TL TR / BL BR
    int tolerance;
};

void PrintTo(const StillRow& row, std::ostream* os)
{
    *os << row.name;
}

class Still : public testing::TestWithParam<StillRow> {};

TEST_P(Still, ReadsColoursAlphaAndOrientation)
{
    const StillRow& row = GetParam();
    const ScratchDir dir;
    const QString file = QStringLiteral("a.") + (row.format == std::string("HEIF")
                                                     ? QStringLiteral("heic")
                                                     : QString::fromLatin1(row.format).toLower());
    const QByteArray bytes = fileBytes(
        encodedWith(dir, {quadrants(24, 16)}, row.command.front(), row.command.mid(1), file));
    const RasterFormat* format = rasterFormatOf(bytes);
    ASSERT_NE(format, nullptr);
    EXPECT_STREQ(format->name, row.format);
    test::CollectingSink sink;
    format->decode(asBytes(bytes), sink, {});
    const test::DecodedPicture& picture = sink.picture();
    EXPECT_TRUE(sink.orderKept());
    ASSERT_EQ(picture.width, row.turned ? 16 : 24);
    ASSERT_EQ(picture.height, row.turned ? 24 : 16);
    EXPECT_EQ(sampled(picture.pixels.data(), picture.width, picture.height, 2, row.tolerance),
              row.quadrants);
    EXPECT_EQ(picture.damage, Damage::None);
}

QStringList avifenc(const QStringList& options)
{
    return QStringList{"avifenc", "-l", "-s", "10"} + options + QStringList{kIn, kOut};
}

// irot counts quarter turns anticlockwise; imir 0 swaps top and bottom, 1 left and right;
// the turn comes first.
INSTANTIATE_TEST_SUITE_P(
    WebpAvifHeif, Still,
    testing::Values(
        StillRow{"webp_lossy_alpha",
                 {"cwebp", "-quiet", "-q", "90", kIn, "-o", kOut},
                 "WebP",
                 false,
                 "rg/b.",
                 40},
        StillRow{"webp_lossless_alpha",
                 {"cwebp", "-quiet", "-lossless", kIn, "-o", kOut},
                 "WebP",
                 false,
                 "rg/b.",
                 0},
        StillRow{"avif_alpha", avifenc({}), "AVIF", false, "rg/b.", 0},
        StillRow{"avif_turned", avifenc({"--irot", "1"}), "AVIF", true, "g./rb", 0},
        StillRow{"avif_turned_twice", avifenc({"--irot", "2"}), "AVIF", false, ".b/gr", 0},
        StillRow{"avif_mirrored", avifenc({"--imir", "1"}), "AVIF", false, "gr/.b", 0},
        StillRow{"avif_turned_and_mirrored", avifenc({"--irot", "3", "--imir", "0"}), "AVIF", true,
                 ".g/br", 0},
        StillRow{
            "heic_alpha", {"heif-enc", "-q", "90", kIn, "-o", kOut}, "HEIF", false, "rg/b.", 40}));

// --- Frames --------------------------------------------------------------------------------

struct FramesRow {
    const char* name;
    // Commands run in turn, each writing the file after it; the last one's is read.
    std::vector<std::pair<QStringList, QString>> commands;
    std::vector<QImage> sources;
    std::vector<std::string> canvases; // sampled 4 x 4
    std::vector<int> delays;
    int plays;
};

void PrintTo(const FramesRow& row, std::ostream* os)
{
    *os << row.name;
}

class Frames : public testing::TestWithParam<FramesRow> {};

TEST_P(Frames, AreComposedAndTimedAsBrowsersPlayThem)
{
    const FramesRow& row = GetParam();
    const ScratchDir dir;
    QString last;
    for (const auto& [command, out] : row.commands) {
        last = encodedWith(dir, row.sources, command.front(), command.mid(1), out);
    }
    const QByteArray bytes = fileBytes(last);
    std::vector<std::string> canvases;
    std::vector<int> delays;
    test::CollectingSink still;
    const AnimationInfo info =
        rasterFormatOf(bytes)->frames(asBytes(bytes), still, -1, [&](const FrameCanvas& canvas) {
            canvases.push_back(sampled(canvas.pixels, canvas.width, canvas.height, 4, 40));
            delays.push_back(canvas.delayMs);
        });
    EXPECT_EQ(canvases, row.canvases);
    EXPECT_EQ(delays, row.delays);
    EXPECT_EQ(info.frames, static_cast<int>(row.canvases.size()));
    EXPECT_EQ(info.plays, row.plays);
    EXPECT_FALSE(info.endedEarly);
    EXPECT_EQ(sampled(still.picture().pixels.data(), still.picture().width, still.picture().height,
                      4, 40),
              row.canvases.front());
}

QStringList lossless(const char* in, const char* out)
{
    return {QStringLiteral("cwebp"), QStringLiteral("-quiet"), QStringLiteral("-lossless"),
            QString::fromLatin1(in), QStringLiteral("-o"),     QString::fromLatin1(out)};
}

INSTANTIATE_TEST_SUITE_P(
    WebpAvif, Frames,
    testing::Values(
        // A red canvas; a frame at (4, 4) whose left half is green and right half clear,
        // blended, then cleared to transparent; a blue frame at (8, 8) over the hole.
        FramesRow{
            "webp_blend_and_dispose",
            {{lossless("{in1}", "{out}"), "1.webp"},
             {lossless("{in2}", "{out}"), "2.webp"},
             {lossless("{in3}", "{out}"), "3.webp"},
             {{"webpmux", "-frame", "{dir}/1.webp", "+100", "-frame", "{dir}/2.webp",
               "+200+4+4+1+b", "-frame", "{dir}/3.webp", "+5+8+8", "-loop", "2", "-o", "{out}"},
              "anim.webp"}},
            {filled(16, 0xFFFF0000U), filled(8, 0xFF00FF00U, true), filled(8, 0xFF0000FFU)},
            {"rrrr/rrrr/rrrr/rrrr", "rrrr/rgrr/rgrr/rrrr", "rrrr/r..r/r.bb/rrbb"},
            {100, 200, kShortDelayMs},
            2},
        FramesRow{"avif_sequence",
                  {{{"avifenc", "-s", "10", "--timescale", "1000", "--duration", "250", "{in1}",
                     "--duration", "15", "{in2}", "{out}"},
                    "seq.avifs"}},
                  {quadrants(16, 16), filled(16, 0xFFFF0000U, true)},
                  {"rrgg/rrgg/bb../bb..", "rr../rr../rr../rr.."},
                  {250, 20},
                  0}));

// --- Damage and limits -----------------------------------------------------------------

// How each encoder is run on three frames (the stills take the first), and its file.
const std::map<std::string, std::pair<QStringList, QString>> kEncoders{
    {"webp", {{"cwebp", "-quiet", "-q", "80", "{in1}", "-o", kOut}, "a.webp"}},
    {"webp-lossless", {{"cwebp", "-quiet", "-lossless", "{in1}", "-o", kOut}, "a.webp"}},
    {"img2webp", {{"img2webp", "-lossless", kIn, "-o", kOut}, "a.webp"}},
    {"avif", {{"avifenc", "-s", "10", "{in1}", kOut}, "a.avif"}},
    {"avifs", {{"avifenc", "-s", "10", kIn, kOut}, "a.avifs"}},
    {"heic", {{"heif-enc", "{in1}", "-o", kOut}, "a.heic"}},
};

// The declared size made larger than the limits: a lossless WebP's 14-bit sides set to
// 16384, or the first ispe property (HEIF, AVIF) set to 10000 x 10000.
QByteArray declaredHuge(QByteArray bytes)
{
    if (const qsizetype at = bytes.indexOf("VP8L"); at >= 0) {
        qToLittleEndian(qFromLittleEndian<quint32>(bytes.constData() + at + 9) | 0x0FFFFFFFU,
                        bytes.data() + at + 9);
        return bytes;
    }
    const qsizetype at = bytes.indexOf("ispe") + 8;
    qToBigEndian(quint32{10000}, bytes.data() + at);
    qToBigEndian(quint32{10000}, bytes.data() + at + 4);
    return bytes;
}

struct DamageRow {
    const char* name;
    std::string encoder;
    int keepPercent; // 0: the declared size made too large instead
    // Rows missing at least (a still) or frames before the end (an animation), or the error.
    int missingOrFrames;
    int error;
};

void PrintTo(const DamageRow& row, std::ostream* os)
{
    *os << row.name;
}

class Damaged : public testing::TestWithParam<DamageRow> {};

TEST_P(Damaged, ShowsWhatArrivedOrIsRefusedWithItsNumber)
{
    const DamageRow& row = GetParam();
    const ScratchDir dir;
    // The last frame is noise, the most of an animation's bytes, so that a cut falls in it.
    const QImage frame = test::patternImage(96, 64);
    QImage noise(96, 64, QImage::Format_RGB32);
    std::minstd_rand random(7);
    for (int i = 0; i < 96 * 64; ++i) {
        noise.setPixel(i % 96, i / 96, static_cast<QRgb>(random()) | 0xFF000000U);
    }
    const auto& [command, file] = kEncoders.at(row.encoder);
    QByteArray bytes = fileBytes(
        encodedWith(dir, {frame, frame.mirrored(), noise}, command.front(), command.mid(1), file));
    bytes = row.keepPercent == 0 ? declaredHuge(bytes)
                                 : bytes.left(bytes.size() * row.keepPercent / 100);
    try {
        if (row.encoder == "img2webp" || row.encoder == "avifs") {
            const AnimationInfo info = decodeAnimation(bytes, 0, -1, [](const FrameCanvas&) {});
            EXPECT_TRUE(info.endedEarly);
            EXPECT_EQ(info.frames, row.missingOrFrames);
        } else {
            LoadResult about;
            (void)decodePicture(bytes, kFaceColour, {}, &about);
            EXPECT_EQ(about.damage, Damage::RowsMissing);
            EXPECT_GE(about.missingRows, row.missingOrFrames);
            EXPECT_LT(about.missingRows, 64);
        }
        EXPECT_EQ(row.error, 0);
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), row.error) << e.message().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    WebpAvifHeif, Damaged,
    testing::Values(DamageRow{"webp_lossy_cut", "webp", 60, 8, 0},
                    DamageRow{"webp_lossless_cut", "webp-lossless", 60, 8, 0},
                    DamageRow{"webp_animation_cut_in_its_last_frame", "img2webp", 75, 2, 0},
                    DamageRow{"avif_sequence_cut_in_its_last_picture", "avifs", 75, 2, 0},
                    DamageRow{"avif_cut", "avif", 80, 0, 1005},
                    DamageRow{"heic_cut", "heic", 80, 0, 1005},
                    DamageRow{"webp_too_large", "webp-lossless", 0, 0, 1004},
                    DamageRow{"avif_too_large", "avif", 0, 0, 1004},
                    DamageRow{"heic_too_large", "heic", 0, 0, 1004}));

// An AVIF whose major brand is the general mif1 is still an AVIF, not taken for a HEIF.
TEST(WebpAvifHeifBrands, AnAvifUnderAGeneralBrandIsReadAsAvif)
{
    const ScratchDir dir;
    const auto& [command, file] = kEncoders.at("avif");
    QByteArray bytes =
        fileBytes(encodedWith(dir, {quadrants(8, 8)}, command.front(), command.mid(1), file));
    bytes.replace(8, 4, "mif1");
    LoadResult about;
    (void)decodePicture(bytes, kFaceColour, {}, &about);
    EXPECT_EQ(about.format, QStringLiteral("AVIF"));
    EXPECT_EQ(about.width, 8);
}

// Files the fuzz target found: each refused as too large before its pixels are taken.
TEST(HostileWebpAvifHeif, HeifClaimingMoreThanItDeclaresIsRefused)
{
    for (const char* name : {"fuzz-heif-box-claiming-too-much-memory.heic",
                             "fuzz-heif-grid-larger-than-its-picture.heic"}) {
        try {
            (void)decodePicture(fileBytes(test::dataFile(QString::fromLatin1(name))), kFaceColour);
            ADD_FAILURE() << name << " decoded";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), 1004) << name << ": " << e.message().toStdString();
        }
    }
}

} // namespace
} // namespace pixelcast
