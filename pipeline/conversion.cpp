#include "pipeline/conversion.h"

#include "pipeline/loaded_picture.h"
#include "pixels/dither.h"

namespace pixelcast {

void renderFrame(const Surface& grey, Surface& result, const ConversionSettings& settings,
                 const std::function<void()>& refresh)
{
    renderPicture(grey, result, settings.level, settings.options, refresh);
}

DisplayArray renderAndPack(const Surface& grey, Surface& result, const ConversionSettings& settings,
                           const std::function<void()>& refresh)
{
    renderFrame(grey, result, settings, refresh);
    DisplayArray array(settings.display);
    buildDisplayArray(result, array);
    return array;
}

namespace {

ConvertedPicture convertFrames(LoadedPicture& picture, const ConversionSettings& settings,
                               FrameRange range);

ConvertedPicture stillPicture(const LoadedPicture& picture, const ConversionSettings& settings)
{
    ConvertedPicture converted;
    converted.about = picture.about();
    converted.damage = picture.damage();
    converted.frames.push_back(picture.convert(0, settings));
    return converted;
}

} // namespace

ConvertedPicture convertFile(const QString& fileName, const ConversionSettings& settings,
                             std::optional<FrameRange> range)
{
    if (range) {
        LoadedPicture picture = LoadedPicture::readFile(fileName);
        return namingFile(fileName, [&] { return convertFrames(picture, settings, *range); });
    }
    return stillPicture(LoadedPicture::readStill(fileName, settings.options, settings.display.size),
                        settings);
}

ConvertedPicture convertBytes(const QByteArray& bytes, const ConversionSettings& settings,
                              std::optional<FrameRange> range)
{
    if (!range) {
        return stillPicture(
            LoadedPicture::decodeStill(bytes, settings.options, settings.display.size), settings);
    }
    LoadedPicture picture(bytes);
    return convertFrames(picture, settings, *range);
}

namespace {

ConvertedPicture convertFrames(LoadedPicture& picture, const ConversionSettings& settings,
                               FrameRange range)
{
    ConvertedPicture converted;
    picture.convertEach(settings, range, [&](ConvertedFrame& frame) {
        // Only the arrays of an animation are kept: ten thousand result surfaces would take
        // hundreds of megabytes.
        frame.result = Surface();
        converted.frames.push_back(std::move(frame));
    });
    converted.about = picture.about();
    converted.plays = picture.plays();
    converted.damage = picture.damage();
    return converted;
}

} // namespace

} // namespace pixelcast
