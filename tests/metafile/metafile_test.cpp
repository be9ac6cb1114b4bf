#include "decoders/picture_loader.h"
#include "errors/error.h"
#include "metafile/metafile.h"
#include "metafile_builder.h"
#include "support/expect_surface.h"
#include "support/test_files.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <gtest/gtest.h>

namespace pixelcast {
namespace {

using test::MetafileBuilder;

// Every test here uses the helper built with them, as the program uses the one beside it.
class HelperFromTheBuild : public testing::Environment {
public:
    void SetUp() override { qputenv("PIXELCAST_WMF_HELPER", PIXELCAST_TEST_WMF_HELPER); }
};
[[maybe_unused]] testing::Environment* const kHelperFromTheBuild =
    testing::AddGlobalTestEnvironment(new HelperFromTheBuild);

constexpr ColorRef kRed = 0x0000FF;
constexpr ColorRef kGreen = 0x00FF00;
constexpr ColorRef kBlue = 0xFF0000;
constexpr ColorRef kBackground = kFaceColour;
constexpr int kNullPen = 5;
constexpr int kAlternate = 1;
constexpr int kWinding = 2;

QColor qColour(ColorRef c)
{
    return {redOf(c), greenOf(c), blueOf(c)};
}

// The expected picture, drawn independently of the metafile path: QPainter without
// anti-aliasing straight onto an image of the expected size, in canvas pixels.
Surface paintExpected(QSize size, const std::function<void(QPainter&)>& draw)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(qColour(kBackground));
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(Qt::NoPen);
        draw(painter);
    }
    Surface surface(size.width(), size.height(), kBackground);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            surface.write(x, y, rgb(qRed(p), qGreen(p), qBlue(p)));
        }
    }
    return surface;
}

// Where a shape is filled with no pen, these tests expect Qt's own rule (a pixel is filled
// when its centre is inside), so the comparison is exact.
TEST(Metafile, FilledRectangleLandsAtItsPlace)
{
    struct Row {
        int unitsPerInch;
        QRect frame;
        QRect shape; // logical units
        QSize size;  // canvas
        QRect expected;
    };
    const Row rows[] = {
        {96, QRect(0, 0, 100, 80), QRect(10, 20, 50, 30), QSize(100, 80), QRect(10, 20, 50, 30)},
        // Twips: 15 units a pixel.
        {1440, QRect(0, 0, 1440, 720), QRect(150, 300, 450, 150), QSize(96, 48),
         QRect(10, 20, 30, 10)},
        // A frame that does not start at 0 moves the drawing with it.
        {96, QRect(100, 200, 60, 40), QRect(110, 210, 20, 10), QSize(60, 40),
         QRect(10, 10, 20, 10)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.unitsPerInch);
        const QByteArray file = MetafileBuilder::placeable(row.frame, row.unitsPerInch)
                                    .pen(kNullPen, 0, 0)
                                    .solidBrush(kRed)
                                    .rectangle(row.shape)
                                    .bytes();
        const Surface drawn = renderMetafile(file, kBackground);
        ASSERT_EQ(drawn.width(), row.size.width());
        ASSERT_EQ(drawn.height(), row.size.height());
        EXPECT_TRUE(test::surfaceMatches(
            drawn, [&](int x, int y) { return row.expected.contains(x, y) ? kRed : kBackground; }));
    }
}

TEST(Metafile, FilledEllipseIsFilled)
{
    const QByteArray file = MetafileBuilder::placeable(QRect(0, 0, 80, 60), 96)
                                .pen(kNullPen, 0, 0)
                                .solidBrush(kBlue)
                                .ellipse(QRect(10, 10, 60, 40))
                                .bytes();
    const Surface drawn = renderMetafile(file, kBackground);
    ASSERT_EQ(drawn.width(), 80);
    ASSERT_EQ(drawn.height(), 60);
    // Exact inside and outside the ellipse x^2/30^2 + y^2/20^2 = 1 around (40, 30); pixels
    // whose centre lies within a pixel of the curve may go either way, as rasterisers
    // differ there.
    EXPECT_TRUE(test::surfaceMatches(drawn, [&](int x, int y) {
        const double dx = (x + 0.5 - 40) / 30;
        const double dy = (y + 0.5 - 30) / 20;
        const double r = std::sqrt(dx * dx + dy * dy);
        if (std::abs(r - 1) * 20 < 1) {
            return drawn.read(x, y) == kBlue ? kBlue : kBackground;
        }
        return r < 1 ? kBlue : kBackground;
    }));
}

TEST(Metafile, PolygonFollowsTheFillMode)
{
    // A five-pointed star drawn in one stroke: its middle is inside twice, so alternate
    // fill leaves it empty and winding fill fills it.
    const std::vector<QPoint> star{{50, 5}, {79, 95}, {3, 39}, {97, 39}, {21, 95}};
    for (const int mode : {kAlternate, kWinding}) {
        SCOPED_TRACE(mode);
        const QByteArray file = MetafileBuilder::placeable(QRect(0, 0, 100, 100), 96)
                                    .polyFillMode(mode)
                                    .pen(kNullPen, 0, 0)
                                    .solidBrush(kGreen)
                                    .polygon(star)
                                    .bytes();
        const Surface drawn = renderMetafile(file, kBackground);
        EXPECT_EQ(drawn.read(50, 55), mode == kAlternate ? kBackground : kGreen);
        EXPECT_EQ(drawn.read(50, 20), kGreen); // in a point of the star
        EXPECT_TRUE(test::sameSurface(
            drawn, paintExpected(QSize(100, 100), [&](QPainter& p) {
                p.setBrush(qColour(kGreen));
                QPolygonF polygon;
                for (QPoint q : star) {
                    polygon << QPointF(q);
                }
                p.drawPolygon(polygon, mode == kAlternate ? Qt::OddEvenFill : Qt::WindingFill);
            })));
    }
}

TEST(Metafile, LineIsDrawnWithThePenColourAndNothingElse)
{
    const QByteArray file = MetafileBuilder::placeable(QRect(0, 0, 100, 50), 96)
                                .pen(0, 1, kRed)
                                .moveTo(10, 20)
                                .lineTo(90, 20)
                                .pen(0, 1, kBlue)
                                .moveTo(30, 5)
                                .lineTo(30, 45)
                                .bytes();
    const Surface drawn = renderMetafile(file, kBackground);
    // Whether a one-pixel line covers its last point is left open; everything between the
    // ends must be inked, and nothing off the lines.
    for (int x = 11; x < 89; ++x) {
        if (x != 30) {
            EXPECT_EQ(drawn.read(x, 20), kRed) << x;
        }
    }
    for (int y = 6; y < 44; ++y) {
        EXPECT_EQ(drawn.read(30, y), kBlue) << y;
    }
    EXPECT_TRUE(test::surfaceMatches(drawn, [&](int x, int y) {
        const bool onRed = y == 20 && x >= 10 && x <= 90;
        const bool onBlue = x == 30 && y >= 5 && y <= 45;
        const ColorRef there = drawn.read(x, y);
        return onRed || onBlue ? there : kBackground;
    }));
}

TEST(Metafile, PenWidthScalesWithTheFrame)
{
    // A pen 6 units wide is 6 pixels at 96 units an inch and 3 at 192.
    for (const auto& [unitsPerInch, pixels] : {std::pair{96, 6}, std::pair{192, 3}}) {
        SCOPED_TRACE(unitsPerInch);
        const QByteArray file =
            MetafileBuilder::placeable(QRect(0, 0, 100 * unitsPerInch / 96, 40 * unitsPerInch / 96),
                                       unitsPerInch)
                .pen(0, 6, kBlue)
                .moveTo(10 * unitsPerInch / 96, 20 * unitsPerInch / 96)
                .lineTo(90 * unitsPerInch / 96, 20 * unitsPerInch / 96)
                .bytes();
        const Surface drawn = renderMetafile(file, kBackground);
        int thickness = 0;
        for (int y = 0; y < drawn.height(); ++y) {
            thickness += drawn.read(50, y) == kBlue ? 1 : 0;
        }
        EXPECT_EQ(thickness, pixels);
    }
}

TEST(Metafile, TextIsInkedInItsColourInsideItsBox)
{
    // 24-pixel text at (10, 10), aligned at its top-left as text is by default. The font is
    // whatever fontconfig gives for Arial; the ink must lie in the box the text can fill
    // and reach both its upper and lower half.
    const QByteArray file = MetafileBuilder::placeable(QRect(0, 0, 120, 50), 96)
                                .backgroundMode(1)
                                .textColour(kRed)
                                .font(-24, QStringLiteral("Arial"))
                                .textOut(10, 10, "HH")
                                .bytes();
    const Surface drawn = renderMetafile(file, kBackground);
    const QRect box(10, 10, 50, 25);
    int upper = 0;
    int lower = 0;
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 0; x < drawn.width(); ++x) {
            const ColorRef c = drawn.read(x, y);
            if (c == kBackground) {
                continue;
            }
            ASSERT_EQ(c, kRed) << x << "," << y;
            ASSERT_TRUE(box.contains(x, y)) << x << "," << y;
            (y < 22 ? upper : lower) += 1;
        }
    }
    EXPECT_GT(upper, 20);
    EXPECT_GT(lower, 20);
}

TEST(Metafile, WithoutPlaceableHeaderTheDrawingSetsTheSize)
{
    // MM_TEXT: a logical unit is a pixel; the canvas is the box around what is drawn.
    const QByteArray plain = MetafileBuilder::bare()
                                 .pen(kNullPen, 0, 0)
                                 .solidBrush(kRed)
                                 .rectangle(QRect(10, 10, 10, 10))
                                 .solidBrush(kBlue)
                                 .rectangle(QRect(40, 30, 10, 10))
                                 .bytes();
    const Surface drawn = renderMetafile(plain, kBackground);
    ASSERT_EQ(drawn.width(), 40);
    ASSERT_EQ(drawn.height(), 30);
    EXPECT_TRUE(test::surfaceMatches(drawn, [](int x, int y) {
        if (x < 10 && y < 10) {
            return kRed;
        }
        if (x >= 30 && y >= 20) {
            return kBlue;
        }
        return kBackground;
    }));

    // MM_TWIPS: 15 units a pixel, y pointing up.
    const QByteArray twips = MetafileBuilder::bare()
                                 .mapMode(6)
                                 .pen(kNullPen, 0, 0)
                                 .solidBrush(kGreen)
                                 .rectangle(QRect(150, -750, 600, 450))
                                 .bytes();
    const Surface green = renderMetafile(twips, kBackground);
    ASSERT_EQ(green.width(), 40);
    ASSERT_EQ(green.height(), 30);
    EXPECT_TRUE(test::surfaceMatches(green, [](int, int) { return kGreen; }));
}

TEST(Metafile, UnitlessDrawingOverTheCapIsScaledToFit)
{
    // Anisotropic units have no size; 1 unit a pixel would make this 20000 x 2000.
    const QByteArray file = MetafileBuilder::bare()
                                .mapMode(8)
                                .windowExtent(20000, 2000)
                                .pen(kNullPen, 0, 0)
                                .solidBrush(kRed)
                                .rectangle(QRect(0, 0, 20000, 2000))
                                .bytes();
    const Surface drawn = renderMetafile(file, kBackground);
    EXPECT_LE(drawn.width(), 8192);
    EXPECT_GE(drawn.width(), 8000);
    EXPECT_NEAR(static_cast<double>(drawn.width()) / drawn.height(), 10.0, 0.05);
    for (int y = 0; y + 1 < drawn.height(); y += 7) {
        for (int x = 0; x + 1 < drawn.width(); x += 7) {
            ASSERT_EQ(drawn.read(x, y), kRed) << x << "," << y;
        }
    }
}

TEST(Metafile, WindowOriginAndExtentMapOntoTheFrame)
{
    struct Row {
        const char* name;
        int mapMode;
        QPoint origin;
        QSize extent;
        QRect shape;
    };
    // The window 800 x 400 fills the 100 x 50 frame: an eighth of a pixel a unit.
    const Row rows[] = {
        {"anisotropic", 8, QPoint(200, 100), QSize(800, 400), QRect(400, 180, 200, 160)},
        {"no map mode", 0, QPoint(200, 100), QSize(800, 400), QRect(400, 180, 200, 160)},
        // A negative extent turns the axis: y = 320 is 10 pixels from the top.
        {"y up", 8, QPoint(200, 400), QSize(800, -400), QRect(400, 160, 200, 160)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MetafileBuilder builder = MetafileBuilder::placeable(QRect(0, 0, 100, 50), 96);
        if (row.mapMode != 0) {
            builder.mapMode(row.mapMode);
        }
        const QByteArray file = builder.windowOrigin(row.origin.x(), row.origin.y())
                                    .windowExtent(row.extent.width(), row.extent.height())
                                    .pen(kNullPen, 0, 0)
                                    .solidBrush(kBlue)
                                    .rectangle(row.shape)
                                    .bytes();
        const Surface drawn = renderMetafile(file, kBackground);
        ASSERT_EQ(drawn.width(), 100);
        ASSERT_EQ(drawn.height(), 50);
        EXPECT_TRUE(test::surfaceMatches(drawn, [](int x, int y) {
            return QRect(25, 10, 25, 20).contains(x, y) ? kBlue : kBackground;
        }));
    }
}

TEST(Metafile, ClippingKeepsDrawingInsideTheClipRectangle)
{
    const QByteArray file = MetafileBuilder::placeable(QRect(0, 0, 60, 40), 96)
                                .clipRect(QRect(20, 10, 20, 20))
                                .pen(kNullPen, 0, 0)
                                .solidBrush(kRed)
                                .rectangle(QRect(0, 0, 60, 40))
                                .bytes();
    const Surface drawn = renderMetafile(file, kBackground);
    EXPECT_TRUE(test::surfaceMatches(drawn, [](int x, int y) {
        return QRect(20, 10, 20, 20).contains(x, y) ? kRed : kBackground;
    }));
}

TEST(Metafile, HatchedBrushLeavesGapsAndNullBrushLeavesTheInside)
{
    const QByteArray file = MetafileBuilder::placeable(QRect(0, 0, 60, 40), 96)
                                .backgroundMode(1)
                                .pen(0, 1, kBlue)
                                .hatchedBrush(kRed, 0) // horizontal lines
                                .rectangle(QRect(5, 5, 20, 30))
                                .nullBrush()
                                .rectangle(QRect(35, 5, 20, 30))
                                .bytes();
    const Surface drawn = renderMetafile(file, kBackground);
    int red = 0;
    int gaps = 0;
    for (int y = 7; y < 33; ++y) {
        const ColorRef c = drawn.read(15, y);
        red += c == kRed ? 1 : 0;
        gaps += c == kBackground ? 1 : 0;
    }
    EXPECT_GT(red, 2);
    EXPECT_GT(gaps, red);
    EXPECT_EQ(drawn.read(35, 20), kBlue); // the outline
    for (int y = 7; y < 33; ++y) {
        EXPECT_EQ(drawn.read(45, y), kBackground) << y;
    }
}

TEST(Metafile, ShapesOfClipArt)
{
    // Each row draws one shape in red with no pen inside the box (10, 10)-(70, 70), or
    // (10, 10)-(70, 50) for the rounded rectangle, and names pixels that must be red
    // and pixels that must stay background.
    struct Row {
        const char* name;
        std::function<void(MetafileBuilder&)> draw;
        std::vector<QPoint> red;
        std::vector<QPoint> clear;
    };
    const Row rows[] = {
        {"round rectangle",
         [](MetafileBuilder& b) {
             b.record(0x061C, {20, 20, 50, 70, 10, 10});
         },
         {{40, 30}, {11, 30}, {40, 11}},
         {{10, 10}, {11, 11}, {68, 48}}},
        // Counter-clockwise from the right (70, 40) to the top (40, 10): the upper right
        // quarter.
        {"pie",
         [](MetafileBuilder& b) {
             b.record(0x081A, {10, 40, 40, 70, 70, 70, 10, 10});
         },
         {{55, 25}, {41, 38}},
         {{25, 25}, {55, 55}, {25, 55}}},
        // The same ends: only the part beyond the chord from (70, 40) to (40, 10).
        {"chord",
         [](MetafileBuilder& b) {
             b.record(0x0830, {10, 40, 40, 70, 70, 70, 10, 10});
         },
         {{58, 22}},
         {{50, 30}, {25, 25}, {55, 55}}},
        // From the top (40, 10) counter-clockwise to the right (70, 40): three quarters.
        {"pie the other way round",
         [](MetafileBuilder& b) {
             b.record(0x081A, {40, 70, 10, 40, 70, 70, 10, 10});
         },
         {{25, 25}, {55, 55}, {25, 55}},
         {{55, 25}}},
        // A square with a square hole, alternate fill.
        {"polypolygon",
         [](MetafileBuilder& b) {
             b.record(0x0538,
                      {2, 4, 4, 10, 10, 70, 10, 70, 70, 10, 70, 30, 30, 50, 30, 50, 50, 30, 50});
         },
         {{20, 20}, {60, 60}},
         {{40, 40}, {5, 5}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MetafileBuilder builder = MetafileBuilder::placeable(QRect(0, 0, 80, 80), 96);
        builder.pen(kNullPen, 0, 0).solidBrush(kRed);
        row.draw(builder);
        const Surface drawn = renderMetafile(builder.bytes(), kBackground);
        for (QPoint p : row.red) {
            EXPECT_EQ(drawn.read(p.x(), p.y()), kRed) << p.x() << "," << p.y();
        }
        for (QPoint p : row.clear) {
            EXPECT_EQ(drawn.read(p.x(), p.y()), kBackground) << p.x() << "," << p.y();
        }
    }
}

TEST(Metafile, ArcIsStrokedOnlyWhereItRuns)
{
    // The upper right quarter of the circle around (40, 40) with radius 30.
    const QByteArray file = MetafileBuilder::placeable(QRect(0, 0, 80, 80), 96)
                                .pen(0, 1, kBlue)
                                .record(0x0817, {10, 40, 40, 70, 70, 70, 10, 10})
                                .bytes();
    const Surface drawn = renderMetafile(file, kBackground);
    int inked = 0;
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 80; ++x) {
            if (drawn.read(x, y) == kBackground) {
                continue;
            }
            ++inked;
            EXPECT_EQ(drawn.read(x, y), kBlue);
            EXPECT_TRUE(x >= 39 && y <= 41) << x << "," << y; // upper right only
            const double r = std::hypot(x + 0.5 - 40, y + 0.5 - 40);
            EXPECT_NEAR(r, 30, 1.5) << x << "," << y;
        }
    }
    EXPECT_GT(inked, 40); // a quarter circle of radius 30 is 47 pixels long
}

TEST(Metafile, StretchedBitmapKeepsItsRowsTheRightWayUp)
{
    // A 2 x 2 bitmap stretched to 20 x 20 at (10, 10): each pixel becomes a 10 x 10 block.
    const QByteArray file =
        MetafileBuilder::placeable(QRect(0, 0, 40, 40), 96)
            .stretchDib(QRect(10, 10, 20, 20), 2, 2, {kRed, kGreen, kBlue, kBlack})
            .bytes();
    const Surface drawn = renderMetafile(file, kBackground);
    EXPECT_TRUE(test::surfaceMatches(drawn, [](int x, int y) {
        if (!QRect(10, 10, 20, 20).contains(x, y)) {
            return kBackground;
        }
        const bool right = x >= 20;
        const bool bottom = y >= 20;
        return bottom ? (right ? kBlack : kBlue) : (right ? kGreen : kRed);
    }));
}

TEST(Metafile, DecodePictureDrawsMetafilesThroughTheHelper)
{
    const QByteArray file = MetafileBuilder::placeable(QRect(0, 0, 30, 20), 96)
                                .pen(kNullPen, 0, 0)
                                .solidBrush(kRed)
                                .rectangle(QRect(0, 0, 10, 10))
                                .bytes();
    const Surface decoded = decodePicture(file, kWhite);
    EXPECT_TRUE(test::sameSurface(decoded, renderMetafile(file, kWhite)));
    EXPECT_EQ(decoded.read(20, 15), kWhite);
}

// Hostile files and failing helpers: each must end in its numbered error, quickly.
ErrorCode errorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Error& e) {
        return e.code();
    }
    ADD_FAILURE() << "no error";
    return ErrorCode::UsageError;
}

QByteArray simpleFile()
{
    return MetafileBuilder::placeable(QRect(0, 0, 40, 40), 96)
        .pen(kNullPen, 0, 0)
        .solidBrush(kRed)
        .rectangle(QRect(5, 5, 30, 30))
        .bytes();
}

TEST(MetafileHostile, DamagedFilesAreRefused)
{
    const QByteArray whole = simpleFile();

    QByteArray hugeRecord = whole;
    // The first record after the 22-byte placeable and 18-byte standard header.
    hugeRecord[40] = '\xFF';
    hugeRecord[41] = '\xFF';
    hugeRecord[42] = '\xFF';
    hugeRecord[43] = '\x7F';

    const struct {
        const char* name;
        QByteArray bytes;
    } rows[] = {
        {"truncated in a record", whole.left(whole.size() - 12)},
        {"only the headers", whole.left(40)},
        {"record size 0x7FFFFFFF", hugeRecord},
        {"no end record", MetafileBuilder::placeable(QRect(0, 0, 40, 40), 96)
                              .solidBrush(kRed)
                              .rectangle(QRect(5, 5, 30, 30))
                              .bytes(false)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(errorOf([&] { (void)renderMetafile(row.bytes, kBackground); }),
                  ErrorCode::MetafileFailed);
        EXPECT_LT(clock.elapsed(), 5000);
    }
}

TEST(MetafileHostile, HeaderClaimingAHugeRecordDoesNotTakeTheMemory)
{
    // The parser would allocate the 4 GiB the header claims for its largest record, which
    // is far over the helper's memory limit; the records themselves are sound, so the
    // picture is drawn.
    QByteArray file = simpleFile();
    file[22 + 12] = '\xFF';
    file[22 + 13] = '\xFF';
    file[22 + 14] = '\xFF';
    file[22 + 15] = '\x7F';
    const Surface drawn = renderMetafile(file, kBackground);
    EXPECT_TRUE(test::sameSurface(drawn, renderMetafile(simpleFile(), kBackground)));
}

TEST(MetafileHostile, FileThatDrawsNothingAndDeclaresNoSizeIsAnError)
{
    EXPECT_EQ(errorOf([] { (void)renderMetafile(MetafileBuilder::bare().bytes(), kBackground); }),
              ErrorCode::MetafileFailed);
    // With a declared size, an empty drawing is just its background.
    const Surface empty =
        renderMetafile(MetafileBuilder::placeable(QRect(0, 0, 7, 5), 96).bytes(), kBackground);
    EXPECT_TRUE(test::sameSurface(empty, Surface(7, 5, kBackground)));
}

TEST(MetafileHostile, HugeDrawingsAreRefusedBeforeDrawing)
{
    // A frame of 65535 units at one unit an inch: over six million pixels a side.
    const QByteArray hugeFrame = MetafileBuilder::placeable(QRect(-32768, -32768, 65535, 65535), 1)
                                     .rectangle(QRect(0, 0, 10, 10))
                                     .bytes();
    // No declared size, but a drawing 30000 pixels wide.
    const QByteArray hugeDrawing =
        MetafileBuilder::bare().solidBrush(kRed).rectangle(QRect(0, 0, 30000, 30000)).bytes();
    // Just over the cap in one direction only.
    const QByteArray tooWide = MetafileBuilder::placeable(QRect(0, 0, 8193, 10), 96).bytes();
    for (const QByteArray& file : {hugeFrame, hugeDrawing, tooWide}) {
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(errorOf([&] { (void)renderMetafile(file, kBackground); }),
                  ErrorCode::PictureTooLarge);
        EXPECT_LT(clock.elapsed(), 5000);
    }
    // The largest side that is allowed is drawn.
    const Surface wide = renderMetafile(
        MetafileBuilder::placeable(QRect(0, 0, 8192, 2), 96).rectangle(QRect(0, 0, 1, 1)).bytes(),
        kBackground);
    EXPECT_EQ(wide.width(), 8192);
}

// A stand-in for the helper: a shell script doing `body`.
QString fakeHelper(const test::ScratchDir& dir, const char* body)
{
    const QString path = dir.path(QStringLiteral("fake-helper"));
    QFile script(path);
    EXPECT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QByteArray("#!/bin/sh\n") + body + "\n");
    script.close();
    script.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    return path;
}

TEST(MetafileHostile, FailingHelpersGiveTheirErrors)
{
    const test::ScratchDir dir;
    const struct {
        const char* name;
        const char* script;
        ErrorCode expected;
    } rows[] = {
        {"killed", "kill -KILL $$", ErrorCode::MetafileFailed},
        {"crashed", "kill -SEGV $$", ErrorCode::MetafileFailed},
        {"garbage", "cat >/dev/null; echo garbage", ErrorCode::MetafileFailed},
        // Claims 10 x 10 pixels and sends four.
        {"short", "cat >/dev/null; printf 'PXWM\\012\\0\\0\\0\\012\\0\\0\\0'; head -c 16 /dev/zero",
         ErrorCode::MetafileFailed},
        // Right size, one pixel too many.
        {"long", "cat >/dev/null; printf 'PXWM\\001\\0\\0\\0\\001\\0\\0\\0'; head -c 8 /dev/zero",
         ErrorCode::MetafileFailed},
        {"unknown exit", "exit 77", ErrorCode::MetafileFailed},
        // More output than the largest picture there can be.
        {"floods", "exec cat /dev/zero", ErrorCode::MetafileFailed},
        {"hangs", "exec sleep 30", ErrorCode::MetafileTimedOut},
        {"spins", "while :; do :; done", ErrorCode::MetafileTimedOut},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MetafileLimits limits;
        limits.helper = fakeHelper(dir, row.script);
        limits.cpuSeconds = 1;
        limits.wallMilliseconds = 1500;
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(errorOf([&] { (void)renderMetafile(simpleFile(), kBackground, limits); }),
                  row.expected);
        EXPECT_LT(clock.elapsed(), 5000);
    }
}

TEST(MetafileHostile, HelperThatStopsReadingEarlyIsAnError)
{
    // Several megabytes of input to a helper that reads none of it: the pipe fills and
    // breaks, which must not take the caller with it.
    const test::ScratchDir dir;
    MetafileLimits limits;
    limits.helper = fakeHelper(dir, "exit 3");
    QByteArray large = simpleFile();
    large.append(QByteArray(8 * 1024 * 1024, '\0'));
    EXPECT_EQ(errorOf([&] { (void)renderMetafile(large, kBackground, limits); }),
              ErrorCode::MetafileFailed);
}

TEST(MetafileHostile, MissingHelperIsReported)
{
    MetafileLimits limits;
    limits.helper = QStringLiteral("/nonexistent/pixelcast-wmf");
    EXPECT_EQ(errorOf([&] { (void)renderMetafile(simpleFile(), kBackground, limits); }),
              ErrorCode::MetafileHelperMissing);
}

TEST(MetafileHostile, HelperIsLookedForBesideTheProgram)
{
    const QByteArray saved = qgetenv("PIXELCAST_WMF_HELPER");
    qunsetenv("PIXELCAST_WMF_HELPER");
    const QString found = defaultMetafileHelper();
    qputenv("PIXELCAST_WMF_HELPER", saved);
    EXPECT_EQ(found, QCoreApplication::applicationDirPath() + QStringLiteral("/pixelcast-wmf"));
    EXPECT_EQ(defaultMetafileHelper(), QString::fromLocal8Bit(saved));
}

TEST(MetafileHostile, MemoryLimitBreachIsAnError)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer needs more address space than any limit allows";
#else
    MetafileLimits limits;
    limits.memoryBytes = 32LL * 1024 * 1024; // too little for Qt to start
    EXPECT_EQ(errorOf([&] { (void)renderMetafile(simpleFile(), kBackground, limits); }),
              ErrorCode::MetafileFailed);
#endif
}

TEST(MetafileHostile, FailedLoadKeepsThePreviousPicture)
{
    const test::ScratchDir dir;
    const QString path = dir.path(QStringLiteral("record-size-0x7fffffff.wmf"));
    QByteArray bytes = simpleFile();
    bytes[43] = '\x7F';
    bytes[42] = bytes[41] = bytes[40] = '\xFF';
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    Surface source(3, 2, kRed);
    Surface scaled(kDisplayWidth, kDisplayHeight, kBlue);
    const Surface sourceBefore = source;
    const Surface scaledBefore = scaled;
    EXPECT_EQ(errorOf([&] { loadAndScale(path, source, scaled, kBackground); }),
              ErrorCode::MetafileFailed);
    EXPECT_TRUE(test::sameSurface(source, sourceBefore));
    EXPECT_TRUE(test::sameSurface(scaled, scaledBefore));
}

} // namespace
} // namespace pixelcast
