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
// pack in the display's layout. The window runs the stages one by one, so that it can show
// each; the others take a whole file at once.
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

// Hands a stretched frame, not yet grey, and how long it stays.
using StretchedFrame = std::function<void(Surface& stretched, int delayMs)>;

// Decodes `bytes` (the file's content) and hands `frame` each frame in `range`, in order,
// stretched onto `size` with the options' stretch over their transparency colour. Frame 1 is the
// picture the still decoders give; every later one is an animated GIF's composed canvas.
// One frame is held at a time. Throws the decoders' Error, and Error(UsageError) when the
// range runs past the picture's frames.
FramesFound stretchFrames(const QByteArray& bytes, const RenderOptions& options, DisplaySize size,
                          FrameRange range, const StretchedFrame& frame);

// The window's first stage: the picture file decoded whole into `source` and stretched
// onto `scaled` (whose size is the display's). An empty name leaves `source` empty and
// `scaled` the plain panel colour. On failure both are left as they were.
LoadResult stretchPictureFile(const QString& fileName, Surface& source, Surface& scaled,
                              const RenderOptions& options);

// Stretches a picture already decoded onto `scaled` again, for a changed stretch option
// (smooth, keep-aspect, the bars' colour, the flip, a half turn). A changed background, or a
// quarter turn more or less, needs the picture loaded again: transparent pixels are laid on
// the background as the picture is decoded, and a big JPEG is decoded reduced for the
// display as the picture lies on it.
void restretch(const Surface& source, Surface& scaled, const RenderOptions& options);

// The grey stage, in place; `afterColumn` runs after each column (see toGreyscale).
void makeGrey(Surface& scaled, const std::function<void()>& afterColumn = {});

// The black-and-white stage: `grey` rendered into `result` at the settings' level with
// their options; `refresh` runs once when all is written.
void renderFrame(const Surface& grey, Surface& result, const ConversionSettings& settings,
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

// The grey stage, the rendering and the packing of one stretched frame.
[[nodiscard]] ConvertedFrame convertFrame(Surface stretched, const ConversionSettings& settings);

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
