#include "pipeline/conversion.h"

#include "decoders/gif_animation.h"
#include "decoders/picture_sinks.h"
#include "errors/error.h"
#include "pixels/dither.h"
#include "pixels/greyscale.h"
#include "pixels/stretch.h"

#include <span>

namespace pixelcast {

namespace {

bool isGif(const QByteArray& bytes)
{
    return bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a");
}

std::span<const std::uint8_t> asBytes(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()),
            static_cast<std::size_t>(bytes.size())};
}

} // namespace

FramesFound stretchFrames(const QByteArray& bytes, const RenderOptions& options, DisplaySize size,
                          FrameRange range, const StretchedFrame& frame)
{
    FramesFound found;
    // Frame 1 comes from the still decoders; its delay, from the animation, follows.
    Surface first;
    if (range.first == 1) {
        first = Surface(size.width, size.height, kFaceColour);
        found.about = decodePictureOnto(bytes, first, transparencyColour(options), options);
    }
    int available = 1;
    if (isGif(bytes)) {
        const GifAnimationInfo info = decodeGifAnimation(
            asBytes(bytes), range.first - 1, range.last - 1, [&](const GifCanvas& canvas) {
                if (canvas.index == 0) {
                    frame(first, canvas.delayMs);
                    return;
                }
                Surface scaled(size.width, size.height, kFaceColour);
                StretchSink sink(scaled, transparencyColour(options), options);
                deliverCanvas(canvas, sink);
                sink.finish();
                frame(scaled, canvas.delayMs);
            });
        available = info.frames;
        found.plays = info.plays;
        if (info.endedEarly) {
            found.damage = describeDamage(info);
        }
    } else if (range.first == 1) {
        frame(first, kShortGifDelayMs);
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

LoadResult stretchPictureFile(const QString& fileName, Surface& source, Surface& scaled,
                              const RenderOptions& options)
{
    return loadAndScale(fileName, source, scaled, transparencyColour(options), options);
}

void restretch(const Surface& source, Surface& scaled, const RenderOptions& options)
{
    stretchOnto(source, scaled, transparencyColour(options), options);
}

void makeGrey(Surface& scaled, const std::function<void()>& afterColumn)
{
    toGreyscale(scaled, afterColumn);
}

void renderFrame(const Surface& grey, Surface& result, const ConversionSettings& settings,
                 const std::function<void()>& refresh)
{
    renderPicture(grey, result, settings.level, settings.options, refresh);
}

ConvertedFrame convertFrame(Surface stretched, const ConversionSettings& settings)
{
    makeGrey(stretched);
    const DisplaySize size = settings.display.size;
    ConvertedFrame frame{Surface(size.width, size.height, kFaceColour),
                         DisplayArray(settings.display), kShortGifDelayMs};
    renderFrame(stretched, frame.result, settings);
    buildDisplayArray(frame.result, frame.array);
    return frame;
}

namespace {

// The still picture, frame 1, stretched by `stretch` onto a surface of the display's size.
template <typename Stretch>
ConvertedPicture convertStill(const ConversionSettings& settings, Stretch stretch)
{
    const DisplaySize size = settings.display.size;
    Surface scaled(size.width, size.height, kFaceColour);
    ConvertedPicture picture;
    picture.about = stretch(scaled);
    if (picture.about.damage != Damage::None) {
        picture.damage = describeDamage(picture.about);
    }
    picture.frames.push_back(convertFrame(std::move(scaled), settings));
    return picture;
}

} // namespace

ConvertedPicture convertFile(const QString& fileName, const ConversionSettings& settings,
                             std::optional<FrameRange> range)
{
    if (range) {
        const QByteArray bytes = readPictureFile(fileName);
        try {
            return convertBytes(bytes, settings, range);
        } catch (const Error& e) {
            throw fileNamedIn(e, fileName);
        }
    }
    return convertStill(settings, [&](Surface& scaled) {
        return loadScaled(fileName, scaled, transparencyColour(settings.options), settings.options);
    });
}

ConvertedPicture convertBytes(const QByteArray& bytes, const ConversionSettings& settings,
                              std::optional<FrameRange> range)
{
    if (!range) {
        return convertStill(settings, [&](Surface& scaled) {
            return decodePictureOnto(bytes, scaled, transparencyColour(settings.options),
                                     settings.options);
        });
    }
    ConvertedPicture picture;
    const FramesFound found = stretchFrames(bytes, settings.options, settings.display.size, *range,
                                            [&](Surface& stretched, int delayMs) {
                                                ConvertedFrame frame =
                                                    convertFrame(std::move(stretched), settings);
                                                frame.delayMs = delayMs;
                                                // Only the arrays of an animation are kept: ten
                                                // thousand result surfaces would take hundreds of
                                                // megabytes.
                                                frame.result = Surface();
                                                picture.frames.push_back(std::move(frame));
                                            });
    picture.about = found.about;
    picture.plays = found.plays;
    picture.damage = found.damage;
    return picture;
}

} // namespace pixelcast
