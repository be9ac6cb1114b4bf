#include "picture_loader.h"

#include "decoders/byte_order.h"
#include "decoders/picture_facts.h"
#include "decoders/picture_formats.h"
#include "decoders/picture_sinks.h"
#include "errors/error.h"
#include "metafile/metafile.h"
#include "pixels/stretch.h"
#include "svg/svg.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pixelcast {

namespace {

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

bool looksLikeMetafile(const QByteArray& bytes)
{
    if (bytes.size() >= 4 && le32(bytes, 0) == 0x9AC6CDD7U) {
        return true; // placeable header
    }
    // Standard header: type 1 (memory) or 2 (disk), header size 9 words, version 1 or 3.
    if (bytes.size() >= 18) {
        const std::uint32_t type = le16(bytes, 0);
        const std::uint32_t headerWords = le16(bytes, 2);
        const std::uint32_t version = le16(bytes, 4);
        return (type == 1 || type == 2) && headerWords == 9 &&
               (version == 0x0100 || version == 0x0300);
    }
    return false;
}

// Passes everything on to `inner` and keeps count of the rows: those delivered, those the
// inner sink declined, and the first one a decoder said the file ended before. The rest
// never arrived.
class RowCountingSink final : public PictureSink {
public:
    explicit RowCountingSink(PictureSink& inner) : m_inner(inner) {}

    void begin(int width, int height) override
    {
        m_width = width;
        m_height = height;
        m_accounted.assign(static_cast<std::size_t>(height), false);
        m_inner.begin(width, height);
    }
    [[nodiscard]] bool wants(int y) const override
    {
        const bool wanted = m_inner.wants(y);
        if (!wanted) {
            account(y);
        }
        return wanted;
    }
    void row(int y, const Argb* pixels) override
    {
        account(y);
        m_inner.row(y, pixels);
    }
    void endedBefore(int y) override
    {
        m_endedBefore = std::clamp(y, 0, m_height);
        m_inner.endedBefore(y);
    }
    void endedAfterScans(int wholeScans) override
    {
        m_wholeScans = std::max(wholeScans, 0);
        m_inner.endedAfterScans(wholeScans);
    }
    void foundDamage(Damage kind) override
    {
        // Decoding as it stands is the lesser harm; skipping data is told over it.
        if (m_damage != Damage::DataSkipped) {
            m_damage = kind;
        }
        m_inner.foundDamage(kind);
    }

    [[nodiscard]] int width() const { return m_width; }
    [[nodiscard]] int height() const { return m_height; }
    [[nodiscard]] int missingRows() const
    {
        return std::max(m_height - m_accountedCount, m_height - m_endedBefore);
    }

    // Sets the result's missing rows and damage: rows that never arrived are told first,
    // then scans, then damaged data.
    void tell(LoadResult& result) const
    {
        result.missingRows = missingRows();
        result.wholeScans = 0;
        if (result.missingRows > 0) {
            result.damage = Damage::RowsMissing;
        } else if (m_wholeScans >= 0) {
            result.damage = Damage::ScansMissing;
            result.wholeScans = m_wholeScans;
        } else {
            result.damage = m_damage;
        }
    }

private:
    void account(int y) const
    {
        if (y >= 0 && y < m_height && !m_accounted[static_cast<std::size_t>(y)]) {
            m_accounted[static_cast<std::size_t>(y)] = true;
            ++m_accountedCount;
        }
    }

    PictureSink& m_inner;
    int m_width = 0;
    int m_height = 0;
    int m_endedBefore = std::numeric_limits<int>::max();
    int m_wholeScans = -1;
    Damage m_damage = Damage::None;
    mutable std::vector<bool> m_accounted;
    mutable int m_accountedCount = 0;
};

// A big JPEG was decoded reduced: `result` tells its own size, and its rows are counted at
// that size.
void tellOwnSize(LoadResult& result, PictureSize own)
{
    const int decodedHeight = result.height;
    if (own.height > 0 && decodedHeight > 0 && own.height != decodedHeight) {
        result.width = own.width;
        result.height = own.height;
        result.missingRows = static_cast<int>(static_cast<std::int64_t>(result.missingRows) *
                                              own.height / decodedHeight);
    }
}

// An animation's frames after the first, read in the same pass (RasterFormat::frames).
struct LaterFrames {
    int lastFrame = -1;
    FrameShown shown;
    // A failure once the first frame is in is kept in `failure` instead of thrown.
    bool keepFailure = false;
    AnimationInfo found;
    bool firstShown = false;
    std::exception_ptr failure;
};

[[noreturn]] void throwNotAPicture()
{
    throw Error(ErrorCode::NotAPicture,
                QStringLiteral("The file is not a GIF, JPEG, PNG, BMP, WMF, ICO, CUR, WebP, AVIF, "
                               "HEIF or SVG picture, nor an MP4, MOV, MKV, WebM or AVI video "
                               "clip."));
}

// A picture's bytes as its reader takes them: held whole, or for a format read through its
// file (a video clip, RasterFormat::streamFrames) read a piece at a time.
struct RasterInput {
    const RasterFormat* format = nullptr;
    std::span<const std::uint8_t> whole;
    const ByteReader* read = nullptr;
    std::size_t size = 0;

    [[nodiscard]] bool streamed() const { return read != nullptr; }

    AnimationInfo frames(PictureSink& still, int lastFrame, const FrameShown& shown) const
    {
        return streamed() ? format->streamFrames(*read, size, &still, 0, lastFrame, shown)
                          : format->frames(whole, still, lastFrame, shown);
    }
    void decode(PictureSink& sink, QSize reduceFor) const
    {
        if (streamed()) {
            format->streamFrames(*read, size, &sink, 0, 0, [](const FrameCanvas&) {});
        } else {
            format->decode(whole, sink, reduceFor);
        }
    }
    [[nodiscard]] int countFrames() const
    {
        return streamed() ? format->streamCount(*read, size) : format->countFrames(whole);
    }
    [[nodiscard]] bool hasFrames() const { return format->frames != nullptr; }
};

// The input of bytes held whole; throws NotAPicture when they are none of the formats.
RasterInput wholeInput(const QByteArray& bytes)
{
    const RasterFormat* format = rasterFormatOf(bytes);
    if (format == nullptr) {
        throwNotAPicture();
    }
    return {format, byteSpan(bytes)};
}

// Hands the bytes to the reader of their format and tells what it found. Metafiles are
// not decoded here: they are drawn at their own size by the helper program (see
// decodePicture). Given `later`, an animation's frames are counted as they are composed,
// else in a pass of their own.
LoadResult decodeRaster(const RasterInput& input, PictureSink& sink, QSize reduceFor,
                        LaterFrames* later = nullptr)
{
    const RasterFormat* format = input.format;
    RowCountingSink counter(sink);
    LoadResult result;
    result.format = QString::fromLatin1(format->name);
    if (input.hasFrames() && later != nullptr) {
        try {
            later->found =
                input.frames(counter, later->lastFrame, [later](const FrameCanvas& canvas) {
                    later->firstShown = later->firstShown || canvas.index == 0;
                    later->shown(canvas);
                });
        } catch (...) {
            if (!later->keepFailure || !later->firstShown) {
                throw;
            }
            later->failure = std::current_exception();
        }
        // The frames composed are those that begin in the file when the composition read
        // the whole file; otherwise they are counted.
        const bool wholeFile = !later->failure && !later->found.endedEarly &&
                               (later->lastFrame < 0 || later->found.frames <= later->lastFrame);
        result.frames = std::max(1, wholeFile ? later->found.frames : input.countFrames());
    } else {
        input.decode(counter, reduceFor);
        if (format->countFrames != nullptr) {
            result.frames = std::max(1, input.countFrames());
        }
    }
    result.width = counter.width();
    result.height = counter.height();
    counter.tell(result);
    if (format->ownSize != nullptr && !input.streamed()) {
        if (const std::optional<PictureSize> own = format->ownSize(input.whole)) {
            tellOwnSize(result, *own);
        }
    }
    return result;
}

// Takes every row and keeps none: the first frame of an animation whose later frames alone
// are wanted.
class DiscardingSink final : public PictureSink {
public:
    void begin(int /*width*/, int /*height*/) override {}
    [[nodiscard]] bool wants(int /*y*/) const override { return true; }
    void row(int /*y*/, const Argb* /*pixels*/) override {}
};

LoadResult metafileResult(const Surface& picture)
{
    LoadResult result;
    result.format = QStringLiteral("WMF");
    result.width = picture.width();
    result.height = picture.height();
    return result;
}

LoadResult svgResult(const QByteArray& bytes, const SvgDrawing& drawing)
{
    LoadResult result;
    result.format = isGzip(bytes) ? QStringLiteral("SVGZ") : QStringLiteral("SVG");
    result.width = drawing.ownWidth;
    result.height = drawing.ownHeight;
    result.damage = drawing.damaged ? Damage::DataSkipped : Damage::None;
    return result;
}

// An open picture file, checked to be an ordinary file within the size limit.
class PictureFile {
public:
    explicit PictureFile(const QString& fileName)
        : m_name(fileName),
          // O_NONBLOCK: opening a FIFO must not wait for a writer.
          m_fd(::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC))
    {
        if (m_fd.get() < 0) {
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
        if (::fstat(m_fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
            throw Error(ErrorCode::FileUnreadable,
                        QStringLiteral("\"%1\" is not an ordinary file.").arg(fileName));
        }
        if (info.st_size > kMaxPictureFileBytes) {
            throw Error(ErrorCode::PictureTooLarge,
                        QStringLiteral("The file \"%1\" is %2 MB long; picture files of more than "
                                       "%3 MB are not read.")
                            .arg(fileName)
                            .arg(info.st_size / (1024LL * 1024))
                            .arg(kMaxPictureFileBytes / (1024LL * 1024)));
        }
        m_size = static_cast<qsizetype>(info.st_size);
        // Back to blocking reads: a regular file never blocks for long.
        ::fcntl(m_fd.get(), F_SETFL, ::fcntl(m_fd.get(), F_GETFL) & ~O_NONBLOCK);
    }

    // The size found when the file was opened.
    [[nodiscard]] qsizetype size() const { return m_size; }

    // Up to `length` bytes from `at` into `into`; fewer only where the file ends.
    std::size_t readAt(std::size_t at, char* into, std::size_t length) const
    {
        std::size_t filled = 0;
        while (filled < length) {
            const ssize_t got = ::pread(m_fd.get(), into + filled, length - filled,
                                        static_cast<off_t>(at + filled));
            if (got == 0) {
                break;
            }
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                throwUnreadable(errno);
            }
            filled += static_cast<std::size_t>(got);
        }
        return filled;
    }

    // The whole file.
    [[nodiscard]] QByteArray readAll() const
    {
        // Read straight into the result, one byte more than the size found, so that a file
        // that grew meanwhile shows as a read that fills the room.
        QByteArray bytes;
        qsizetype filled = 0;
        for (;;) {
            if (filled == bytes.size()) {
                bytes.resize(std::min<qsizetype>(std::max<qsizetype>(2 * filled, m_size + 1),
                                                 kMaxPictureFileBytes + 1));
            }
            const ssize_t got = ::read(m_fd.get(), bytes.data() + filled,
                                       static_cast<std::size_t>(bytes.size() - filled));
            if (got == 0) {
                break;
            }
            if (got < 0) {
                if (errno == EINTR) {
                    continue;
                }
                throwUnreadable(errno);
            }
            filled += static_cast<qsizetype>(got);
            if (filled > kMaxPictureFileBytes) {
                throw Error(ErrorCode::PictureTooLarge,
                            QStringLiteral("The file \"%1\" grew past %2 MB while it was read.")
                                .arg(m_name)
                                .arg(kMaxPictureFileBytes / (1024LL * 1024)));
            }
        }
        bytes.truncate(filled);
        return bytes;
    }

private:
    [[noreturn]] void throwUnreadable(int error) const
    {
        throw Error(ErrorCode::FileUnreadable, QStringLiteral("The file \"%1\" cannot be read: %2.")
                                                   .arg(m_name, describeErrno(error)));
    }

    QString m_name;
    Descriptor m_fd;
    qsizetype m_size = 0;
};

// Memory for a file's bytes taken straight from the system with its pages already in
// place: a big picture file read into freshly allocated memory otherwise takes a page fault
// per 4 KiB, which costs the converter more than some decoders' work.
class FileBuffer {
public:
    explicit FileBuffer(std::size_t size)
        : m_size(size), m_data(::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0))
    {
    }
    FileBuffer(const FileBuffer&) = delete;
    FileBuffer& operator=(const FileBuffer&) = delete;
    ~FileBuffer()
    {
        if (m_data != MAP_FAILED) {
            ::munmap(m_data, m_size);
        }
    }
    // Null when the system gave no memory.
    [[nodiscard]] char* data() const
    {
        return m_data == MAP_FAILED ? nullptr : static_cast<char*>(m_data);
    }

private:
    std::size_t m_size;
    void* m_data;
};

// Files smaller than this are read whole: streaming pays only where the bytes are many.
constexpr qsizetype kStreamFromBytes = qsizetype{1024} * 1024;

// The size a big JPEG is decoded reduced for: the target's, its sides swapped when the
// picture is turned a quarter, for the picture's width then lands on the target's height.
QSize reduceFor(const Surface& target, const RenderOptions& options)
{
    return orientationOf(options).swapped ? QSize(target.height(), target.width())
                                          : QSize(target.width(), target.height());
}

} // namespace

QString describeDamage(const LoadResult& picture)
{
    switch (picture.damage) {
    case Damage::None:
        break;
    case Damage::RowsMissing:
        return QStringLiteral("ends early: %1 of its %2 rows are missing")
            .arg(picture.missingRows)
            .arg(picture.height);
    case Damage::ScansMissing:
        if (picture.wholeScans == 0) {
            return QStringLiteral("ends early, before its first scan is whole");
        }
        return picture.wholeScans == 1
                   ? QStringLiteral("ends early: only its first scan arrived whole")
                   : QStringLiteral("ends early: only its first %1 scans arrived whole")
                         .arg(picture.wholeScans);
    case Damage::DataSkipped:
        return QStringLiteral("holds damaged data, which was skipped");
    case Damage::ChecksumFailed:
        return QStringLiteral("holds data that fails its checksum");
    }
    return {};
}

QString describeDamage(const AnimationInfo& animation)
{
    if (!animation.endedEarly) {
        return animation.dataSkipped ? QStringLiteral("holds damaged data, which was skipped")
                                     : QString();
    }
    if (animation.wholeFrames < animation.frames) {
        return QStringLiteral("ends early: frame %1 arrived in part, and any frames after it "
                              "are missing")
            .arg(animation.frames);
    }
    return QStringLiteral("ends early after frame %1: any frames after it are missing")
        .arg(animation.frames);
}

Error fileNamedIn(const Error& error, const QString& fileName)
{
    const QString quoted = u'"' + fileName + u'"';
    if (error.number() / 1000 != 1 || error.description().contains(quoted)) {
        return error;
    }
    QString description = error.description();
    // "The file is empty." goes on as "\"x.jpg\": the file is empty."; a capital that
    // starts a name (JPEG) stays.
    if (description.size() > 1 && description[1].isLower()) {
        description[0] = description[0].toLower();
    }
    return {error.code(), quoted + QStringLiteral(": ") + description};
}

QByteArray readPictureFile(const QString& fileName)
{
    return PictureFile(fileName).readAll();
}

Surface decodePicture(const QByteArray& bytes, ColorRef background, QSize reduceFor,
                      LoadResult* about)
{
    if (bytes.isEmpty()) {
        throw Error(ErrorCode::NotAPicture, QStringLiteral("The file is empty."));
    }
    if (looksLikeMetafile(bytes)) {
        Surface picture = renderMetafile(bytes, background);
        if (about != nullptr) {
            *about = metafileResult(picture);
        }
        return picture;
    }
    if (looksLikeSvg(bytes)) {
        SvgDrawing drawing = renderSvg(bytes, background, {}, SvgFit::Own);
        if (about != nullptr) {
            *about = svgResult(bytes, drawing);
        }
        return std::move(drawing.picture);
    }
    SurfaceSink sink(background);
    const LoadResult result = decodeRaster(wholeInput(bytes), sink, reduceFor);
    if (about != nullptr) {
        *about = result;
    }
    return sink.take();
}

LoadResult decodePictureOnto(const QByteArray& bytes, Surface& target, ColorRef background,
                             const RenderOptions& options)
{
    if (bytes.isEmpty()) {
        throw Error(ErrorCode::NotAPicture, QStringLiteral("The file is empty."));
    }
    if (looksLikeMetafile(bytes)) {
        const Surface picture = renderMetafile(bytes, background);
        stretchOnto(picture, target, background, options);
        return metafileResult(picture);
    }
    if (looksLikeSvg(bytes)) {
        LoadResult about;
        const Surface picture = drawPictureFor(
            bytes, background, QSize(target.width(), target.height()), options, &about);
        stretchOnto(picture, target, background, options);
        return about;
    }
    // Decoded into a copy: a failure half way leaves the target as it was.
    Surface result(target.width(), target.height(), background);
    StretchSink sink(result, background, options);
    LoadResult about = decodeRaster(wholeInput(bytes), sink, reduceFor(target, options));
    sink.finish();
    target = std::move(result);
    return about;
}

namespace {

LoadResult framesOnto(const RasterInput& input, Surface& target, ColorRef background,
                      const RenderOptions& options, int lastFrame, const FrameShown& shown,
                      AnimationInfo& animation)
{
    Surface result(target.width(), target.height(), background);
    StretchSink sink(result, background, options);
    LaterFrames later;
    later.lastFrame = lastFrame;
    later.shown = [&](const FrameCanvas& canvas) {
        if (canvas.index == 0) {
            sink.finish();
            target = std::move(result);
        }
        shown(canvas);
    };
    LoadResult about = decodeRaster(input, sink, reduceFor(target, options), &later);
    animation = later.found;
    return about;
}

Surface pictureAndFrames(const RasterInput& input, ColorRef background, QSize reduceFor,
                         LoadResult& about, const FrameShown& shown, AnimationInfo& animation,
                         std::exception_ptr& laterFailure)
{
    SurfaceSink sink(background);
    LaterFrames later;
    later.shown = shown;
    later.keepFailure = true;
    about = decodeRaster(input, sink, reduceFor, &later);
    animation = later.found;
    laterFailure = later.failure;
    return sink.take();
}

AnimationInfo animationOf(const RasterInput& input, int firstFrame, int lastFrame,
                          const FrameShown& shown)
{
    const RasterFormat& format = *input.format;
    if (input.streamed()) {
        return format.streamFrames(*input.read, input.size, nullptr, firstFrame, lastFrame, shown);
    }
    if (format.framesFrom != nullptr) {
        return format.framesFrom(input.whole, firstFrame, lastFrame, shown);
    }
    DiscardingSink first;
    return format.frames(input.whole, first, lastFrame, [&](const FrameCanvas& canvas) {
        if (canvas.index >= firstFrame) {
            shown(canvas);
        }
    });
}

// The format of the file's first bytes when it is read through its file (a video clip),
// else null.
const RasterFormat* streamedFormatOf(const PictureFile& file);

// Runs `streamed` with the input of a file read through (a video clip), or `whole` with
// the whole file's bytes; the file is named in the errors.
template <typename Streamed, typename Whole>
auto throughFile(const QString& fileName, Streamed streamed, Whole whole)
{
    const PictureFile file(fileName);
    return namingFile(fileName, [&] {
        if (const RasterFormat* format = streamedFormatOf(file)) {
            const ByteReader read = [&file](std::size_t at, std::span<std::uint8_t> into) {
                return file.readAt(at, reinterpret_cast<char*>(into.data()), into.size());
            };
            return streamed(RasterInput{format, {}, &read, static_cast<std::size_t>(file.size())});
        }
        return whole(file.readAll());
    });
}

const RasterFormat* streamedFormatOf(const PictureFile& file)
{
    std::array<std::uint8_t, kFormatSignatureBytes> head{};
    const std::size_t got = file.readAt(0, reinterpret_cast<char*>(head.data()), head.size());
    const RasterFormat* format = rasterFormatOf(std::span<const std::uint8_t>(head.data(), got));
    return format != nullptr && format->streamFrames != nullptr ? format : nullptr;
}

} // namespace

LoadResult decodeFramesOnto(const QByteArray& bytes, Surface& target, ColorRef background,
                            const RenderOptions& options, int lastFrame, const FrameShown& shown,
                            AnimationInfo& animation)
{
    if (!hasFrames(bytes)) {
        return decodePictureOnto(bytes, target, background, options);
    }
    return framesOnto(wholeInput(bytes), target, background, options, lastFrame, shown, animation);
}

Surface decodePictureAndFrames(const QByteArray& bytes, ColorRef background, QSize reduceFor,
                               LoadResult& about, const FrameShown& shown, AnimationInfo& animation,
                               std::exception_ptr& laterFailure)
{
    if (!hasFrames(bytes)) {
        return decodePicture(bytes, background, reduceFor, &about);
    }
    return pictureAndFrames(wholeInput(bytes), background, reduceFor, about, shown, animation,
                            laterFailure);
}

bool isDrawing(const QByteArray& bytes)
{
    return looksLikeSvg(bytes);
}

Surface drawPictureFor(const QByteArray& bytes, ColorRef background, QSize targetSize,
                       const RenderOptions& options, LoadResult* about)
{
    // Drawn at the size the stretch lays it on, turned: stretchPlacement gives the same
    // box again for the drawing's size, so the stretch copies it pixel for pixel.
    const QSize box = orientationOf(options).swapped ? targetSize.transposed() : targetSize;
    SvgDrawing drawing =
        renderSvg(bytes, background, box, options.keepAspect ? SvgFit::Keep : SvgFit::Fill);
    if (about != nullptr) {
        *about = svgResult(bytes, drawing);
    }
    return std::move(drawing.picture);
}

bool hasFrames(const QByteArray& bytes)
{
    if (bytes.isEmpty() || looksLikeMetafile(bytes)) {
        return false;
    }
    const RasterFormat* format = rasterFormatOf(bytes);
    return format != nullptr && format->frames != nullptr;
}

AnimationInfo decodeAnimation(const QByteArray& bytes, int firstFrame, int lastFrame,
                              const FrameShown& shown)
{
    if (!hasFrames(bytes)) {
        throwNotAPicture();
    }
    return animationOf(wholeInput(bytes), firstFrame, lastFrame, shown);
}

bool isStreamedPicture(const QString& fileName)
{
    try {
        return streamedFormatOf(PictureFile(fileName)) != nullptr;
    } catch (const Error&) {
        return false;
    }
}

LoadResult decodeFileFramesOnto(const QString& fileName, Surface& target, ColorRef background,
                                const RenderOptions& options, int lastFrame,
                                const FrameShown& shown, AnimationInfo& animation)
{
    return throughFile(
        fileName,
        [&](const RasterInput& input) {
            return framesOnto(input, target, background, options, lastFrame, shown, animation);
        },
        [&](const QByteArray& bytes) {
            return decodeFramesOnto(bytes, target, background, options, lastFrame, shown,
                                    animation);
        });
}

Surface decodeFilePictureAndFrames(const QString& fileName, ColorRef background, QSize reduceFor,
                                   LoadResult& about, const FrameShown& shown,
                                   AnimationInfo& animation, std::exception_ptr& laterFailure)
{
    return throughFile(
        fileName,
        [&](const RasterInput& input) {
            return pictureAndFrames(input, background, reduceFor, about, shown, animation,
                                    laterFailure);
        },
        [&](const QByteArray& bytes) {
            return decodePictureAndFrames(bytes, background, reduceFor, about, shown, animation,
                                          laterFailure);
        });
}

AnimationInfo decodeFileAnimation(const QString& fileName, int firstFrame, int lastFrame,
                                  const FrameShown& shown)
{
    return throughFile(
        fileName,
        [&](const RasterInput& input) { return animationOf(input, firstFrame, lastFrame, shown); },
        [&](const QByteArray& bytes) {
            return decodeAnimation(bytes, firstFrame, lastFrame, shown);
        });
}

Surface loadPicture(const QString& fileName, ColorRef background)
{
    if (fileName.isEmpty()) {
        return {};
    }
    const QByteArray bytes = readPictureFile(fileName);
    return namingFile(fileName, [&] { return decodePicture(bytes, background); });
}

LoadResult loadAndScale(const QString& fileName, Surface& source, Surface& scaled,
                        ColorRef background, const RenderOptions& options)
{
    LoadResult about;
    Surface picture;
    if (!fileName.isEmpty()) {
        const QByteArray bytes = readPictureFile(fileName);
        picture = namingFile(fileName, [&] {
            if (isDrawing(bytes)) {
                return drawPictureFor(bytes, background, QSize(scaled.width(), scaled.height()),
                                      options, &about);
            }
            return decodePicture(bytes, background, reduceFor(scaled, options), &about);
        });
    }
    source = std::move(picture);
    stretchOnto(source, scaled, background, options);
    return about;
}

namespace {

LoadResult decodeWholeFileOnto(const PictureFile& file, Surface& scaled, ColorRef background,
                               const RenderOptions& options);

// loadScaled for a file opened.
LoadResult decodeFileOnto(const PictureFile& file, Surface& scaled, ColorRef background,
                          const RenderOptions& options)
{
    // A video clip is read a piece at a time as its first frame is decoded.
    if (const RasterFormat* format = streamedFormatOf(file)) {
        const ByteReader read = [&file](std::size_t at, std::span<std::uint8_t> into) {
            return file.readAt(at, reinterpret_cast<char*>(into.data()), into.size());
        };
        Surface result(scaled.width(), scaled.height(), background);
        StretchSink sink(result, background, options);
        LoadResult about =
            decodeRaster(RasterInput{format, {}, &read, static_cast<std::size_t>(file.size())},
                         sink, reduceFor(scaled, options));
        sink.finish();
        scaled = std::move(result);
        return about;
    }
    // A big uncompressed BMP is read a row at a time: only the rows the stretch takes, or
    // every row once for the area mean, never the whole file at once; a big JPEG a piece
    // at a time as libjpeg asks for it.
    if (file.size() >= kStreamFromBytes) {
        Surface result(scaled.width(), scaled.height(), background);
        StretchSink sink(result, background, options);
        RowCountingSink counter(sink);
        const ByteReader read = [&file](std::size_t at, std::span<std::uint8_t> into) {
            return file.readAt(at, reinterpret_cast<char*>(into.data()), into.size());
        };
        LoadResult about;
        std::array<char, 3> signature{};
        if (file.readAt(0, signature.data(), signature.size()) == signature.size() &&
            startsWith(byteSpan(QByteArray::fromRawData(signature.data(), signature.size())),
                       kJpegSignature)) {
            const QSize reduced = reduceFor(scaled, options);
            const PictureSize own =
                decodeJpegStreamed(read, counter, reduced.width(), reduced.height());
            about.format = QStringLiteral("JPEG");
            about.width = counter.width();
            about.height = counter.height();
            counter.tell(about);
            tellOwnSize(about, own);
        } else if (decodeBmpStreamed(read, static_cast<std::size_t>(file.size()), counter)) {
            about.format = QStringLiteral("BMP");
            about.width = counter.width();
            about.height = counter.height();
            counter.tell(about);
        } else {
            return decodeWholeFileOnto(file, scaled, background, options);
        }
        sink.finish();
        scaled = std::move(result);
        return about;
    }
    return decodeWholeFileOnto(file, scaled, background, options);
}

// decodePictureOnto for the whole file.
LoadResult decodeWholeFileOnto(const PictureFile& file, Surface& scaled, ColorRef background,
                               const RenderOptions& options)
{
    // One byte more than the size found, so that a file that grew meanwhile shows as a read
    // that fills the room; such a file is read again the ordinary way.
    const auto room = static_cast<std::size_t>(file.size()) + 1;
    const FileBuffer buffer(room);
    if (buffer.data() != nullptr) {
        const std::size_t filled = file.readAt(0, buffer.data(), room);
        if (filled < room) {
            return decodePictureOnto(
                QByteArray::fromRawData(buffer.data(), static_cast<qsizetype>(filled)), scaled,
                background, options);
        }
    }
    return decodePictureOnto(file.readAll(), scaled, background, options);
}

} // namespace

LoadResult loadScaled(const QString& fileName, Surface& scaled, ColorRef background,
                      const RenderOptions& options)
{
    if (fileName.isEmpty()) {
        scaled.fill(background);
        return {};
    }
    const PictureFile file(fileName);
    return namingFile(fileName, [&] { return decodeFileOnto(file, scaled, background, options); });
}

} // namespace pixelcast
