#include "picture_loader.h"

#include "conversion/error.h"
#include "conversion/metafile.h"
#include "conversion/stretch.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pixelcast {

namespace {

// Qt's JPEG reader uses its faster settings below 50.
constexpr int kReducedJpegQuality = 49;

QString describeErrno(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Closes a POSIX descriptor on every path out.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    [[nodiscard]] int get() const { return m_fd; }

private:
    int m_fd;
};

// Little-endian reads for the metafile signatures.
quint32 le32(const QByteArray& b, int at)
{
    return static_cast<quint32>(static_cast<quint8>(b[at])) |
           static_cast<quint32>(static_cast<quint8>(b[at + 1])) << 8U |
           static_cast<quint32>(static_cast<quint8>(b[at + 2])) << 16U |
           static_cast<quint32>(static_cast<quint8>(b[at + 3])) << 24U;
}
quint16 le16(const QByteArray& b, int at)
{
    return static_cast<quint16>(static_cast<quint8>(b[at]) | static_cast<quint8>(b[at + 1]) << 8U);
}

// The Qt image format that decodes these bytes, judged by their signature alone, or empty
// when they are none of the accepted formats. Only the matching decoder ever sees the
// bytes: no other image plugin is asked whether it can read them.
QByteArray sniffFormat(const QByteArray& b)
{
    if (b.startsWith("GIF87a") || b.startsWith("GIF89a")) {
        return "gif";
    }
    if (b.startsWith("\xFF\xD8\xFF")) {
        return "jpeg";
    }
    if (b.startsWith("BM")) {
        return "bmp";
    }
    if (b.startsWith("\x89PNG\r\n\x1A\n")) {
        return "png";
    }
    // Icon and cursor directories: reserved 0, type 1 (icon) or 2 (cursor), entries > 0.
    if (b.size() >= 6 && le16(b, 0) == 0 && (le16(b, 2) == 1 || le16(b, 2) == 2) &&
        le16(b, 4) > 0) {
        return le16(b, 2) == 1 ? "ico" : "cur";
    }
    return {};
}

bool looksLikeMetafile(const QByteArray& bytes)
{
    if (bytes.size() >= 4 && le32(bytes, 0) == 0x9AC6CDD7U) {
        return true; // placeable header
    }
    // Standard header: type 1 (memory) or 2 (disk), header size 9 words, version 1 or 3.
    if (bytes.size() >= 18) {
        const quint16 type = le16(bytes, 0);
        const quint16 headerWords = le16(bytes, 2);
        const quint16 version = le16(bytes, 4);
        return (type == 1 || type == 2) && headerWords == 9 &&
               (version == 0x0100 || version == 0x0300);
    }
    return false;
}

ColorRef composite(QRgb pixel, ColorRef background)
{
    const int a = qAlpha(pixel);
    if (a == 255) {
        return rgb(qRed(pixel), qGreen(pixel), qBlue(pixel));
    }
    const auto blend = [a](int over, int under) {
        return (over * a + under * (255 - a) + 127) / 255;
    };
    return rgb(blend(qRed(pixel), redOf(background)), blend(qGreen(pixel), greenOf(background)),
               blend(qBlue(pixel), blueOf(background)));
}

Surface toSurface(const QImage& decoded, ColorRef background)
{
    // RGB32 is ARGB32 with every pixel opaque: read as it is, without a copy.
    const bool readable =
        decoded.format() == QImage::Format_RGB32 || decoded.format() == QImage::Format_ARGB32;
    const QImage image = readable ? decoded : decoded.convertToFormat(QImage::Format_ARGB32);
    const int width = image.width();
    const int height = image.height();
    Surface surface(width, height, background);
    // The image runs row by row and the surface column by column: turn bands of rows at a
    // time, so that each column gets a cache line's worth of pixels per visit instead of
    // one pixel per page on a big picture.
    constexpr int kBand = 64;
    for (int top = 0; top < height; top += kBand) {
        const int rows = std::min(kBand, height - top);
        std::array<const QRgb*, kBand> lines{};
        for (int r = 0; r < rows; ++r) {
            lines[static_cast<std::size_t>(r)] =
                reinterpret_cast<const QRgb*>(image.constScanLine(top + r));
        }
        for (int x = 0; x < width; ++x) {
            ColorRef* column = surface.column(x) + top;
            for (int r = 0; r < rows; ++r) {
                column[r] = composite(lines[static_cast<std::size_t>(r)][x], background);
            }
        }
    }
    return surface;
}

QString sizeText(QSize size)
{
    return QStringLiteral("%1 x %2").arg(size.width()).arg(size.height());
}

// The size in a BMP or GIF header. Qt's readers do not report it when the rest of the
// header looks wrong to them, and then fail later with a vague message.
QSize headerSize(const QByteArray& bytes, const QByteArray& format)
{
    if (format == "bmp" && bytes.size() >= 26 && le32(bytes, 14) >= 40) {
        const auto width = static_cast<qint32>(le32(bytes, 18));
        const auto height = static_cast<qint32>(le32(bytes, 22));
        if (width > 0 && height != 0 && height != INT32_MIN) {
            return {width, height < 0 ? -height : height};
        }
    }
    if (format == "gif" && bytes.size() >= 10) {
        return {le16(bytes, 6), le16(bytes, 8)};
    }
    return {};
}

void checkDeclaredSize(QSize size)
{
    if (!size.isValid()) {
        return; // the decoder will say whether it can read it
    }
    const qint64 pixels = static_cast<qint64>(size.width()) * size.height();
    if (size.width() > kMaxPictureSide || size.height() > kMaxPictureSide ||
        pixels > kMaxPicturePixels) {
        throw Error(ErrorCode::PictureTooLarge,
                    QStringLiteral("The picture declares a size of %1 pixels; the largest "
                                   "this program reads is %2 million pixels and %3 "
                                   "pixels a side.")
                        .arg(sizeText(size))
                        .arg(kMaxPicturePixels / 1'000'000)
                        .arg(kMaxPictureSide));
    }
}

} // namespace

QByteArray readPictureFile(const QString& fileName)
{
    const QByteArray path = QFile::encodeName(fileName);
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const Descriptor fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            throw Error(ErrorCode::FileNotFound,
                        QStringLiteral("The file \"%1\" does not exist.").arg(fileName));
        }
        throw Error(ErrorCode::FileUnreadable,
                    QStringLiteral("The file \"%1\" cannot be opened: %2.")
                        .arg(fileName, describeErrno(error)));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        throw Error(ErrorCode::FileUnreadable,
                    QStringLiteral("\"%1\" is not an ordinary file.").arg(fileName));
    }
    if (info.st_size > kMaxPictureFileBytes) {
        throw Error(ErrorCode::PictureTooLarge,
                    QStringLiteral("The file \"%1\" is %2 MB long; picture files of more than "
                                   "%3 MB are not read.")
                        .arg(fileName)
                        .arg(info.st_size / (1024 * 1024))
                        .arg(kMaxPictureFileBytes / (1024 * 1024)));
    }
    // Back to blocking reads: a regular file never blocks for long.
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);

    // Read straight into the result, one byte more than the size found, so that a file
    // that grew meanwhile shows as a read that fills the room.
    QByteArray bytes;
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            bytes.resize(std::min<qsizetype>(
                std::max<qsizetype>(2 * filled, static_cast<qsizetype>(info.st_size) + 1),
                kMaxPictureFileBytes + 1));
        }
        const ssize_t got = ::read(fd.get(), bytes.data() + filled,
                                   static_cast<std::size_t>(bytes.size() - filled));
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw Error(ErrorCode::FileUnreadable,
                        QStringLiteral("The file \"%1\" cannot be read: %2.")
                            .arg(fileName, describeErrno(errno)));
        }
        filled += static_cast<qsizetype>(got);
        if (filled > kMaxPictureFileBytes) {
            throw Error(ErrorCode::PictureTooLarge,
                        QStringLiteral("The file \"%1\" grew past %2 MB while it was read.")
                            .arg(fileName)
                            .arg(kMaxPictureFileBytes / (1024 * 1024)));
        }
    }
    bytes.truncate(filled);
    return bytes;
}

QSize reducedJpegSize(QSize picture, QSize reduceFor)
{
    // Qt asks libjpeg for M/8 of the picture, M = ceil(8 / f) for the factor f between
    // the picture and the size asked for, and resamples whatever differs from that size.
    // Asking for the rounded-down 1/d size gives exactly 1/d; libjpeg's own output
    // rounds up, so a side that d does not divide comes out one pixel longer and Qt
    // resamples it to the size asked for.
    QSize reduced;
    for (const int d : {2, 4, 8}) {
        const QSize candidate(picture.width() / d, picture.height() / d);
        if (candidate.width() < 2 * reduceFor.width() ||
            candidate.height() < 2 * reduceFor.height()) {
            break;
        }
        reduced = candidate;
    }
    return reduceFor.isEmpty() ? QSize() : reduced;
}

Surface decodePicture(const QByteArray& bytes, ColorRef background, QSize reduceFor)
{
    if (bytes.isEmpty()) {
        throw Error(ErrorCode::NotAPicture, QStringLiteral("The file is empty."));
    }
    if (looksLikeMetafile(bytes)) {
        return renderMetafile(bytes, background);
    }

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray format = sniffFormat(bytes);
    if (format.isEmpty()) {
        throw Error(ErrorCode::NotAPicture,
                    QStringLiteral("The file is not a GIF, JPEG, BMP, WMF, ICO or CUR picture."));
    }
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    // The size check below is ours; let Qt allocate what it allows.
    QImageReader::setAllocationLimit(static_cast<int>(kMaxPicturePixels * 4 / (1024 * 1024) + 16));

    checkDeclaredSize(headerSize(bytes, format));
    if (!reader.canRead()) {
        throw Error(ErrorCode::NotAPicture,
                    QStringLiteral("The file starts like a %1 picture but is not one.")
                        .arg(QString::fromLatin1(format.toUpper())));
    }
    checkDeclaredSize(reader.size());
    const QSize reduced = format == "jpeg" ? reducedJpegSize(reader.size(), reduceFor) : QSize();
    if (reduced.isValid()) {
        reader.setScaledSize(reduced);
        // Below Qt's "high quality" mark the decoder replicates chroma instead of
        // interpolating it, and the one-pixel resampling of a side that the reduction
        // does not divide takes the nearest pixel instead of smoothing the whole picture.
        reader.setQuality(kReducedJpegQuality);
    }

    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        throw Error(ErrorCode::PictureDamaged,
                    QStringLiteral("The %1 picture is damaged and cannot be decoded (%2).")
                        .arg(QString::fromLatin1(format.toUpper()), reader.errorString()));
    }
    checkDeclaredSize(image.size());
    return toSurface(image, background);
}

Surface loadPicture(const QString& fileName, ColorRef background)
{
    if (fileName.isEmpty()) {
        return {};
    }
    return decodePicture(readPictureFile(fileName), background);
}

void loadAndScale(const QString& fileName, Surface& source, Surface& scaled, ColorRef background)
{
    Surface picture = fileName.isEmpty() ? Surface()
                                         : decodePicture(readPictureFile(fileName), background,
                                                         QSize(scaled.width(), scaled.height()));
    source = std::move(picture);
    stretchOnto(source, scaled, background);
}

} // namespace pixelcast
