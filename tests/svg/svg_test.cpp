// SVG and SVGZ pictures through the loader and the pixelcast-svg helper built beside the
// programs: drawn for the box they are shown in, transparent parts on the background,
// nothing outside the file read, hostile documents met by numbered errors, damage told.
#include "decoders/picture_loader.h"
#include "errors/error.h"
#include "pipeline/loaded_picture.h"
#include "pixels/render_options.h"
#include "support/expect_surface.h"
#include "support/run_program.h"
#include "support/test_files.h"
#include "svg/svg.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <string_view>
#include <tuple>
#include <vector>
#include <zlib.h>

namespace pixelcast {
namespace {

using test::ScratchDir;

class HelperFromTheBuild : public testing::Environment {
public:
    void SetUp() override { qputenv("PIXELCAST_SVG_HELPER", PIXELCAST_TEST_SVG_HELPER); }
};
[[maybe_unused]] testing::Environment* const kHelperFromTheBuild =
    testing::AddGlobalTestEnvironment(new HelperFromTheBuild);

QByteArray svg(const QByteArray& size, const QByteArray& body)
{
    return "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' " +
           size + ">" + body + "</svg>";
}

QByteArray gzipped(const QByteArray& bytes)
{
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY), Z_OK);
    QByteArray out(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(bytes.size()))),
                   '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.truncate(static_cast<qsizetype>(stream.total_out));
    deflateEnd(&stream);
    return out;
}

// The number of the error `run` throws, 0 when it throws none.
template <typename Run> int errorOf(const Run& run)
{
    try {
        run();
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

// Nine levels of ten references each to the level before (`level(n)` the n-th, `reference(n)`
// one reference to it): a billion of the first.
QByteArray billion(const std::function<QByteArray(int, const QByteArray&)>& level,
                   const std::function<QByteArray(int)>& reference)
{
    QByteArray levels = level(0, "");
    for (int n = 1; n < 10; ++n) {
        levels += level(n, reference(n - 1).repeated(10));
    }
    return levels;
}

Surface drawnOnto(const QByteArray& bytes, const RenderOptions& options, int width = 128,
                  int height = 64, LoadResult* about = nullptr)
{
    Surface target(width, height, kFaceColour);
    const LoadResult found = decodePictureOnto(bytes, target, transparencyColour(options), options);
    if (about != nullptr) {
        *about = found;
    }
    return target;
}

// A one-unit line across a 128 x 64 viewBox in a document whose own size is 16 x 8: drawn at
// its own size and stretched it would be a faint band four pixels wide.
const QByteArray kThinLine = svg("width='16' height='8' viewBox='0 0 128 64'",
                                 "<rect x='0' y='32' width='128' height='1'/>");

TEST(SvgPicture, IsDrawnCrispForTheBoxItIsShownIn)
{
    RenderOptions keep;
    keep.keepAspect = true;
    RenderOptions turned;
    turned.rotation = Rotation::Quarter;
    // Black on the rows (or, turned, the columns) from `first` to `last`, panel grey elsewhere.
    const auto black = [](int first, int last, bool columns = false) {
        return [=](int x, int y) {
            const int at = columns ? x : y;
            return at >= first && at <= last ? kBlack : kFaceColour;
        };
    };
    // The 2:1 document on a square display keeps its proportions: rows 32-95, black bars
    // above and below, the line at 32 + 32.
    const auto kept = [&black](int x, int y) {
        return y < 32 || y >= 96 ? kBlack : black(64, 64)(x, y);
    };
    const std::vector<
        std::tuple<const char*, RenderOptions, QSize, std::function<ColorRef(int, int)>>>
        rows{{"the display's size", {}, {128, 64}, black(32, 32)},
             {"another display size", {}, {256, 128}, black(64, 65)},
             {"turned a quarter clockwise", turned, {64, 128}, black(31, 31, true)},
             {"its proportions kept", keep, {128, 128}, kept}};
    for (const auto& [name, options, size, expected] : rows) {
        EXPECT_TRUE(test::surfaceMatches(drawnOnto(kThinLine, options, size.width(), size.height()),
                                         expected))
            << name;
    }
}

TEST(SvgPicture, TransparentPartsShowTheBackgroundAndSvgzDrawsAsSvg)
{
    const QByteArray document =
        svg("width='20' height='10'", "<rect width='10' height='10' fill='#ff0000'/>");
    for (const Background background : {Background::Panel, Background::White, Background::Black}) {
        RenderOptions options;
        options.background = background;
        LoadResult about;
        const Surface plain = drawnOnto(document, options, 128, 64, &about);
        EXPECT_TRUE(test::surfaceMatches(plain, [&](int x, int) {
            return x < 64 ? rgb(255, 0, 0) : transparencyColour(options);
        }));
        EXPECT_EQ(about.format, "SVG");
        EXPECT_EQ(about.width, 20);
        EXPECT_EQ(about.height, 10);
        EXPECT_TRUE(
            test::sameSurface(drawnOnto(gzipped(document), options, 128, 64, &about), plain));
        EXPECT_EQ(about.format, "SVGZ");
    }
}

TEST(SvgPicture, IsRecognisedByItsRootElementAfterItsPrologue)
{
    const QByteArray body = "<svg xmlns='http://www.w3.org/2000/svg' width='4' height='4'/>";
    const std::vector<std::pair<QByteArray, bool>> rows{
        {"\xEF\xBB\xBF<?xml version='1.0'?>\n<!-- a > comment -->\n"
         "<!DOCTYPE svg [ <!ENTITY a '>'> ]>\n" +
             body,
         true},
        {"<svg:svg xmlns:svg='http://www.w3.org/2000/svg' width='4' height='4'/>", true},
        {gzipped(body), true},
        {"<?xml version='1.0'?><html><svg/></html>", false},
        {"<svgfoo/>", false},
        {gzipped("<html/>"), false},
    };
    for (const auto& [bytes, isSvg] : rows) {
        EXPECT_EQ(looksLikeSvg(bytes), isSvg) << bytes.left(60).toStdString();
    }
    try {
        (void)decodePicture("<?xml version='1.0'?><html/>", kFaceColour);
        ADD_FAILURE() << "an XML document not SVG was read";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::NotAPicture);
        EXPECT_EQ(e.description(),
                  "The file is not a GIF, JPEG, PNG, BMP, WMF, ICO, CUR, WebP, AVIF, HEIF or SVG "
                  "picture, nor an MP4, MOV, MKV, WebM or AVI video clip.");
    }
}

// Each document refers to a real black picture or text beside it; none of it may show. The
// same picture inside the document (a data: address) shows.
TEST(SvgPicture, NothingOutsideTheFileIsRead)
{
    const ScratchDir dir;
    QImage black(8, 8, QImage::Format_RGB32);
    black.fill(Qt::black);
    ASSERT_TRUE(black.save(dir.path(QStringLiteral("black.png"))));
    const QByteArray png = QUrl::fromLocalFile(dir.path(QStringLiteral("black.png"))).toEncoded();
    const QByteArray page =
        QUrl::fromLocalFile(
            dir.write(QStringLiteral("black.svg"), svg("", "<rect width='100%' height='100%'/>")))
            .toEncoded();
    const QByteArray text =
        QUrl::fromLocalFile(dir.write(QStringLiteral("text.txt"), QByteArray(40, '#'))).toEncoded();
    const QByteArray size = "width='40' height='20'";
    const QByteArray xi = " xmlns:xi='http://www.w3.org/2001/XInclude'";
    const QByteArray inside = "data:image/png;base64," +
                              test::fileBytes(dir.path(QStringLiteral("black.png"))).toBase64();
    const std::vector<std::pair<const char*, QByteArray>> rows{
        {"image inside", svg(size, "<image width='40' height='20' href='" + inside +
                                       "' "
                                       "preserveAspectRatio='none'/>")},
        {"image by file address", svg(size, "<image width='40' height='20' href='" + png + "'/>")},
        {"image by path", svg(size, "<image width='40' height='20' xlink:href='" +
                                        dir.path(QStringLiteral("black.png")).toUtf8() + "'/>")},
        {"image beside the file", svg(size, "<image width='40' height='20' href='black.png'/>")},
        {"use of another file", svg(size, "<use href='" + page + "#r'/>")},
        {"xi:include of a picture", svg(size + xi, "<xi:include href='" + page + "'/>")},
        {"xi:include of text", svg(size + xi, "<text y='20' font-size='40'><xi:include href='" +
                                                  text + "' parse='text'/></text>")},
        {"external entity", "<!DOCTYPE svg [<!ENTITY t SYSTEM '" + text + "'>]>" +
                                svg(size, "<text y='20' font-size='40'>&t;</text>")},
        {"external DTD", "<!DOCTYPE svg SYSTEM '" + text + "'>" + svg(size, "")},
    };
    RenderOptions white;
    white.background = Background::White;
    for (const auto& [name, document] : rows) {
        const QString file = dir.write(QStringLiteral("refers.svg"), document);
        Surface scaled(128, 64, kFaceColour);
        const ColorRef shown = std::string_view(name) == "image inside" ? kBlack : kWhite;
        const int error = errorOf([&] { (void)loadScaled(file, scaled, kWhite, white); });
        EXPECT_TRUE(error == 0 ? test::surfaceMatches(scaled, [&](int, int) { return shown; })
                               : testing::AssertionResult(error == 1010 && shown == kWhite))
            << name << ": " << error;
    }
}

TEST(SvgPicture, HostileDocumentsGiveNumberedErrorsInTime)
{
    QByteArray deep = "<svg xmlns='http://www.w3.org/2000/svg' width='9' height='9'>";
    deep += QByteArray("<g>").repeated(100000) + QByteArray("</g>").repeated(100000) + "</svg>";
    const QByteArray laughs =
        "<!DOCTYPE svg [" +
        billion(
            [](int n, const QByteArray& refs) {
                return "<!ENTITY a" + QByteArray::number(n) + " '" + (n == 0 ? "ha" : refs) + "'>";
            },
            [](int n) { return "&a" + QByteArray::number(n) + ";"; }) +
        "]>" + svg("width='9' height='9'", "<text>&a9;</text>");
    const QByteArray huge =
        svg("width='100000000' height='100000000'", "<rect width='100%' height='100%'/>");
    // Refused, or drawn as far as the renderer went (the parser stops at 256 levels, and at
    // entities that grow too much); never a wait beyond the helper's time limit.
    struct Row {
        const char* name;
        QByteArray bytes;
        bool mayDraw;
        ErrorCode refusal;
    };
    const std::vector<Row> rows{
        {"100000 nested groups", deep, true, ErrorCode::SvgFailed},
        {"a billion laughs", laughs, true, ErrorCode::SvgFailed},
        {"an SVGZ unpacking past 32 MB", gzipped(svg("", "") + QByteArray(33 * 1024 * 1024, ' ')),
         false, ErrorCode::PictureTooLarge},
    };
    for (const Row& row : rows) {
        QElapsedTimer clock;
        clock.start();
        const int error = errorOf([&] { (void)drawnOnto(row.bytes, {}); });
        EXPECT_TRUE(error == static_cast<int>(row.refusal) || (error == 0 && row.mayDraw))
            << row.name << ": " << error;
        EXPECT_LT(clock.elapsed(), 9000) << row.name;
    }
    EXPECT_EQ(drawnOnto(huge, {}).read(64, 32), kBlack);
    // Drawn at its own size the huge one is made to fit the cap.
    const Surface own = decodePicture(huge, kFaceColour);
    EXPECT_EQ(own.width(), 4096);
    EXPECT_EQ(own.height(), 4096);
}

// Neither a helper that hangs nor a renderer busy with a pathological document holds the
// program up past its limits.
TEST(SvgPicture, HelpersThatHangOrAreMissingGiveTheirErrors)
{
    const QByteArray rectangles =
        svg("width='9' height='9'",
            billion(
                [](int n, const QByteArray& refs) {
                    return n == 0 ? QByteArray("<rect id='u0' width='1' height='1'/>")
                                  : "<g id='u" + QByteArray::number(n) + "'>" + refs + "</g>";
                },
                [](int n) { return "<use href='#u" + QByteArray::number(n) + "'/>"; }));
    const ScratchDir dir;
    const QString hangs = dir.write(QStringLiteral("hangs"), "#!/bin/sh\nexec sleep 30\n");
    QFile::setPermissions(hangs, QFile::permissions(hangs) | QFile::ExeOwner);
    SvgLimits limits;
    limits.cpuSeconds = 1;
    limits.wallMilliseconds = 2000;
    const std::vector<std::tuple<QString, QByteArray, ErrorCode>> rows{
        {hangs, kThinLine, ErrorCode::SvgTimedOut},
        {QString(), rectangles, ErrorCode::SvgTimedOut},
        {dir.path(QStringLiteral("missing")), kThinLine, ErrorCode::SvgHelperMissing},
    };
    for (const auto& [helper, document, code] : rows) {
        limits.helper = helper;
        EXPECT_EQ(errorOf([&] {
                      (void)renderSvg(document, kWhite, {128, 64}, SvgFit::Fill, limits);
                  }),
                  static_cast<int>(code))
            << helper.toStdString();
    }
}

TEST(SvgPicture, DamagedDocumentsAreDrawnAsFarAsTheyGoWithAWarningAndStrictRefusesThem)
{
    const QByteArray whole =
        svg("width='20' height='10'", "<rect width='10' height='10'/><rect x='10' width='10' "
                                      "height='10' fill='red'/>");
    const QByteArray cut = whole.left(whole.indexOf("<rect x="));
    const QByteArray packed = gzipped(whole);
    const ScratchDir dir;
    const std::vector<std::pair<QString, QByteArray>> rows{
        {QStringLiteral("cut.svg"), cut},
        {QStringLiteral("cut.svgz"), packed.left(packed.size() - 12)},
    };
    for (const auto& [name, bytes] : rows) {
        LoadResult about;
        const Surface drawn = drawnOnto(bytes, {}, 128, 64, &about);
        EXPECT_EQ(about.damage, Damage::DataSkipped) << name.toStdString();
        EXPECT_EQ(drawn.read(10, 10), kBlack) << name.toStdString();
        const QString file = dir.write(name, bytes);
        const test::Finished plain = test::runProgram(QStringLiteral(PIXELCAST_CONVERT_PROGRAM),
                                                      {file, dir.path("a.bin")}, 20000);
        EXPECT_EQ(plain.status, 0);
        EXPECT_TRUE(plain.err.startsWith("Warning: ")) << plain.err.toStdString();
        const test::Finished strict =
            test::runProgram(QStringLiteral(PIXELCAST_CONVERT_PROGRAM),
                             {"--strict", file, dir.path("b.bin")}, 20000);
        EXPECT_EQ(strict.status, 4);
        EXPECT_TRUE(strict.err.startsWith("Error 1005")) << strict.err.toStdString();
    }
}

TEST(SvgPicture, AnotherStretchDrawsItAgain)
{
    LoadedPicture picture(kThinLine);
    Surface source;
    (void)picture.loadStill({}, {128, 64}, source);
    RenderOptions keep;
    keep.keepAspect = true;
    EXPECT_EQ(picture.refit(keep, {64, 64}, source), Refit::Decode);
    EXPECT_TRUE(test::sameSurface(
        picture.greyFrame(0), LoadedPicture::decodeStill(kThinLine, keep, {64, 64}).greyFrame(0)));
    EXPECT_EQ(source.width(), 64);
    EXPECT_EQ(source.height(), 32);
}

} // namespace
} // namespace pixelcast
