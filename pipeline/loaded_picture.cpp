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

// Decodes `bytes` and hands `stretched` each frame in `range`, in order, stretched onto
// `size` with the options' stretch over their transparency colour. Frame 1 is the picture
// the still decoders give; every later one is an animation's composed canvas, read in
// the same pass. One frame is held at a time. Throws the decoders' Error, and Error(UsageError)
// when the range runs past the picture's frames.
FramesFound stretchFrames(const QByteArray& bytes, const RenderOptions& options, DisplaySize size,
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
    const bool animated = hasFrames(bytes);
    if (range.first == 1) {
        // The still decoders' frame 1, and an animation's later frames in the same pass.
        first = Surface(size.width, size.height, kFaceColour);
        found.about =
            decodeFramesOnto(bytes, first, background, options, range.last - 1, shown, info);
        if (!animated) {
            stretched(first, kShortDelayMs);
        }
    } else if (animated) {
        info = decodeAnimation(bytes, range.first - 1, range.last - 1, shown);
    }
    if (animated) {
        available = info.frames;
        found.plays = info.plays;
        if (info.endedEarly) {
            found.damage = describeDamage(info);
        }
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
            if (isDrawing(m_bytes)) {
                return drawPictureFor(m_bytes, background, QSize(size.width, size.height), options,
                                      &about);
            }
            return decodePictureAndFrames(m_bytes, background, reduceFor(size, options), about,
                                          shown, info, later.failure);
        });
        if (hasFrames(m_bytes)) {
            later.plays = info.plays;
            later.damage = info.endedEarly ? describeDamage(info) : QString();
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
    const FramesFound found = stretchFrames(m_bytes, options, size, FrameRange{1, 0},
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
    if (m_bytes.isEmpty()) {
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
    tell(stretchFrames(m_bytes, settings.options, settings.display.size, range,
                       [&](Surface& stretched, int delayMs) {
                           toGreyscale(stretched);
                           ConvertedFrame frame = renderAndPack(stretched, settings, delayMs);
                           converted(frame);
                       }));
}

} // namespace pixelcast
