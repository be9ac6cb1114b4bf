// The converter's command line: what each argument means, which are refused and with what,
// the C identifiers a header may use, the header's text and the exit status of each kind
// of failure.
#include "cli/arguments.h"
#include "cli/converter.h"
#include "errors/error.h"
#include "output/c_header.h"

#include <QBuffer>

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace pixelcast::cli {
namespace {

ParsedArguments parse(const QStringList& arguments)
{
    return parseArguments(QStringList{QStringLiteral("pixelcast-convert")} + arguments);
}

TEST(Arguments, DefaultsAreLevel127BinaryToTheFileGiven)
{
    const ParsedArguments p = parse({"photo.jpg", "photo.bin"});
    EXPECT_EQ(p.action, Action::Convert);
    EXPECT_EQ(p.request.inputs, QStringList{"photo.jpg"});
    EXPECT_EQ(p.request.output, "photo.bin");
    EXPECT_EQ(p.request.level, 127);
    EXPECT_EQ(p.request.format, ArrayFormat::Binary);
    EXPECT_EQ(p.request.name, "display_array");
    EXPECT_TRUE(p.request.preview.isEmpty());
    EXPECT_FALSE(p.request.port.has_value());
    EXPECT_FALSE(p.request.strict);
    EXPECT_TRUE(parse({"--strict", "photo.jpg", "photo.bin"}).request.strict);
}

TEST(Arguments, OptionsTakeTheirValueAfterASpaceOrAnEqualsSign)
{
    const ParsedArguments p = parse({"--level=0", "--format", "c", "--name=logo", "--preview",
                                     "p.png", "--port", "/dev/ttyUSB0", "in.gif", "-"});
    EXPECT_EQ(p.request.level, 0);
    EXPECT_EQ(p.request.format, ArrayFormat::CHeader);
    EXPECT_EQ(p.request.name, "logo");
    EXPECT_EQ(p.request.preview, "p.png");
    ASSERT_TRUE(p.request.port.has_value());
    EXPECT_EQ(p.request.port->device, "/dev/ttyUSB0");
    EXPECT_EQ(p.request.output, "-");
}

TEST(Arguments, PictureOptionsAreReadIntoTheRequest)
{
    struct Row {
        QStringList arguments;
        RenderOptions expected;
    };
    const Row table[] = {
        {{"a", "b"}, RenderOptions{}},
        {{"--dither", "none", "a", "b"}, RenderOptions{}},
        {{"--dither=floyd-steinberg", "a", "b"}, {Dither::FloydSteinberg, false, false, false}},
        {{"--dither", "atkinson", "--invert", "a", "b"}, {Dither::Atkinson, true, false, false}},
        {{"a", "--smooth", "b", "--dither", "ordered"}, {Dither::Ordered, false, true, false}},
        {{"--keep-aspect", "--smooth", "--invert", "a", "b"}, {Dither::None, true, true, true}},
    };
    for (const Row& row : table) {
        SCOPED_TRACE(row.arguments.join(u' ').toStdString());
        EXPECT_TRUE(parse(row.arguments).request.options == row.expected);
    }
}

TEST(Arguments, LevelBoundsAreAccepted)
{
    EXPECT_EQ(parse({"--level", "0", "a", "b"}).request.level, 0);
    EXPECT_EQ(parse({"--level", "254", "a", "b"}).request.level, 254);
    EXPECT_EQ(parse({"--level", "007", "a", "b"}).request.level, 7);
}

TEST(Arguments, PortNumbersAreComNumbers)
{
    for (const auto& [text, number] :
         {std::pair{"3", 3}, std::pair{"Com2", 2}, std::pair{"COM 4", 4}, std::pair{"com1", 1}}) {
        const ParsedArguments p = parse({"--port", text, "in.bmp"});
        ASSERT_TRUE(p.request.port.has_value()) << text;
        EXPECT_EQ(p.request.port->number, number) << text;
        EXPECT_TRUE(p.request.port->device.isEmpty()) << text;
    }
}

// Opening the port restarts an Uno: the board is given two seconds, or what --boot-wait says.
TEST(Arguments, ThePortWaitsForTheBoardToStartForTwoSecondsUnlessToldOtherwise)
{
    using std::chrono::milliseconds;
    EXPECT_EQ(parse({"--port", "1", "in.bmp"}).request.port->bootWait, milliseconds(2000));
    EXPECT_EQ(parse({"--port=1", "--boot-wait=0", "in.bmp"}).request.port->bootWait,
              milliseconds(0));
    EXPECT_EQ(parse({"--boot-wait", "350", "--port=1", "in.bmp"}).request.port->bootWait,
              milliseconds(350));
}

TEST(Arguments, DoubleDashEndsTheOptions)
{
    const ParsedArguments p = parse({"--", "--level", "-odd.bin"});
    EXPECT_EQ(p.request.inputs, QStringList{"--level"});
    EXPECT_EQ(p.request.output, "-odd.bin");
}

TEST(Arguments, HelpAndVersionWinOverWhateverFollows)
{
    EXPECT_EQ(parse({"--help", "--level", "999"}).action, Action::ShowHelp);
    EXPECT_EQ(parse({"-h"}).action, Action::ShowHelp);
    EXPECT_EQ(parse({"--version", "x"}).action, Action::ShowVersion);
}

struct RefusedRow {
    const char* what;
    QStringList arguments;
    const char* mentioned; // a piece of the description
};

class RefusedArguments : public testing::TestWithParam<RefusedRow> {};

TEST_P(RefusedArguments, AreAUsageErrorThatSaysWhy)
{
    const RefusedRow& row = GetParam();
    try {
        (void)parse(row.arguments);
        FAIL() << "accepted: " << row.what;
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::UsageError);
        EXPECT_TRUE(e.description().contains(QLatin1String(row.mentioned)))
            << e.description().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RefusedArguments,
    testing::Values(
        RefusedRow{"level above the scroll bar", {"--level", "255", "a", "b"}, "\"255\""},
        RefusedRow{"negative level", {"--level", "-1", "a", "b"}, "\"-1\""},
        RefusedRow{"level with a sign", {"--level", "+5", "a", "b"}, "\"+5\""},
        RefusedRow{"level with text", {"--level=12a", "a", "b"}, "\"12a\""},
        RefusedRow{"empty level", {"--level=", "a", "b"}, "0 to 254"},
        RefusedRow{"huge level", {"--level", "99999999999", "a", "b"}, "0 to 254"},
        RefusedRow{"level without value", {"a", "b", "--level"}, "needs a value"},
        RefusedRow{"level twice", {"--level", "1", "--level", "2", "a", "b"}, "more than once"},
        RefusedRow{"unknown format", {"--format", "hex", "a", "b"}, "\"hex\""},
        RefusedRow{"name starting with a digit",
                   {"--format=c", "--name", "9lives", "a", "b"},
                   "\"9lives\""},
        RefusedRow{
            "name with a dash", {"--format=c", "--name", "my-logo", "a", "b"}, "\"my-logo\""},
        RefusedRow{"keyword as name", {"--format=c", "--name", "int", "a", "b"}, "\"int\""},
        RefusedRow{"name for a binary array", {"--name", "logo", "a", "b"}, "--format c"},
        RefusedRow{"unknown option", {"--colour", "red", "a", "b"}, "\"--colour\""},
        RefusedRow{"unknown short option", {"-x", "a", "b"}, "\"-x\""},
        RefusedRow{"no picture", {"--level", "3"}, "No picture"},
        RefusedRow{"empty picture name", {"", "b"}, "empty"},
        RefusedRow{"picture from standard input", {"-", "b"}, "standard input"},
        RefusedRow{"several pictures to a port", {"--port", "1", "a", "b", "c.h"}, "--port"},
        RefusedRow{"several pictures' frames", {"--frames=all", "a", "b", "c.h"}, "--frames"},
        RefusedRow{"output among the pictures", {"a", "./b", "b"}, "also a picture"},
        RefusedRow{"preview among the pictures", {"--preview", "a", "a", "b", "c.h"}, "also"},
        RefusedRow{"several pictures and no output", {"a.png", "b.png", "c.png"}, "\"c.png\""},
        RefusedRow{
            "two pictures and no output", {"--size", "16x16", "a.png", "b.png"}, "--preview"},
        RefusedRow{"array into a picture's name", {"a.jpg", "a.PNG"}, "--preview"},
        RefusedRow{"array into an SVGZ's name", {"a.jpg", "logo.svgz"}, "--preview"},
        RefusedRow{"array into a photo's name", {"a.jpg", "b.HEIC"}, "--preview"},
        RefusedRow{"array into a webp's name", {"a.jpg", "b.webp"}, "--preview"},
        RefusedRow{"array into an avif's name", {"a.jpg", "b.avif"}, "--preview"},
        RefusedRow{"array into a clip's name", {"a.jpg", "a.webm"}, "--preview"},
        RefusedRow{"frame rate without frames", {"--fps=5", "a", "b"}, "--frames"},
        RefusedRow{"frame rate zero", {"--frames=all", "--fps=0", "a", "b"}, "\"0\""},
        RefusedRow{"frame rate over 100", {"--frames=all", "--fps=101", "a", "b"}, "1 to 100"},
        RefusedRow{"the picture as output", {"a.jpg", "./a.jpg"}, "also a picture"},
        RefusedRow{"preview over the picture", {"--preview", "a.png", "a.png"}, "also"},
        RefusedRow{"boot wait without a port", {"--boot-wait=0", "a", "b"}, "--port"},
        RefusedRow{"boot wait in seconds", {"--port=1", "--boot-wait=2s", "a"}, "\"2s\""},
        RefusedRow{"boot wait over a minute", {"--port=1", "--boot-wait=60001", "a"}, "60000"},
        RefusedRow{"nowhere to write", {"a"}, "Nothing to write"},
        RefusedRow{"array and preview to one file", {"--preview", "./x.png", "a", "x.png"}, "both"},
        RefusedRow{"array and preview to standard output", {"--preview", "-", "a", "-"}, "both"},
        RefusedRow{"link without a port", {"--link", "a", "b"}, "--port"},
        RefusedRow{"finding without the link", {"--port", "auto", "a"}, "--link"},
        RefusedRow{"boot wait on the link", {"--port=1", "--link", "--boot-wait=0", "a"}, "answer"},
        RefusedRow{"port zero", {"--port", "0", "a"}, "\"0\""},
        RefusedRow{"port word", {"--port", "COM", "a"}, "\"COM\""},
        RefusedRow{"port with text", {"--port", "5x", "a"}, "\"5x\""},
        RefusedRow{"frame zero", {"--frames", "0", "a", "b"}, "\"0\""},
        RefusedRow{"frames backwards", {"--frames", "3-2", "a", "b"}, "\"3-2\""},
        RefusedRow{"frames open range", {"--frames", "2-", "a", "b"}, "\"2-\""},
        RefusedRow{"frames word", {"--frames", "some", "a", "b"}, "\"some\""},
        RefusedRow{"compress for a binary array", {"--compress", "a", "b"}, "--format c"},
        RefusedRow{"unknown dither", {"--dither", "random", "a", "b"}, "\"random\""},
        RefusedRow{"dither in capitals", {"--dither=Atkinson", "a", "b"}, "\"Atkinson\""},
        RefusedRow{"switch with a value", {"--invert=yes", "a", "b"}, "takes no value"},
        RefusedRow{"switch twice", {"--smooth", "--smooth", "a", "b"}, "more than once"},
        RefusedRow{"unknown layout", {"--layout", "columns", "a", "b"}, "\"columns\""},
        RefusedRow{"size without height", {"--size", "128", "a", "b"}, "\"128\""},
        RefusedRow{"size too large", {"--size", "2048x64", "a", "b"}, "\"2048x64\""},
        RefusedRow{"x bitmap in rows", {"--format=xbm", "--layout=rows", "a", "b"}, "xbm layout"},
        RefusedRow{"x bitmap of frames", {"--format=xbm", "--frames=all", "a", "b"}, "no frames"},
        RefusedRow{"name for an output named as binary", {"--name=x", "a", "b.bin"}, "--format c"},
        RefusedRow{
            "compressed rows", {"--format=c", "--compress", "--layout=rows", "a", "b"}, "player"},
        RefusedRow{
            "compressed icon", {"--format=c", "--compress", "--size=16x16", "a", "b"}, "player"}),
    [](const testing::TestParamInfo<RefusedRow>& row) {
        std::string name = row.param.what;
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
        }
        return name;
    });

TEST(Arguments, FramesAreAllANumberOrARangeAndCompressTakesFrameOne)
{
    const std::pair<const char*, std::pair<int, int>> rows[] = {
        {"all", {1, 0}}, {"7", {7, 7}}, {"2-5", {2, 5}}, {"10000", {10000, 10000}}};
    for (const auto& [text, range] : rows) {
        const ConvertRequest r = parse({"--frames", text, "a", "b"}).request;
        ASSERT_TRUE(r.frames.has_value()) << text;
        EXPECT_EQ(std::make_pair(r.frames->first, r.frames->last), range) << text;
    }
    EXPECT_FALSE(parse({"a", "b"}).request.frames.has_value());
    const ConvertRequest compressed = parse({"--format=c", "--compress", "a", "b"}).request;
    EXPECT_TRUE(compressed.compress);
    ASSERT_TRUE(compressed.frames.has_value());
    EXPECT_EQ(compressed.frames->last, 1);
}

TEST(Arguments, SizeAndLayoutChooseTheDisplayAndAnXBitmapIsInTheXbmLayout)
{
    EXPECT_EQ(parse({"a", "b"}).request.display, DisplayFormat{});
    const ConvertRequest r = parse({"--size", "128x32", "--layout=rows", "a", "b"}).request;
    EXPECT_EQ(r.display, (DisplayFormat{{128, 32}, &rowsLayout()}));
    const ConvertRequest x = parse({"--format", "xbm", "--size=16x16", "a", "b"}).request;
    EXPECT_EQ(x.display, (DisplayFormat{{16, 16}, &xbmLayout()}));
    for (const char* size : {"128X64", "128\u00d764"}) {
        EXPECT_EQ(parse({"--size", size, "a", "b"}).request.display.size, (DisplaySize{128, 64}))
            << size;
    }
}

TEST(Arguments, SeveralPicturesGoToTheLastArgument)
{
    const ConvertRequest r = parse({"--name=icons", "a.png", "b.gif", "c.bmp", "icons.h"}).request;
    EXPECT_EQ(r.inputs, (QStringList{"a.png", "b.gif", "c.bmp"}));
    EXPECT_EQ(r.output, "icons.h");
    EXPECT_EQ(r.name, "icons");
}

TEST(Arguments, WithoutAFormatTheOutputsExtensionChoosesIt)
{
    const std::pair<QStringList, ArrayFormat> rows[] = {
        {{"a", "logo.h"}, ArrayFormat::CHeader},
        {{"a", "logo.hpp"}, ArrayFormat::CHeader},
        {{"a", "logo.c"}, ArrayFormat::CHeader},
        {{"a", "dir.x/LOGO.H"}, ArrayFormat::CHeader},
        {{"a", "logo.xbm"}, ArrayFormat::Xbm},
        {{"a", "logo.bin"}, ArrayFormat::Binary},
        {{"a", "logo.h.bin"}, ArrayFormat::Binary},
        {{"a", "logo"}, ArrayFormat::Binary},
        {{"a", "-"}, ArrayFormat::Binary},
        {{"--preview=p.png", "a"}, ArrayFormat::Binary},
        {{"--format=bin", "a", "logo.h"}, ArrayFormat::Binary},
        {{"--format=c", "a", "logo.xbm"}, ArrayFormat::CHeader},
        {{"--format=bin", "a", "logo.png"}, ArrayFormat::Binary},
    };
    for (const auto& [arguments, format] : rows) {
        EXPECT_EQ(parse(arguments).request.format, format) << arguments.join(u' ').toStdString();
    }
}

TEST(CIdentifiers, AcceptLettersDigitsAndUnderscoresNotStartingWithADigit)
{
    for (const char* name : {"logo", "_x", "Logo_2", "a", "display_array", "x1y2", "Class"}) {
        EXPECT_TRUE(isCIdentifier(QString::fromLatin1(name))) << name;
    }
    for (const char* name : {"", "2x", "my-logo", "my logo", "a.b", "const", "class", "static",
                             "uint8_t[2]", "_Bool", "and"}) {
        EXPECT_FALSE(isCIdentifier(QString::fromLatin1(name))) << name;
    }
    EXPECT_FALSE(isCIdentifier(QStringLiteral("caf\u00e9")));
}

TEST(CHeaderText, DeclaresTheArrayAndListsEveryByteColumnByColumn)
{
    DisplayArray array;
    array[0] = 0x01;
    array[7] = 0xA5;
    array[1023] = 0xFF;
    const QByteArray text = cHeader(array, QStringLiteral("logo"), QStringLiteral("from x"));
    EXPECT_TRUE(text.contains("const uint8_t logo[1024] PROGMEM = {\n"));
    EXPECT_TRUE(text.contains("#ifdef __AVR__\n#include <avr/pgmspace.h>\n"));
    EXPECT_TRUE(text.contains("    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xA5, // column 0\n"));
    EXPECT_TRUE(
        text.contains("    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, // column 127\n};\n"));
    EXPECT_EQ(text.count("0x"), 1024);
}

TEST(CHeaderText, AFileNameCannotBreakOutOfTheComment)
{
    const QByteArray text = cHeader(DisplayArray{}, QStringLiteral("logo"),
                                    QStringLiteral("from \"a\nint x = 1;\r.jpg\""));
    EXPECT_TRUE(text.startsWith("// from \"a?int x = 1;?.jpg\"\n")) << text.left(60).data();
}

TEST(ExitStatus, EachKindOfFailureHasItsOwn)
{
    EXPECT_EQ(exitStatusFor(ErrorCode::UsageError), 2);
    EXPECT_EQ(exitStatusFor(ErrorCode::FileNotFound), 3);
    EXPECT_EQ(exitStatusFor(ErrorCode::FileUnreadable), 3);
    for (const ErrorCode code :
         {ErrorCode::NotAPicture, ErrorCode::PictureTooLarge, ErrorCode::PictureDamaged,
          ErrorCode::MetafileFailed, ErrorCode::MetafileTimedOut, ErrorCode::MetafileHelperMissing,
          ErrorCode::PictureReaderMissing}) {
        EXPECT_EQ(exitStatusFor(code), 4) << static_cast<int>(code);
    }
    EXPECT_EQ(exitStatusFor(ErrorCode::ArrayFileNotWritten), 5);
    EXPECT_EQ(exitStatusFor(ErrorCode::PreviewNotWritten), 5);
    for (int number = 3001; number <= 3014; ++number) {
        EXPECT_EQ(exitStatusFor(static_cast<ErrorCode>(number)), 6) << number;
    }
}

struct Captured {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

Captured run(const QStringList& arguments)
{
    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    Captured c;
    c.status = runConverter(QStringList{QStringLiteral("pixelcast-convert")} + arguments, out, err);
    c.out = out.data();
    c.err = err.data();
    return c;
}

TEST(Converter, HelpGoesToStandardOutputWithTheExitStatuses)
{
    const Captured c = run({"--help"});
    EXPECT_EQ(c.status, 0);
    EXPECT_TRUE(c.err.isEmpty());
    EXPECT_TRUE(c.out.startsWith("Usage: pixelcast-convert"));
    for (const char* line : {"  2  wrong arguments", "  3  the picture file", "  6  the serial"}) {
        EXPECT_TRUE(c.out.contains(line)) << line;
    }
}

TEST(Converter, VersionIsTheProjectVersion)
{
    const Captured c = run({"--version"});
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(c.out, QByteArray("pixelcast-convert " PIXELCAST_VERSION "\n"));
}

TEST(Converter, AUsageErrorIsNumberedAndPointsToTheHelp)
{
    const Captured c = run({"--level", "300", "in.bmp", "out.bin"});
    EXPECT_EQ(c.status, 2);
    EXPECT_TRUE(c.out.isEmpty());
    EXPECT_TRUE(c.err.startsWith("Error 4001: The level \"300\""));
    EXPECT_TRUE(c.err.contains("--help"));
}

} // namespace
} // namespace pixelcast::cli
