// The real pixelcast-convert program, run as a script would run it: its array is the one
// the window's "Create array" makes from the same picture at the same level, its header
// compiles, its preview is the result surface, and a failure writes nothing.
#include "decoders/picture_loader.h"
#include "display/display_array.h"
#include "pixels/greyscale.h"
#include "pixels/threshold.h"
#include "support/encoded_picture.h"
#include "support/expect_surface.h"
#include "support/fake_board.h"
#include "support/pseudo_terminal.h"
#include "support/run_program.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QtEndian>

#include <chrono>
#include <cstdint>
#include <gtest/gtest.h>
#include <map>
#include <unistd.h>

namespace pixelcast {
namespace {

using test::bytesOf;
using test::dataFile;
using test::fileBytes;
using test::ScratchDir;
using test::writeFileBytes;

constexpr int kProcessTimeoutMs = 20000;

using test::Finished;

Finished runProgram(const QString& program, const QStringList& arguments)
{
    return test::runProgram(program, arguments, kProcessTimeoutMs);
}

Finished convert(const QStringList& arguments)
{
    return runProgram(QStringLiteral(PIXELCAST_CONVERT_PROGRAM), arguments);
}

// What the window holds after "Load Image" at `level` and "Create array".
struct WindowResult {
    Surface result{kDisplayWidth, kDisplayHeight, kFaceColour};
    DisplayArray array;
};

WindowResult windowResult(const QString& picture, std::int16_t level)
{
    Surface source;
    Surface scaled(kDisplayWidth, kDisplayHeight, kFaceColour);
    loadAndScale(picture, source, scaled, kFaceColour);
    toGreyscale(scaled);
    WindowResult w;
    renderMonochrome(scaled, w.result, level);
    buildDisplayArray(w.result, w.array);
    return w;
}

// Colours that run through every grey level, so that each level gives another array.
QImage gradientImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb(x * 255 / width, y * 255 / height, (x * y) % 256));
        }
    }
    return image;
}

// The gradient as a BMP whose file ends after its bottom `keepRows` rows.
void writeCutBmp(const QString& path, int keepRows)
{
    ASSERT_TRUE(gradientImage(128, 64).save(path, "BMP"));
    QByteArray bytes = fileBytes(path);
    const auto dataAt = qFromLittleEndian<quint32>(bytes.constData() + 10);
    const qsizetype rowBytes = (bytes.size() - dataAt) / 64;
    writeFileBytes(path, bytes.left(dataAt + keepRows * rowBytes));
}

// --- The same array as the window -----------------------------------------------------

TEST(ConvertProgram, WritesTheWindowsArrayForEachPictureAndLevel)
{
    ScratchDir dir;
    const QString bmp = dir.path(QStringLiteral("gradient-300x200.bmp"));
    ASSERT_TRUE(gradientImage(300, 200).save(bmp, "BMP"));
    // Big enough to be decoded reduced.
    const QString bigJpeg = dir.path(QStringLiteral("gradient-1600x1200.jpg"));
    ASSERT_TRUE(gradientImage(1600, 1200).save(bigJpeg, "JPEG", 90));

    // WebP, AVIF and HEIF written by Debian's encoders.
    const QImage gradient = gradientImage(300, 200);
    const QString in = QStringLiteral("{in}");
    const QString to = QStringLiteral("{out}");
    const QStringList pictures{
        bmp,
        bigJpeg,
        dataFile(QStringLiteral("plasma-64x64.jpg")),
        dataFile(QStringLiteral("transparent-4x2.gif")),
        test::encodedWith(dir, {gradient}, QStringLiteral("cwebp"),
                          {QStringLiteral("-quiet"), in, QStringLiteral("-o"), to},
                          QStringLiteral("gradient.webp")),
        test::encodedWith(dir, {gradient}, QStringLiteral("avifenc"),
                          {QStringLiteral("-s"), QStringLiteral("10"), in, to},
                          QStringLiteral("gradient.avif")),
        test::encodedWith(dir, {gradient}, QStringLiteral("heif-enc"),
                          {in, QStringLiteral("-o"), to}, QStringLiteral("gradient.heic"))};
    for (const QString& picture : pictures) {
        QByteArray previous;
        for (const int level : {0, 60, 127, 200, 254}) {
            const QString out = dir.path(QStringLiteral("out.bin"));
            const Finished f =
                convert({QStringLiteral("--level"), QString::number(level), picture, out});
            ASSERT_EQ(f.status, 0) << f.err.toStdString();
            EXPECT_TRUE(f.out.isEmpty());
            EXPECT_TRUE(f.err.isEmpty()) << f.err.toStdString();
            const QByteArray written = fileBytes(out);
            EXPECT_EQ(written,
                      bytesOf(windowResult(picture, static_cast<std::int16_t>(level)).array))
                << picture.toStdString() << " at level " << level;
            if (picture == bmp) {
                EXPECT_NE(written, previous) << "level " << level << " made no difference";
            }
            previous = written;
        }
    }
}

TEST(ConvertProgram, DrawsMetafilesWithTheHelperBesideIt)
{
    // The program finds pixelcast-wmf in its own folder; this test process is elsewhere and
    // is pointed at the same helper for the expected array.
    const QString helper = QFileInfo(QStringLiteral(PIXELCAST_CONVERT_PROGRAM))
                               .dir()
                               .filePath(QStringLiteral("pixelcast-wmf"));
    qputenv("PIXELCAST_WMF_HELPER", QFile::encodeName(helper));
    ScratchDir dir;
    const QString picture = dataFile(QStringLiteral("shapes-200x100.wmf"));
    const QString out = dir.path(QStringLiteral("shapes.bin"));
    const Finished f = convert({picture, out});
    qunsetenv("PIXELCAST_WMF_HELPER");
    ASSERT_EQ(f.status, 0) << f.err.toStdString();
    qputenv("PIXELCAST_WMF_HELPER", QFile::encodeName(helper));
    const DisplayArray expected = windowResult(picture, 127).array;
    qunsetenv("PIXELCAST_WMF_HELPER");
    EXPECT_EQ(fileBytes(out), bytesOf(expected));
    EXPECT_NE(bytesOf(expected), QByteArray(1024, '\xFF')) << "the shapes left no mark";
}

// Without the library of photo readers an AVIF or HEIF is refused with a number of its own.
TEST(ConvertProgram, RefusesAHeifWithoutThePhotoReadersLibrary)
{
    ScratchDir dir;
    const QString heic =
        test::encodedWith(dir, {gradientImage(16, 16)}, QStringLiteral("heif-enc"),
                          {QStringLiteral("{in}"), QStringLiteral("-o"), QStringLiteral("{out}")},
                          QStringLiteral("a.heic"));
    const QByteArray kept = qgetenv("PIXELCAST_PHOTO_READERS");
    qputenv("PIXELCAST_PHOTO_READERS", QFile::encodeName(dir.path(QStringLiteral("none.so"))));
    const Finished f = convert({heic, QStringLiteral("-")});
    qputenv("PIXELCAST_PHOTO_READERS", kept);
    EXPECT_EQ(f.status, 4);
    EXPECT_TRUE(f.err.startsWith("Error 1013: ")) << f.err.toStdString();
}

TEST(ConvertProgram, APictureCutShortIsConvertedWithAWarning)
{
    ScratchDir dir;
    const QString cut = dir.path(QStringLiteral("cut.bmp"));
    writeCutBmp(cut, 24);
    const QString output = dir.path(QStringLiteral("cut.bin"));
    const Finished f = convert({cut, output});
    EXPECT_EQ(f.status, 0);
    EXPECT_EQ(f.err, QStringLiteral("Warning: the picture \"%1\" ends early: 40 of its 64 rows "
                                    "are missing; the rest is converted as it arrived.\n")
                         .arg(cut)
                         .toUtf8());
    EXPECT_EQ(fileBytes(output), bytesOf(windowResult(cut, 127).array));
}

TEST(ConvertProgram, DefaultLevelIs127)
{
    ScratchDir dir;
    const QString picture = dir.path(QStringLiteral("gradient.bmp"));
    ASSERT_TRUE(gradientImage(128, 64).save(picture, "BMP"));
    const Finished f = convert({picture, QStringLiteral("-")});
    ASSERT_EQ(f.status, 0) << f.err.toStdString();
    EXPECT_EQ(f.out, bytesOf(windowResult(picture, 127).array));
    EXPECT_NE(f.out, bytesOf(windowResult(picture, 126).array));
}

TEST(ConvertProgram, DashSendsTheArrayToStandardOutputOnly)
{
    ScratchDir dir;
    const QString picture = dir.path(QStringLiteral("gradient.bmp"));
    ASSERT_TRUE(gradientImage(200, 100).save(picture, "BMP"));
    const Finished f = convert({QStringLiteral("--level=90"), picture, QStringLiteral("-")});
    ASSERT_EQ(f.status, 0) << f.err.toStdString();
    EXPECT_EQ(f.out, bytesOf(windowResult(picture, 90).array));
    EXPECT_TRUE(f.err.isEmpty());
    EXPECT_EQ(QDir(dir.root()).entryList(QDir::Files), QStringList{QStringLiteral("gradient.bmp")});
}

TEST(ConvertProgram, ReplacesALongerArrayFileWhole)
{
    ScratchDir dir;
    const QString picture = dir.path(QStringLiteral("gradient.bmp"));
    ASSERT_TRUE(gradientImage(128, 64).save(picture, "BMP"));
    const QString out = dir.path(QStringLiteral("old-2000-bytes.bin"));
    writeFileBytes(out, QByteArray(2000, 'x'));
    const Finished f = convert({picture, out});
    ASSERT_EQ(f.status, 0) << f.err.toStdString();
    EXPECT_EQ(fileBytes(out), bytesOf(windowResult(picture, 127).array));
}

// --- Several pictures -----------------------------------------------------------------------

TEST(ConvertProgram, SeveralPicturesGiveEachOnesArrayAndPreviewInTheirOrder)
{
    ScratchDir dir;
    const QString bmp = dir.path(QStringLiteral("gradient.bmp"));
    ASSERT_TRUE(gradientImage(300, 200).save(bmp, "BMP"));
    const QStringList pictures{bmp, dataFile(QStringLiteral("plasma-64x64.jpg")),
                               dataFile(QStringLiteral("transparent-4x2.gif"))};
    const QStringList options{QStringLiteral("--smooth"), QStringLiteral("--rotate=90")};
    QByteArray arrays;
    QImage previews(kDisplayWidth, kDisplayHeight * 3, QImage::Format_RGB32);
    for (qsizetype i = 0; i < pictures.size(); ++i) {
        const QString preview = dir.path(QStringLiteral("one.png"));
        const Finished one = convert(options + QStringList{QStringLiteral("--preview"), preview,
                                                           pictures[i], QStringLiteral("-")});
        ASSERT_EQ(one.status, 0) << one.err.toStdString();
        arrays += one.out;
        const QImage image(preview);
        for (int y = 0; y < kDisplayHeight; ++y) {
            for (int x = 0; x < kDisplayWidth; ++x) {
                previews.setPixel(x, static_cast<int>(i) * kDisplayHeight + y, image.pixel(x, y));
            }
        }
    }
    const QString all = dir.path(QStringLiteral("all.png"));
    const Finished f = convert(options + QStringList{QStringLiteral("--preview"), all} + pictures +
                               QStringList{dir.path(QStringLiteral("all.bin"))});
    ASSERT_EQ(f.status, 0) << f.err.toStdString();
    EXPECT_EQ(fileBytes(dir.path(QStringLiteral("all.bin"))), arrays);
    EXPECT_EQ(QImage(all).convertToFormat(QImage::Format_RGB32), previews);
}

// --- Header and preview -------------------------------------------------------------------

// Compiles `source` with `compiler` and runs it; returns its standard output.
QByteArray compileAndRun(const ScratchDir& dir, const char* compiler, const QString& source,
                         const QStringList& flags)
{
    const QString program = dir.path(QStringLiteral("header-check"));
    const Finished built = runProgram(QString::fromLatin1(compiler),
                                      flags + QStringList{QStringLiteral("-I"), dir.root(), source,
                                                          QStringLiteral("-o"), program});
    EXPECT_EQ(built.status, 0) << built.err.toStdString();
    if (built.status != 0) {
        return {};
    }
    const Finished ran = runProgram(program, {});
    EXPECT_EQ(ran.status, 0) << ran.err.toStdString();
    return ran.out;
}

TEST(ConvertProgram, HeaderCompilesAsCAndCxxAndHoldsTheArray)
{
    ScratchDir dir;
    const QString picture = dir.path(QStringLiteral("gradient.bmp"));
    ASSERT_TRUE(gradientImage(256, 128).save(picture, "BMP"));
    const Finished f =
        convert({QStringLiteral("--format"), QStringLiteral("c"), QStringLiteral("--name"),
                 QStringLiteral("splash_screen"), QStringLiteral("--level"), QStringLiteral("100"),
                 picture, dir.path(QStringLiteral("splash.h"))});
    ASSERT_EQ(f.status, 0) << f.err.toStdString();
    const QByteArray expected = bytesOf(windowResult(picture, 100).array);

    // Included twice: the header guards itself.
    const QByteArray check = "#include \"splash.h\"\n"
                             "#include \"splash.h\"\n"
                             "#include <stdio.h>\n"
                             "int main(void)\n"
                             "{\n"
                             "    if (sizeof splash_screen != 1024) return 1;\n"
                             "    fwrite(splash_screen, 1, sizeof splash_screen, stdout);\n"
                             "    return 0;\n"
                             "}\n";
    writeFileBytes(dir.path(QStringLiteral("check.c")), check);
    writeFileBytes(dir.path(QStringLiteral("check.cpp")), check);
    const QStringList strict{QStringLiteral("-Wall"), QStringLiteral("-Wextra"),
                             QStringLiteral("-pedantic"), QStringLiteral("-Werror")};
    EXPECT_EQ(compileAndRun(dir, PIXELCAST_HOST_CC, dir.path(QStringLiteral("check.c")),
                            strict + QStringList{QStringLiteral("-std=c99")}),
              expected);
    EXPECT_EQ(compileAndRun(dir, PIXELCAST_HOST_CXX, dir.path(QStringLiteral("check.cpp")),
                            strict + QStringList{QStringLiteral("-std=c++11")}),
              expected);

    // On an AVR board the array goes to flash through avr/pgmspace.h; a stand-in proves
    // that the header includes it there and takes PROGMEM from it.
    ASSERT_TRUE(QDir(dir.root()).mkdir(QStringLiteral("avr")));
    writeFileBytes(dir.path(QStringLiteral("avr/pgmspace.h")),
                   "#define PGMSPACE_STAND_IN 1\n#define PROGMEM "
                   "__attribute__((section(\".rodata.progmem\")))\n");
    writeFileBytes(dir.path(QStringLiteral("avr-check.c")),
                   "#include \"splash.h\"\n"
                   "#ifndef PGMSPACE_STAND_IN\n#error avr/pgmspace.h was not included\n#endif\n" +
                       check.mid(check.indexOf("#include <stdio.h>")));
    EXPECT_EQ(compileAndRun(
                  dir, PIXELCAST_HOST_CC, dir.path(QStringLiteral("avr-check.c")),
                  strict + QStringList{QStringLiteral("-std=c99"), QStringLiteral("-D__AVR__")}),
              expected);
}

TEST(ConvertProgram, PreviewIsTheResultSurface)
{
    ScratchDir dir;
    const QString picture = dir.path(QStringLiteral("gradient.jpg"));
    ASSERT_TRUE(gradientImage(700, 500).save(picture, "JPEG", 90));
    const QString preview = dir.path(QStringLiteral("preview.png"));
    const Finished f =
        convert({QStringLiteral("--level=140"), QStringLiteral("--preview"), preview, picture});
    ASSERT_EQ(f.status, 0) << f.err.toStdString();
    const QByteArray png = fileBytes(preview);
    EXPECT_TRUE(png.startsWith("\x89PNG"));
    const QImage image = QImage::fromData(png, "PNG");
    ASSERT_EQ(image.size(), QSize(kDisplayWidth, kDisplayHeight));
    const WindowResult w = windowResult(picture, 140);
    EXPECT_TRUE(test::surfaceMatches(w.result, [&](int x, int y) {
        return image.pixel(x, y) == qRgb(255, 255, 255) ? kWhite : kBlack;
    }));
    // Only the preview was asked for.
    EXPECT_EQ(QDir(dir.root()).entryList(QDir::Files).size(), 2);
}

// --- Failures -----------------------------------------------------------------------------

struct FailureRow {
    const char* what;
    QStringList arguments; // {dir} stands for the scratch folder
    int status;
    const char* error;
};

class Failure : public testing::TestWithParam<FailureRow> {};

// Every entry of the folder with the bytes of each file in it.
std::map<QString, QByteArray> filesIn(const ScratchDir& dir)
{
    std::map<QString, QByteArray> files;
    for (const QFileInfo& entry :
         QDir(dir.root()).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
        files[entry.fileName()] = entry.isFile() ? fileBytes(entry.filePath()) : QByteArray();
    }
    return files;
}

TEST_P(Failure, ExitsWithItsStatusAndNumberAndWritesNothing)
{
    const FailureRow& row = GetParam();
    ScratchDir dir;
    ASSERT_TRUE(gradientImage(128, 64).save(dir.path(QStringLiteral("good.bmp")), "BMP"));
    writeFileBytes(dir.path(QStringLiteral("text.jpg")), "not a picture at all\n");
    writeFileBytes(dir.path(QStringLiteral("damaged.jpg")),
                   QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(600, '\x5A'));
    writeFileBytes(dir.path(QStringLiteral("old.bin")), "the old array");
    writeCutBmp(dir.path(QStringLiteral("cut.bmp")), 24);
    ASSERT_TRUE(gradientImage(16, 16).save(dir.path(QStringLiteral("stop.png")), "PNG"));
    // good.bmp under a second name.
    ASSERT_EQ(::link(QFile::encodeName(dir.path(QStringLiteral("good.bmp"))).constData(),
                     QFile::encodeName(dir.path(QStringLiteral("good-too.bin"))).constData()),
              0);
    ASSERT_TRUE(QDir(dir.root()).mkdir(QStringLiteral("folder")));
    const std::map<QString, QByteArray> before = filesIn(dir);

    QStringList arguments;
    for (const QString& a : row.arguments) {
        arguments.append(QString(a).replace(QStringLiteral("{dir}"), dir.root()));
    }
    const Finished f = convert(arguments);
    EXPECT_EQ(f.status, row.status) << f.err.toStdString();
    EXPECT_TRUE(f.err.startsWith(
        QString::fromUtf8(row.error).replace(QStringLiteral("{dir}"), dir.root()).toUtf8()))
        << f.err.toStdString();
    EXPECT_EQ(f.err.count('\n'), f.status == 2 ? 2 : 1) << f.err.toStdString();
    // A picture's failure names its file.
    if (f.status == 3 || f.status == 4) {
        EXPECT_TRUE(f.err.contains("\"" + dir.root().toUtf8() + '/')) << f.err.toStdString();
    }
    EXPECT_TRUE(f.out.isEmpty());
    EXPECT_EQ(filesIn(dir), before);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Failure,
    testing::Values(
        FailureRow{"level out of range",
                   {"--level", "255", "{dir}/good.bmp", "{dir}/old.bin"},
                   2,
                   "Error 4001: "},
        FailureRow{
            "unknown option", {"--negate", "{dir}/good.bmp", "{dir}/old.bin"}, 2, "Error 4001: "},
        FailureRow{"picture cut short under --strict",
                   {"--strict", "--preview", "{dir}/new.png", "{dir}/cut.bmp", "{dir}/old.bin"},
                   4,
                   "Error 1005: "},
        FailureRow{"bad name",
                   {"--format=c", "--name=a b", "{dir}/good.bmp", "{dir}/x.h"},
                   2,
                   "Error 4001: "},
        FailureRow{"two pictures and no output",
                   {"--size", "16x16", "{dir}/good.bmp", "{dir}/stop.png"},
                   2,
                   "Error 4001: The OUTPUT file \"{dir}/stop.png\" is named as a picture but "
                   "would receive the array's bytes. For a PNG of the rendering use --preview"},
        FailureRow{"array into a new picture's name",
                   {"{dir}/good.bmp", "{dir}/good.png"},
                   2,
                   "Error 4001: The OUTPUT file \"{dir}/good.png\" is named as a picture"},
        FailureRow{"the picture as output",
                   {"{dir}/good.bmp", "{dir}/good.bmp"},
                   2,
                   "Error 4001: The OUTPUT file \"{dir}/good.bmp\" is also a picture"},
        FailureRow{"the picture under another name as output",
                   {"{dir}/good.bmp", "{dir}/good-too.bin"},
                   2,
                   "Error 4001: The OUTPUT file \"{dir}/good-too.bin\" is also a picture"},
        FailureRow{"missing picture", {"{dir}/missing.jpg", "{dir}/old.bin"}, 3, "Error 1001: "},
        FailureRow{"missing picture with every output",
                   {"--preview", "{dir}/p.png", "{dir}/missing.jpg", "{dir}/new.bin"},
                   3,
                   "Error 1001: "},
        FailureRow{"folder as picture", {"{dir}/folder", "{dir}/old.bin"}, 3, "Error 1002: "},
        FailureRow{"text among several pictures",
                   {"{dir}/good.bmp", "{dir}/text.jpg", "{dir}/good.bmp", "{dir}/new.h"},
                   4,
                   "Error 1003: \"{dir}/text.jpg\": "},
        FailureRow{"text as picture", {"{dir}/text.jpg", "{dir}/old.bin"}, 4, "Error 1003: "},
        FailureRow{"damaged picture", {"{dir}/damaged.jpg", "-"}, 4, "Error 1005: "},
        FailureRow{"array into a missing folder",
                   {"{dir}/good.bmp", "{dir}/none/a.bin"},
                   5,
                   "Error 2001: "},
        FailureRow{"array onto a folder", {"{dir}/good.bmp", "{dir}/folder"}, 5, "Error 2001: "},
        FailureRow{"header into a missing folder",
                   {"--format", "c", "{dir}/good.bmp", "{dir}/none/a.h"},
                   5,
                   "Error 2001: "},
        FailureRow{"preview into a missing folder",
                   {"--preview", "{dir}/none/p.png", "{dir}/good.bmp", "{dir}/new.bin"},
                   5,
                   "Error 4002: "},
        FailureRow{"port that does not exist",
                   {"--port", "{dir}/no-such-tty", "{dir}/good.bmp", "{dir}/new.bin"},
                   6,
                   "Error 3001: Serial port {dir}/no-such-tty is not present"},
        FailureRow{"port that is not a serial port",
                   {"--port", "{dir}/old.bin", "--preview", "{dir}/p.png", "{dir}/good.bmp", "-"},
                   6,
                   "Error 300"}),
    [](const testing::TestParamInfo<FailureRow>& row) {
        std::string name = row.param.what;
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
        }
        return name;
    });

// --- The serial line ----------------------------------------------------------------------

TEST(ConvertProgram, PortPutsExactlyTheArrayOnTheLineAndTheFileBeside)
{
    test::PseudoTerminal line;
    ScratchDir dir;
    const QString picture = dir.path(QStringLiteral("gradient.bmp"));
    ASSERT_TRUE(gradientImage(300, 150).save(picture, "BMP"));
    const QString out = dir.path(QStringLiteral("sent.bin"));

    QProcess process;
    process.start(QStringLiteral(PIXELCAST_CONVERT_PROGRAM),
                  {QStringLiteral("--port"), line.devicePath(), QStringLiteral("--boot-wait=0"),
                   QStringLiteral("--level=77"), picture, out});
    const QByteArray received = line.receive(1024, std::chrono::seconds(15));
    ASSERT_TRUE(process.waitForFinished(kProcessTimeoutMs));

    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    const QByteArray expected = bytesOf(windowResult(picture, 77).array);
    EXPECT_EQ(received + line.receiveAny(std::chrono::milliseconds(100)), expected);
    EXPECT_EQ(fileBytes(out), expected);
}

// Opening the port restarts an Uno, whose boot loader would take the first bytes: nothing
// goes out until the board has had its time to start.
TEST(ConvertProgram, PortSendsNothingUntilTheBoardHasHadItsBootWait)
{
    constexpr std::chrono::milliseconds kBootWait{300};
    // The test sees the open a moment after it happens.
    constexpr std::chrono::milliseconds kSeenLate{30};
    test::PseudoTerminal line;
    line.watchOpening();
    ScratchDir dir;
    const QString picture = dir.path(QStringLiteral("gradient.bmp"));
    ASSERT_TRUE(gradientImage(128, 64).save(picture, "BMP"));

    QProcess process;
    process.start(QStringLiteral(PIXELCAST_CONVERT_PROGRAM),
                  {QStringLiteral("--port"), line.devicePath(),
                   QStringLiteral("--boot-wait=%1").arg(kBootWait.count()), picture});
    const auto opened = line.waitForOpening(std::chrono::seconds(15));
    ASSERT_TRUE(opened.has_value());
    const QByteArray first = line.receive(1, std::chrono::seconds(15));
    const auto firstByte = std::chrono::steady_clock::now();
    ASSERT_FALSE(first.isEmpty());
    EXPECT_GE(firstByte - *opened, kBootWait - kSeenLate);
    EXPECT_EQ(first + line.receive(1024 - first.size()), bytesOf(windowResult(picture, 127).array));
    ASSERT_TRUE(process.waitForFinished(kProcessTimeoutMs));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
}

// --- The live link -------------------------------------------------------------------------

// The converter over the live link to a board on one line (its display 128 x 64), with a
// silent line beside it. A run that succeeds also writes its array to standard output in
// the board's order, which the board must show at the end: the picture, or the last frame.
struct LinkRow {
    const char* what;
    QStringList arguments;
    int status;
    QString errorStart;
};

class LiveLinkConverter : public testing::TestWithParam<LinkRow> {};

TEST_P(LiveLinkConverter, ShowsThePictureOrSaysWhyNot)
{
    test::FakeBoard board;
    test::PseudoTerminal silent;
    QStringList arguments;
    for (QString argument : GetParam().arguments) {
        argument.replace(QStringLiteral("{board}"), board.devicePath());
        argument.replace(QStringLiteral("{silent}"), silent.devicePath());
        argument.replace(QStringLiteral("{data}"), dataFile({}));
        arguments.append(argument);
    }
    const Finished c = convert(arguments);
    QString errorStart = GetParam().errorStart;
    errorStart.replace(QStringLiteral("{silent}"), silent.devicePath());
    EXPECT_EQ(c.status, GetParam().status) << c.err.toStdString();
    EXPECT_TRUE(c.err.startsWith(errorStart.toUtf8())) << c.err.toStdString();
    if (c.status == 0) {
        const link::Bytes shown = board.memory();
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(shown.data()),
                             static_cast<qsizetype>(shown.size())),
                  c.out.right(static_cast<qsizetype>(shown.size())));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LiveLinkConverter,
    testing::Values(
        LinkRow{"still picture",
                {"{data}/plasma-64x64.jpg", "-", "--layout=pages", "--port", "{board}", "--link"},
                0,
                {}},
        LinkRow{"every frame",
                {"{data}/animated-square-64x32.gif", "-", "--layout=pages", "--frames=all",
                 "--port", "{board}", "--link"},
                0,
                {}},
        LinkRow{"another display size",
                {"--size=128x32", "{data}/plasma-64x64.jpg", "--port", "{board}", "--link"},
                6,
                QString::fromUtf8("Error 3013: The board's display is 128 × 64 pixels")},
        LinkRow{"no answer",
                {"{data}/plasma-64x64.jpg", "--port", "{silent}", "--link"},
                6,
                "Error 3011: The board on serial port {silent} did not answer"}),
    [](const testing::TestParamInfo<LinkRow>& row) {
        std::string name = row.param.what;
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
        }
        return name;
    });

} // namespace
} // namespace pixelcast
