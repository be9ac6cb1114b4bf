#include "animation_frames.h"

#include "decoders/gif_animation.h"
#include "decoders/picture_loader.h"
#include "decoders/picture_sinks.h"
#include "errors/error.h"

#include <cstring>
#include <span>

namespace pixelcast::cli {

namespace {

constexpr int kMaxFrameNumber = kMaxGifFrames;

[[noreturn]] void badRange(const QString& text)
{
    throw Error(ErrorCode::UsageError,
                QStringLiteral("The frames \"%1\" are neither all, a frame number N nor a range "
                               "A-B of frame numbers from 1 to %2.")
                    .arg(text)
                    .arg(kMaxFrameNumber));
}

int frameNumber(const QString& text, const QString& whole)
{
    bool digitsOnly = !text.isEmpty() && text.size() <= 5;
    for (const QChar c : text) {
        digitsOnly = digitsOnly && c >= u'0' && c <= u'9';
    }
    const int number = digitsOnly ? text.toInt() : 0;
    if (number < 1 || number > kMaxFrameNumber) {
        badRange(whole);
    }
    return number;
}

bool isGif(const QByteArray& bytes)
{
    return bytes.size() >= 6 && (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"));
}

} // namespace

FrameRange parseFrameRange(const QString& text)
{
    if (text == u"all") {
        return {1, 0};
    }
    const qsizetype dash = text.indexOf(u'-');
    if (dash < 0) {
        const int n = frameNumber(text, text);
        return {n, n};
    }
    const FrameRange range{frameNumber(text.left(dash), text),
                           frameNumber(text.mid(dash + 1), text)};
    if (range.last < range.first) {
        badRange(text);
    }
    return range;
}

Animation convertFrames(const QString& fileName, std::int16_t level, const FrameRange& range,
                        const RenderOptions& options)
{
    Animation animation;
    if (range.first == 1) {
        animation.frames.push_back(convertPicture(fileName, level, options).array);
    }
    int available = 1;
    const QByteArray bytes = readPictureFile(fileName);
    if (isGif(bytes)) {
        const std::span<const std::uint8_t> data(
            reinterpret_cast<const std::uint8_t*>(bytes.data()),
            static_cast<std::size_t>(bytes.size()));
        const GifAnimationInfo info =
            decodeGifAnimation(data, range.first - 1, range.last - 1, [&](const GifCanvas& canvas) {
                animation.delaysMs.push_back(canvas.delayMs);
                if (canvas.index == 0) {
                    return; // convertPicture's frame 1, above
                }
                Surface scaled(kSurfaceWidth, kSurfaceHeight, kFaceColour);
                StretchSink sink(scaled, kFaceColour, options);
                deliverCanvas(canvas, sink);
                sink.finish();
                animation.frames.push_back(convertScaled(scaled, level, options).array);
            });
        available = info.frames;
        animation.plays = info.plays;
    } else {
        animation.delaysMs.push_back(kShortGifDelayMs);
    }
    const int wanted = range.last == 0 ? range.first : range.last;
    if (available < wanted) {
        throw Error(ErrorCode::UsageError,
                    QStringLiteral("The picture has %1 frame(s); --frames asks for frame %2.")
                        .arg(available)
                        .arg(wanted));
    }
    return animation;
}

} // namespace pixelcast::cli
