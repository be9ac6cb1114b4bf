#pragma once

#include "decoders/picture_loader.h"
#include "display/display_array.h"
#include "pixels/render_options.h"
#include "pixels/surface.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// The one road from a picture file to the display's arrays, which the window, the converter
// and the fuzz targets all take: decode (composing an animation's frames), stretch onto the
// display's size by the picture options, make grey, render black and white at the level,
// pack in the display's layout. LoadedPicture (loaded_picture.h) holds a picture on it; the
// converter takes a whole file at once with the functions below.
namespace pixelcast {

// The frames of an animation to convert, 1-based and inclusive; `last` 0 runs to the last.
struct FrameRange {
    int first = 1;
    int last = 1;

    friend bool operator==(const FrameRange&, const FrameRange&) = default;
};

// Everything besides the picture that decides the arrays.
struct ConversionSettings {
    std::int16_t level = kDefaultLevel;
    RenderOptions options;
    DisplayFormat display;
    // Above 0: an animation's frames resampled at this many a second, each the picture's
    // frame showing at its time (see LoadedPicture::convertEach).
    int framesPerSecond = 0;
};

// What the decoding of a picture's frames found besides their pixels.
struct FramesFound {
    LoadResult about;
    // How often the frames play, 0 for ever.
    int plays = 1;
    // What was wrong with the file, worded for a warning ("ends early: ..."); empty for a
    // whole file.
    QString damage;
};

// The black-and-white stage: `grey` rendered into `result` at the settings' level with
// their options; `refresh` runs once when all is written.
void renderFrame(const Surface& grey, Surface& result, const ConversionSettings& settings,
                 const std::function<void()>& refresh = {});

// renderFrame, then `result` packed in the settings' layout.
[[nodiscard]] DisplayArray renderAndPack(const Surface& grey, Surface& result,
                                         const ConversionSettings& settings,
                                         const std::function<void()>& refresh = {});

// One frame at the end of the road.
struct ConvertedFrame {
    Surface result;
    DisplayArray array;
    int delayMs = 0;
};

struct ConvertedPicture {
    LoadResult about;
    std::vector<ConvertedFrame> frames;
    int plays = 1;
    // As FramesFound::damage.
    QString damage;
};

// The whole road for a file, read once: the frames in `range`, with their delays; without
// a range, the still picture (frame 1), read only as far as the stretch needs it. The
// frames of an animation keep only their arrays, not their result surfaces.
[[nodiscard]] ConvertedPicture convertFile(const QString& fileName,
                                           const ConversionSettings& settings,
                                           std::optional<FrameRange> range = {});

// The whole road for bytes already in memory, as convertFile.
[[nodiscard]] ConvertedPicture convertBytes(const QByteArray& bytes,
                                            const ConversionSettings& settings,
                                            std::optional<FrameRange> range = {});

} // namespace pixelcast
