#include "display/display_array.h"
#include "output/array_file.h"
#include "output/xbm_file.h"
#include "pixels/surface.h"
#include "support/pseudo_terminal.h"
#include "support/run_program.h"
#include "support/test_files.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QStandardPaths>

#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pixelcast {
namespace {

using test::bytesOf;
using test::errorFrom;
using test::fileBytes;
using test::writeFileBytes;

DisplayArray countingArray()
{
    DisplayArray array;
    for (std::size_t i = 0; i < kDefaultArrayBytes; ++i) {
        array[i] = static_cast<std::uint8_t>((i * 7 + i / 256) & 0xFF);
    }
    return array;
}

// Every file under `root` with its contents, to show that a failed write changed nothing.
QMap<QString, QByteArray> snapshot(const QString& root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(path, it.fileInfo().isFile() ? fileBytes(path) : QByteArray("<folder>"));
    }
    return files;
}

// A small tmpfs of its own, where the tests run as root and may mount.
class TmpfsMount {
public:
    TmpfsMount(const QString& where, const char* options) : m_where(QFile::encodeName(where))
    {
        QDir().mkpath(where);
        m_mounted =
            ::geteuid() == 0 && ::mount("tmpfs", m_where.constData(), "tmpfs", 0, options) == 0;
    }
    ~TmpfsMount()
    {
        if (m_mounted) {
            ::umount2(m_where.constData(), MNT_DETACH);
        }
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    [[nodiscard]] bool mounted() const { return m_mounted; }
    [[nodiscard]] bool makeReadOnly()
    {
        return ::mount(nullptr, m_where.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    QByteArray m_where;
    bool m_mounted = false;
};

TEST(ArrayFile, AnAllWhiteResultGives1024BytesOfFF)
{
    const Surface white(kDisplayWidth, kDisplayHeight, kWhite);
    DisplayArray array;
    buildDisplayArray(white, array);
    const test::ScratchDir scratch;

    writeArrayBytes(scratch.path(QStringLiteral("white.bin")), array);

    EXPECT_EQ(fileBytes(scratch.path(QStringLiteral("white.bin"))), QByteArray(1024, '\xFF'));
}

TEST(ArrayFile, HoldsExactlyTheArrayInIndexOrderWhateverWasThereBefore)
{
    const DisplayArray array = countingArray();
    struct Row {
        const char* what;
        qsizetype oldSize; // -1: no file yet
    };
    for (const Row row : {Row{"new file", -1}, Row{"empty file", 0}, Row{"shorter file", 100},
                          Row{"same length", 1024}, Row{"longer file", 5000}}) {
        const test::ScratchDir scratch;
        const QString target = scratch.path(QStringLiteral("array.bin"));
        if (row.oldSize >= 0) {
            writeFileBytes(target, QByteArray(row.oldSize, '\xAA'));
        }
        writeArrayBytes(target, array);
        EXPECT_EQ(fileBytes(target), bytesOf(array)) << row.what;
        EXPECT_EQ(QDir(scratch.root()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QStringLiteral("array.bin")})
            << row.what << ": a temporary file was left behind";
    }
}

TEST(ArrayFile, AnImpossibleTargetIsReportedAndChangesNothing)
{
    struct Row {
        const char* what;
        // Prepares the scratch folder and returns the target; an empty result skips the row.
        std::function<QString(const test::ScratchDir&, std::unique_ptr<TmpfsMount>&)> prepare;
    };
    const Row rows[] = {
        {"a path under a regular file",
         [](const test::ScratchDir& s, std::unique_ptr<TmpfsMount>&) {
             writeFileBytes(s.path(QStringLiteral("plain")), "not a folder");
             return s.path(QStringLiteral("plain/array.bin"));
         }},
        {"a folder that does not exist",
         [](const test::ScratchDir& s, std::unique_ptr<TmpfsMount>&) {
             return s.path(QStringLiteral("missing/array.bin"));
         }},
        {"an existing folder",
         [](const test::ScratchDir& s, std::unique_ptr<TmpfsMount>&) {
             QDir().mkpath(s.path(QStringLiteral("array.bin")));
             return s.path(QStringLiteral("array.bin"));
         }},
        {"a read-only folder",
         [](const test::ScratchDir& s, std::unique_ptr<TmpfsMount>& mount) {
             const QString folder = s.path(QStringLiteral("locked"));
             if (::geteuid() != 0) {
                 QDir().mkpath(folder);
                 writeFileBytes(folder + QStringLiteral("/array.bin"), QByteArray(2000, '\x55'));
                 ::chmod(QFile::encodeName(folder).constData(), 0555);
                 return folder + QStringLiteral("/array.bin");
             }
             // Folder permissions do not stop root; a read-only file system does.
             mount = std::make_unique<TmpfsMount>(folder, "size=64k");
             if (!mount->mounted()) {
                 return QString();
             }
             writeFileBytes(folder + QStringLiteral("/array.bin"), QByteArray(2000, '\x55'));
             return mount->makeReadOnly() ? folder + QStringLiteral("/array.bin") : QString();
         }},
    };
    for (const Row& row : rows) {
        const test::ScratchDir scratch;
        std::unique_ptr<TmpfsMount> mount;
        const QString target = row.prepare(scratch, mount);
        if (target.isEmpty()) {
            std::cout << "[ SKIPPED  ] " << row.what << ": cannot mount here\n";
            continue;
        }
        const auto before = snapshot(scratch.root());

        const auto error = errorFrom([&] { writeArrayBytes(target, countingArray()); });

        ASSERT_TRUE(error) << row.what;
        EXPECT_EQ(error->code(), ErrorCode::ArrayFileNotWritten) << row.what;
        EXPECT_TRUE(error->description().contains(QDir::toNativeSeparators(target)))
            << row.what << ": " << error->description().toStdString();
        EXPECT_EQ(snapshot(scratch.root()), before) << row.what;
        ::chmod(QFile::encodeName(scratch.path(QStringLiteral("locked"))).constData(), 0755);
    }
}

// A reader of X bitmaps: the picture it makes of the file, or nothing when it is not there.
struct XbmReader {
    const char* name;
    std::optional<QImage> (*read)(const QByteArray& xbm);
};

std::optional<QImage> readWithQt(const QByteArray& xbm)
{
    return QImage::fromData(xbm, "XBM");
}

// ImageMagick 6 takes a file for no X bitmap unless its array is declared as X writes it.
std::optional<QImage> readWithImageMagick(const QByteArray& xbm)
{
    constexpr int kTimeoutMs = 20000;
    const QString convert = QStandardPaths::findExecutable(QStringLiteral("convert"));
    if (convert.isEmpty() || !test::runProgram(convert, {QStringLiteral("-version")}, kTimeoutMs)
                                  .out.contains("ImageMagick")) {
        return std::nullopt;
    }
    const test::ScratchDir scratch;
    const QString file = scratch.write(QStringLiteral("logo.xbm"), xbm);
    const test::Finished done =
        test::runProgram(convert, {file, QStringLiteral("png:-")}, kTimeoutMs);
    EXPECT_EQ(done.status, 0) << done.err.toStdString();
    return QImage::fromData(done.out, "PNG");
}

class XbmFileReadBack : public testing::TestWithParam<XbmReader> {};

TEST_P(XbmFileReadBack, IsThePictureWithLitPixelsAsSetBits)
{
    // 13 x 5: rows padded to whole bytes; the array's own layout is not the X bitmap's.
    Surface picture(13, 5, kBlack);
    for (const auto& [x, y] : {std::pair{0, 0}, {12, 0}, {7, 2}, {8, 3}, {12, 4}}) {
        picture.write(x, y, kWhite);
    }
    const std::optional<QImage> image = GetParam().read(
        xbmFile(packDisplay(picture, {{13, 5}, &verticalLayout()}), QStringLiteral("logo")));
    if (!image) {
        GTEST_SKIP() << GetParam().name << " is not installed";
    }
    ASSERT_EQ(image->size(), QSize(13, 5));
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 13; ++x) {
            // A set bit is the foreground, which readers show black.
            EXPECT_EQ(qGray(image->pixel(x, y)) == 0, picture.read(x, y) == kWhite)
                << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Readers, XbmFileReadBack,
                         testing::Values(XbmReader{"Qt", readWithQt},
                                         XbmReader{"ImageMagick", readWithImageMagick}),
                         [](const testing::TestParamInfo<XbmReader>& row) {
                             return std::string(row.param.name);
                         });

TEST(ArrayFile, AnEmptyNameIsRefusedWithoutCreatingAFile)
{
    const test::ScratchDir scratch;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(scratch.root()));
    const auto error = errorFrom([] { writeArrayBytes(QString(), DisplayArray{}); });
    QDir::setCurrent(previous);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), ErrorCode::ArrayFileNotWritten);
    EXPECT_TRUE(snapshot(scratch.root()).isEmpty());
}

TEST(ArrayFile, AFullDiskKeepsTheOldFileWhole)
{
    const test::ScratchDir scratch;
    const QString folder = scratch.path(QStringLiteral("small"));
    const TmpfsMount disk(folder, "size=64k");
    if (!disk.mounted()) {
        GTEST_SKIP() << "needs root and a system that lets the test mount a tmpfs";
    }
    const QString target = folder + QStringLiteral("/array.bin");
    const QByteArray old(1024, '\x5A');
    writeFileBytes(target, old);
    // Fill every remaining block.
    QFile filler(folder + QStringLiteral("/filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray block(4096, 'f');
    while (filler.write(block) == block.size()) {
    }
    filler.close();
    const auto before = snapshot(folder);

    const auto error = errorFrom([&] { writeArrayBytes(target, countingArray()); });

    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), ErrorCode::ArrayFileNotWritten);
    EXPECT_TRUE(error->description().contains(target)) << error->description().toStdString();
    EXPECT_EQ(fileBytes(target), old);
    EXPECT_EQ(snapshot(folder), before) << "a temporary file was left behind";
}

} // namespace
} // namespace pixelcast
