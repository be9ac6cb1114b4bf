#include "pipeline/loaded_picture.h"

#include "decoders/animation.h"
#include "decoders/picture_sinks.h"
#include "errors/error.h"
#include "pixels/greyscale.h"
#include "pixels/stretch.h"

#include <QSize>

#include <exception>
#include <iterator>
#include <span>
#include <utility>

namespace pixelcast {

namespace {

// The size a big JPEG is decoded reduced for: the display's, its sides swapped when the
// picture is turned a quarter, for the picture's width then lands on the display's height.
QSize reduceFor(DisplaySize size, const RenderOptions& options)
{
    return orientationOf(options).swapped ? QSize(size.height, size.width)
                                          : QSize(size.width, size.height);
}

QString damageOf(const LoadResult& about)
{
    return about.damage == Damage::None ? QString() : describeDamage(about);
}

// The render and pack stages of one grey frame.
ConvertedFrame renderAndPack(const Surface& grey, const ConversionSettings& settings, int delayMs)
{
    const DisplaySize size = settings.display.size;
    ConvertedFrame frame{Surface(size.width, size.height, kFaceColour), DisplayArray(), delayMs};
    frame.array = renderAndPack(grey, frame.result, settings);
    return frame;
}

// A composed canvas stretched onto `size` with the options' stretch.
Surface stretchCanvas(const FrameCanvas& canvas, const RenderOptions& options, DisplaySize size)
{
    Surface scaled(size.width, size.height, kFaceColour);
    StretchSink sink(scaled, transparencyColour(options), options);
    deliverCanvas(canvas, sink);
    sink.finish();
    return scaled;
}

// Hands a stretched frame, not yet grey, and how long it stays.
using StretchedFrame = std::function<void(Surface& stretched, int delayMs)>;

} // namespace

// Where a picture's frames are decoded from: its bytes, or its file read through (a video
// clip, never held whole).
struct FrameSource {
    const QByteArray& bytes;
    // Set: the file to read through instead of the bytes.
    QString streamedFile;

    [[nodiscard]] bool animated() const { return !streamedFile.isEmpty() || hasFrames(bytes); }
    LoadResult framesOnto(Surface& target, ColorRef background, const RenderOptions& options,
                          int lastFrame, const FrameShown& shown, AnimationInfo& info) const
    {
        return streamedFile.isEmpty()
                   ? decodeFramesOnto(bytes, target, background, options, lastFrame, shown, info)
                   : decodeFileFramesOnto(streamedFile, target, background, options, lastFrame,
                                          shown, info);
    }
    [[nodiscard]] AnimationInfo animation(int firstFrame, int lastFrame,
                                          const FrameShown& shown) const
    {
        return streamedFile.isEmpty()
                   ? decodeAnimation(bytes, firstFrame, lastFrame, shown)
                   : decodeFileAnimation(streamedFile, firstFrame, lastFrame, shown);
    }
};

namespace {

// Decodes `source` and hands `stretched` each frame in `range`, in order, stretched onto
// `size` with the options' stretch over their transparency colour. Frame 1 is the picture
// the still decoders give; every later one is an animation's composed canvas, read in
// the same pass. One frame is held at a time. Throws the decoders' Error, and Error(UsageError)
// when the range runs past the picture's frames.
FramesFound stretchFrames(const FrameSource& source, const RenderOptions& options, DisplaySize size,
                          FrameRange range, const StretchedFrame& stretched)
{
    const ColorRef background = transparencyColour(options);
    FramesFound found;
    // Every canvas after the first, stretched; the first is the still's.
    Surface first;
    const auto shown = [&](const FrameCanvas& canvas) {
        if (canvas.index == 0) {
            stretched(first, canvas.delayMs);
            return;
        }
        Surface scaled = stretchCanvas(canvas, options, size);
        stretched(scaled, canvas.delayMs);
    };
    int available = 1;
    AnimationInfo info;
    const bool animated = source.animated();
    if (range.first == 1) {
        // The still decoders' frame 1, and an animation's later frames in the same pass.
        first = Surface(size.width, size.height, kFaceColour);
        found.about = source.framesOnto(first, background, options, range.last - 1, shown, info);
        if (!animated) {
            stretched(first, kShortDelayMs);
        }
    } else if (animated) {
        info = source.animation(range.first - 1, range.last - 1, shown);
    }
    if (animated) {
        available = info.frames;
        found.plays = info.plays;
        found.damage = describeDamage(info);
    }
    if (found.about.damage != Damage::None) {
        found.damage = describeDamage(found.about);
    }
    const int wanted = range.last == 0 ? range.first : range.last;
    if (available < wanted) {
        throw Error(ErrorCode::UsageError,
                    QStringLiteral("The picture has %1 frame(s); --frames asks for frame %2.")
                        .arg(available)
                        .arg(wanted));
    }
    return found;
}

} // namespace

Refit refitFor(const RenderOptions& before, DisplaySize sizeBefore, const RenderOptions& after,
               DisplaySize sizeAfter)
{
    const bool quarterTurned =
        (static_cast<int>(after.rotation) - static_cast<int>(before.rotation)) % 2 != 0;
    if (after.background != before.background || quarterTurned) {
        return Refit::Decode;
    }
    if (after.smooth != before.smooth || after.keepAspect != before.keepAspect ||
        after.rotation != before.rotation || after.flip != before.flip || sizeAfter != sizeBefore) {
        return Refit::Restretch;
    }
    return Refit::None;
}

LoadedPicture::LoadedPicture(QByteArray bytes, QString fileName)
    : m_hasPicture(true), m_bytes(std::move(bytes)), m_fileName(std::move(fileName))
{
}

LoadedPicture LoadedPicture::readFile(const QString& fileName)
{
    if (fileName.isEmpty()) {
        return {};
    }
    if (isStreamedPicture(fileName)) {
        LoadedPicture picture(QByteArray(), fileName);
        picture.m_streamed = true;
        return picture;
    }
    return LoadedPicture(readPictureFile(fileName), fileName);
}

LoadedPicture LoadedPicture::readStill(const QString& fileName, const RenderOptions& options,
                                       DisplaySize size)
{
    LoadedPicture picture;
    picture.m_hasPicture = !fileName.isEmpty();
    picture.m_fileName = fileName;
    picture.m_options = options;
    picture.m_size = size;
    Surface stretched(size.width, size.height, kFaceColour);
    picture.m_about = loadScaled(fileName, stretched, transparencyColour(options), options);
    picture.m_damage = damageOf(picture.m_about);
    toGreyscale(stretched);
    picture.keepOnly(stretched, kShortDelayMs);
    return picture;
}

LoadedPicture LoadedPicture::decodeStill(QByteArray bytes, const RenderOptions& options,
                                         DisplaySize size)
{
    LoadedPicture picture(std::move(bytes));
    picture.m_options = options;
    picture.m_size = size;
    Surface stretched(size.width, size.height, kFaceColour);
    picture.m_about =
        decodePictureOnto(picture.m_bytes, stretched, transparencyColour(options), options);
    picture.m_damage = damageOf(picture.m_about);
    toGreyscale(stretched);
    picture.keepOnly(stretched, kShortDelayMs);
    return picture;
}

LoadResult LoadedPicture::stretchStill(const RenderOptions& options, DisplaySize size,
                                       Surface& source, Surface& stretched)
{
    const ColorRef background = transparencyColour(options);
    LoadResult about;
    Surface picture;
    m_later.reset();
    if (m_hasPicture) {
        // An animation's later frames come in the same pass, made grey and kept for decodeFrames.
        LaterFrames later;
        AnimationInfo info;
        const auto shown = [&](const FrameCanvas& canvas) {
            if (canvas.index == 0) {
                later.firstDelayMs = canvas.delayMs;
                return;
            }
            Surface scaled = stretchCanvas(canvas, options, size);
            toGreyscale(scaled);
            later.frames.emplace_back(scaled);
            later.delays.push_back(canvas.delayMs);
        };
        picture = namingFile(m_fileName, [&] {
            if (!m_streamed && isDrawing(m_bytes)) {
                return drawPictureFor(m_bytes, background, QSize(size.width, size.height), options,
                                      &about);
            }
            return m_streamed
                       ? decodeFilePictureAndFrames(m_fileName, background,
                                                    reduceFor(size, options), about, shown, info,
                                                    later.failure)
                       : decodePictureAndFrames(m_bytes, background, reduceFor(size, options),
                                                about, shown, info, later.failure);
        });
        if (m_streamed || hasFrames(m_bytes)) {
            later.plays = info.plays;
            later.damage = describeDamage(info);
            m_later = std::move(later);
        }
    }
    Surface result(size.width, size.height, kFaceColour);
    stretchOnto(picture, result, background, options);
    source = std::move(picture);
    stretched = std::move(result);
    m_options = options;
    m_size = size;
    m_about = about;
    m_damage = damageOf(about);
    return about;
}

void LoadedPicture::greyStill(Surface& stretched, const std::function<void()>& afterColumn)
{
    toGreyscale(stretched, afterColumn);
    keepOnly(stretched, kShortDelayMs);
}

LoadResult LoadedPicture::loadStill(const RenderOptions& options, DisplaySize size, Surface& source)
{
    Surface stretched;
    LoadResult about = stretchStill(options, size, source, stretched);
    greyStill(stretched);
    return about;
}

void LoadedPicture::keepOnly(Surface& grey, int delayMs)
{
    m_frames.assign(1, GreySurface(grey));
    m_delays.assign(1, delayMs);
}

void LoadedPicture::decodeFrames()
{
    if (!m_later || m_frames.size() != 1) {
        decodeFrames(m_options, m_size);
        return;
    }
    LaterFrames later = std::move(*m_later);
    m_later.reset();
    if (later.failure) {
        std::rethrow_exception(later.failure);
    }
    m_frames.insert(m_frames.end(), std::make_move_iterator(later.frames.begin()),
                    std::make_move_iterator(later.frames.end()));
    m_delays.front() = later.firstDelayMs;
    m_delays.insert(m_delays.end(), later.delays.begin(), later.delays.end());
    m_plays = later.plays;
    m_damage = m_about.damage != Damage::None ? describeDamage(m_about) : later.damage;
}

void LoadedPicture::decodeFrames(const RenderOptions& options, DisplaySize size)
{
    std::vector<GreySurface> frames;
    std::vector<int> delays;
    const FramesFound found = stretchFrames(source(), options, size, FrameRange{1, 0},
                                            [&](Surface& stretched, int delayMs) {
                                                toGreyscale(stretched);
                                                frames.emplace_back(stretched);
                                                delays.push_back(delayMs);
                                            });
    m_options = options;
    m_size = size;
    tell(found);
    m_frames = std::move(frames);
    m_delays = std::move(delays);
}

void LoadedPicture::tell(const FramesFound& found)
{
    m_about = found.about;
    m_plays = found.plays;
    m_damage = found.damage;
}

Refit LoadedPicture::refit(const RenderOptions& options, DisplaySize size, Surface& source)
{
    Refit needed = refitFor(m_options, m_size, options, size);
    // A drawing is drawn for its stretch: another stretch draws it again.
    if (needed == Refit::Restretch && isDrawing(m_bytes)) {
        needed = Refit::Decode;
    }
    if (needed != Refit::None) {
        m_later.reset();
    }
    if (!m_hasPicture || needed == Refit::None) {
        m_options = options;
        m_size = size;
        return needed;
    }
    if (m_bytes.isEmpty() && !m_streamed) {
        *this = readStill(m_fileName, options, size);
        return Refit::Decode;
    }
    if (m_frames.size() > 1) {
        decodeFrames(options, size);
        return needed;
    }
    Surface stretched(size.width, size.height, kFaceColour);
    if (needed == Refit::Decode) {
        (void)stretchStill(options, size, source, stretched);
    } else {
        stretchOnto(source, stretched, transparencyColour(options), options);
        m_options = options;
        m_size = size;
    }
    greyStill(stretched);
    return needed;
}

ConvertedFrame LoadedPicture::convert(std::size_t frame, const ConversionSettings& settings) const
{
    return renderAndPack(m_frames.at(frame).expanded(), settings, m_delays.at(frame));
}

void LoadedPicture::convertEach(const ConversionSettings& settings, FrameRange range,
                                const std::function<void(ConvertedFrame&)>& converted)
{
    if (settings.framesPerSecond > 0) {
        convertResampled(settings, range, converted);
        return;
    }
    tell(stretchFrames(source(), settings.options, settings.display.size, range,
                       [&](Surface& stretched, int delayMs) {
                           toGreyscale(stretched);
                           ConvertedFrame frame = renderAndPack(stretched, settings, delayMs);
                           converted(frame);
                       }));
}

namespace {

// Thrown past the last frame of the range asked for: the rest is not decoded.
struct RangeDone {};

// The frames of a picture at `fps` frames a second: frame k is the picture's frame showing
// at k / fps seconds, for every k before the picture's last frame ends.
class Resampler {
public:
    explicit Resampler(int fps) : m_fps(fps) {}

    // A frame of the picture shown for `delayMs`: `handOn` runs with each resampled frame's
    // number (from 0) and delay that falls within it.
    void take(int delayMs, const std::function<void(int frame, int delayMs)>& handOn)
    {
        const std::int64_t end = m_start + delayMs;
        // Frame k shows at k * 1000 / fps ms: before `end` while k * 1000 < end * fps.
        while (m_next * 1000 < end * m_fps) {
            handOn(static_cast<int>(m_next), static_cast<int>(msAt(m_next + 1) - msAt(m_next)));
            ++m_next;
        }
        m_start = end;
    }

private:
    // The time of frame k in whole milliseconds, rounded, so that the delays add up.
    [[nodiscard]] std::int64_t msAt(std::int64_t k) const
    {
        return (k * 2000 + m_fps) / (2 * m_fps);
    }

    std::int64_t m_fps;
    std::int64_t m_start = 0;
    std::int64_t m_next = 0;
};

} // namespace

void LoadedPicture::convertResampled(const ConversionSettings& settings, FrameRange range,
                                     const std::function<void(ConvertedFrame&)>& converted)
{
    Resampler resampler(settings.framesPerSecond);
    const int wanted = range.last == 0 ? range.first : range.last;
    int available = 0;
    try {
        const FrameRange every{1, 0};
        tell(stretchFrames(source(), settings.options, settings.display.size, every,
                           [&](Surface& stretched, int delayMs) {
                               toGreyscale(stretched);
                               resampler.take(delayMs, [&](int frame, int resampledDelay) {
                                   available = frame + 1;
                                   if (range.last != 0 && frame >= range.last) {
                                       throw RangeDone{};
                                   }
                                   if (frame + 1 >= range.first) {
                                       ConvertedFrame result =
                                           renderAndPack(stretched, settings, resampledDelay);
                                       converted(result);
                                   }
                               });
                           }));
    } catch (const RangeDone&) {
        return;
    }
    if (available < wanted) {
        throw Error(ErrorCode::UsageError,
                    QStringLiteral("At %1 frames a second the picture has %2 frame(s); --frames "
                                   "asks for frame %3.")
                        .arg(settings.framesPerSecond)
                        .arg(available)
                        .arg(wanted));
    }
}

FrameSource LoadedPicture::source() const
{
    return FrameSource{m_bytes, m_streamed ? m_fileName : QString()};
}

} // namespace pixelcast
