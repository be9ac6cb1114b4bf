#include "app/controller.h"
#include "controller_rig.h"
#include "decoders/picture_loader.h"
#include "errors/error.h"
#include "pixels/greyscale.h"
#include "support/expect_surface.h"
#include "support/pseudo_terminal.h"
#include "support/test_files.h"

#include <QFile>
#include <QImage>

#include <gtest/gtest.h>
#include <new>

namespace pixelcast::test {
namespace {

// The grey of pixel (x, y) in the test's grey picture: every value 0-255 occurs.
int gradientGrey(int x, int y)
{
    return (x * 2 + y * 5) & 0xFF;
}

ColorRef expectedMonochrome(ColorRef grey, int threshold)
{
    return redOf(grey) > threshold ? kWhite : kBlack;
}

// No device behind any port number.
class ControllerTest : public testing::Test, protected ControllerRig {
protected:
    ScratchDir scratch;

    void SetUp() override { start(); }

    // A 128 x 64 BMP of equal-channel greys, so greyscale leaves it as it is.
    QString greyPicture()
    {
        QImage image(kDisplayWidth, kDisplayHeight, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const int g = gradientGrey(x, y);
                image.setPixel(x, y, qRgb(g, g, g));
            }
        }
        return save(image, QStringLiteral("grey.bmp"));
    }

    // A 128 x 64 BMP in strong colours.
    QString colourPicture(const QString& name, int seed)
    {
        QImage image(kDisplayWidth, kDisplayHeight, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                image.setPixel(x, y,
                               qRgb((x * 7 + seed) & 0xFF, (y * 11 + seed) & 0xFF, (x * y) & 0xFF));
            }
        }
        return save(image, name);
    }

    QString save(const QImage& image, const QString& name)
    {
        const QString path = scratch.path(name);
        EXPECT_TRUE(image.save(path, "BMP"));
        return path;
    }

    void loadThrough(const std::optional<QString>& answer)
    {
        backend.answers.push_back(answer);
        controller.onLoadImage();
    }

    [[nodiscard]] static Surface greyOfPicture(const QString& path)
    {
        Surface picture = loadPicture(path, kFaceColour);
        toGreyscale(picture);
        return picture;
    }

    [[nodiscard]] static Surface monochromeOf(const Surface& grey, int threshold)
    {
        Surface result(grey.width(), grey.height(), kFaceColour);
        for (int y = 0; y < grey.height(); ++y) {
            for (int x = 0; x < grey.width(); ++x) {
                result.write(x, y, expectedMonochrome(grey.read(x, y), threshold));
            }
        }
        return result;
    }

    void expectButtons(bool writeFile, bool writeArduino)
    {
        EXPECT_TRUE(window.enabled[Button::LoadImage]);
        EXPECT_TRUE(window.enabled[Button::CreateArray]);
        EXPECT_EQ(window.enabled[Button::WriteArrayFile], writeFile);
        EXPECT_TRUE(window.enabled[Button::ConfigurePort]);
        EXPECT_EQ(window.enabled[Button::WriteArrayToArduino], writeArduino);
        EXPECT_TRUE(window.enabled[Button::Exit]);
    }
};

TEST_F(ControllerTest, StartUpSizesTheViewsSetsTheLevelAndRendersOnce)
{
    EXPECT_EQ(window.viewSizes[View::Result], std::make_pair(132, 68));
    EXPECT_EQ(window.viewSizes[View::Scaled], std::make_pair(132, 68));
    EXPECT_EQ(window.maximum, 254);
    EXPECT_EQ(window.value, 127);
    EXPECT_EQ(window.levelText, "127");
    EXPECT_EQ(controller.state().threshold, 127);
    EXPECT_EQ(window.refreshes[View::Result], 1);
    // The face colour's channels exceed 127, so the blank picture renders white.
    EXPECT_TRUE(surfaceMatches(controller.state().result, [](int, int) { return kWhite; }));
    EXPECT_TRUE(sameArray(controller.state().array, DisplayArray{}));
    EXPECT_EQ(controller.state().sourceFileName, "");
    EXPECT_EQ(controller.state().portNumber, 0);
    expectButtons(false, false);
    EXPECT_TRUE(window.messages.isEmpty());
}

TEST(ControllerStartTest, RendersEvenWhenTheBarAlreadyStandsAtTheStartLevel)
{
    ControllerRig rig;
    FakeWindow& window = rig.window;
    const Controller& controller = rig.controller;
    window.maximum = 254;
    window.value = 127;

    rig.start();

    EXPECT_EQ(window.levelText, "127");
    EXPECT_EQ(window.refreshes[View::Result], 1);
    EXPECT_TRUE(surfaceMatches(controller.state().result, [](int, int) { return kWhite; }));
}

TEST_F(ControllerTest, LoadImageShowsTheGreyPictureAndItsRendering)
{
    const QString path = greyPicture();
    loadThrough(path);

    const AppState& state = controller.state();
    EXPECT_EQ(state.sourceFileName, path);
    EXPECT_EQ(state.source.width(), 128);
    EXPECT_EQ(state.source.height(), 64);
    const auto grey = [](int x, int y) {
        const int g = gradientGrey(x, y);
        return rgb(g, g, g);
    };
    EXPECT_TRUE(surfaceMatches(state.scaled, grey));
    EXPECT_TRUE(surfaceMatches(state.result,
                               [&](int x, int y) { return expectedMonochrome(grey(x, y), 127); }));
    EXPECT_EQ(window.levelText, "127");
    EXPECT_GE(window.refreshes[View::Scaled], 1);
    EXPECT_EQ(window.refreshes[View::Result], 2);
    EXPECT_EQ(window.refreshes[View::Source], 1);
    // The conversion gave the window a turn after every column.
    EXPECT_EQ(window.pendingEventCalls, 128);
    expectButtons(false, false);
}

class ControllerLevelTest : public ControllerTest, public testing::WithParamInterface<int> {};

TEST_P(ControllerLevelTest, RendersAtOnceAtTheNewLevel)
{
    loadThrough(greyPicture());
    const int level = GetParam();

    window.setLevelValue(level);

    EXPECT_EQ(window.levelText, QString::number(level));
    EXPECT_EQ(controller.state().threshold, level);
    EXPECT_TRUE(surfaceMatches(controller.state().result, [&](int x, int y) {
        return gradientGrey(x, y) > level ? kWhite : kBlack;
    }));
}

INSTANTIATE_TEST_SUITE_P(Levels, ControllerLevelTest, testing::Values(0, 1, 128, 253, 254));

TEST_F(ControllerTest, CreateArrayBeforeAnyPicturePacksTheWhiteStartUpRendering)
{
    controller.onCreateArray();

    DisplayArray allWhite;
    for (std::size_t i = 0; i < kDefaultArrayBytes; ++i) {
        allWhite[i] = 0xFF;
    }
    EXPECT_TRUE(sameArray(controller.state().array, allWhite));
    expectButtons(true, false);
}

TEST_F(ControllerTest, RunningOutOfMemoryIsAMessageNotTheEnd)
{
    window.onRefresh = [](View view) {
        if (view == View::Result) {
            throw std::bad_alloc();
        }
    };
    window.setLevelValue(40);
    ASSERT_EQ(window.messages.size(), 1);
    EXPECT_TRUE(window.messages.front().startsWith(QStringLiteral("Error 1009: ")))
        << window.messages.front().toStdString();
    EXPECT_FALSE(controller.hasEnded());
    EXPECT_EQ(window.endCalls, 0);

    window.onRefresh = nullptr;
    window.setLevelValue(41);
    EXPECT_EQ(window.messages.size(), 1);
    EXPECT_EQ(window.levelText, QStringLiteral("41"));
    controller.onCreateArray();
    expectButtons(true, false);
}

TEST_F(ControllerTest, CreateArrayEnablesWriteToArduinoOnlyWithAConfiguredPort)
{
    controller.state().portNumber = 3; // as "Configure Port" leaves it
    controller.onCreateArray();
    expectButtons(true, true);
}

TEST_F(ControllerTest, APortConfiguredAfterTheArrayLeavesWriteToArduinoDisabled)
{
    controller.onCreateArray();
    controller.state().portNumber = 2;
    controller.onLevelChange();
    expectButtons(true, false);
}

TEST_F(ControllerTest, CancelledOpenClearsThePictureWithoutAMessage)
{
    loadThrough(greyPicture());
    loadThrough(std::nullopt);

    const AppState& state = controller.state();
    EXPECT_EQ(state.sourceFileName, "");
    EXPECT_TRUE(state.source.isEmpty());
    EXPECT_TRUE(surfaceMatches(state.scaled, [](int, int) { return kFaceColour; }));
    EXPECT_TRUE(surfaceMatches(state.result, [](int, int) { return kWhite; }));
    EXPECT_TRUE(window.messages.isEmpty());
}

struct BrokenPicture {
    const char* name;
    QByteArray bytes; // empty: the file is not there at all
};

void PrintTo(const BrokenPicture& picture, std::ostream* out)
{
    *out << picture.name;
}

class ControllerFailureTest : public ControllerTest,
                              public testing::WithParamInterface<BrokenPicture> {};

TEST_P(ControllerFailureTest, ReportsNumberAndDescriptionAndKeepsTheEarlierWork)
{
    loadThrough(greyPicture());
    window.setLevelValue(100);
    controller.onCreateArray();
    const AppState before = controller.state();

    const QString broken = scratch.path(QString::fromLatin1(GetParam().name));
    if (!GetParam().bytes.isEmpty()) {
        QFile file(broken);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(GetParam().bytes);
    }
    QString expected;
    try {
        (void)loadPicture(broken, kFaceColour);
        FAIL() << "the loader accepted " << GetParam().name;
    } catch (const Error& error) {
        expected = QStringLiteral("Error %1: %2").arg(error.number()).arg(error.description());
    }

    loadThrough(broken);

    EXPECT_EQ(window.messages, QStringList{expected});
    EXPECT_FALSE(controller.hasEnded());
    EXPECT_EQ(window.endCalls, 0);
    const AppState& after = controller.state();
    EXPECT_TRUE(sameSurface(after.source, before.source));
    EXPECT_TRUE(sameSurface(after.scaled, before.scaled));
    EXPECT_TRUE(sameSurface(after.result, before.result));
    EXPECT_TRUE(sameArray(after.array, before.array));
    expectButtons(true, false);

    // The program goes on: the level still renders.
    window.setLevelValue(254);
    EXPECT_EQ(window.levelText, "254");
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, ControllerFailureTest,
    testing::Values(BrokenPicture{"not-a-picture.gif", QByteArray("this is plain text, no GIF")},
                    BrokenPicture{"truncated-header.bmp", QByteArray("BM\x36\x00\x00", 5)},
                    BrokenPicture{"missing.bmp", QByteArray()}),
    [](const testing::TestParamInfo<BrokenPicture>& row) {
        QString name = QString::fromLatin1(row.param.name);
        name.replace(u'-', u'_').replace(u'.', u'_');
        return name.toStdString();
    });

TEST_F(ControllerTest, LevelChangeAndSecondLoadBetweenColumnsLeaveConsistentSurfaces)
{
    const QString first = colourPicture(QStringLiteral("first.bmp"), 0);
    const QString second = colourPicture(QStringLiteral("second.bmp"), 90);
    backend.answers.push_back(first);
    window.onPendingEvents = [&](int call) {
        if (call == 10) {
            window.setLevelValue(40);
        } else if (call == 20) {
            backend.answers.push_back(second);
            controller.onLoadImage();
        }
    };

    controller.onLoadImage();

    const AppState& state = controller.state();
    const Surface grey = greyOfPicture(second);
    EXPECT_EQ(state.sourceFileName, second);
    EXPECT_TRUE(sameSurface(state.source, loadPicture(second, kFaceColour)));
    EXPECT_EQ(state.scaled.width(), 128);
    EXPECT_EQ(state.scaled.height(), 64);
    EXPECT_TRUE(sameSurface(state.scaled, grey));
    EXPECT_TRUE(sameSurface(state.result, monochromeOf(grey, 40)));
    EXPECT_EQ(window.levelText, "40");
    EXPECT_TRUE(window.messages.isEmpty());
    // The outer conversion finished its own columns after the inner one's 128.
    EXPECT_EQ(window.pendingEventCalls, 256);
}

TEST_F(ControllerTest, ExitEndsTheProgramAndNothingRunsAfterIt)
{
    controller.onExit();
    const DisplayArray before = controller.state().array;

    controller.onCreateArray();
    backend.answers.push_back(greyPicture());
    controller.onLoadImage();

    EXPECT_TRUE(controller.hasEnded());
    EXPECT_EQ(window.endCalls, 1);
    EXPECT_TRUE(backend.requests.empty());
    EXPECT_TRUE(sameArray(controller.state().array, before));
}

TEST_F(ControllerTest, ExitBetweenColumnsStopsTheLoadAtOnce)
{
    window.onPendingEvents = [&](int call) {
        if (call == 5) {
            controller.onExit();
        }
    };
    const int resultRefreshes = window.refreshes[View::Result];

    loadThrough(greyPicture());

    EXPECT_EQ(window.endCalls, 1);
    EXPECT_EQ(window.pendingEventCalls, 5);
    EXPECT_EQ(window.refreshes[View::Result], resultRefreshes);
}

} // namespace
} // namespace pixelcast::test
