#pragma once

#include "decoders/picture_loader.h"
#include "errors/error.h"
#include "pixels/display_array.h"
#include "pixels/render_options.h"
#include "pixels/surface.h"

#include <QIODevice>
#include <QStringList>

#include <cstdint>

namespace pixelcast::cli {

// What one picture becomes: the black-and-white result surface and its array.
struct Conversion {
    Surface result{kSurfaceWidth, kSurfaceHeight, kFaceColour};
    DisplayArray array;
    // What the loader found: the format, the size, the rows that never arrived.
    LoadResult picture;
};

// The window's road from a picture file to the array, through the same stage functions:
// loadScaled onto a 128 x 64 surface of the face colour with the options' stretch (what
// loadAndScale leaves in the window), toGreyscale, renderPicture at `level` with the
// options, buildDisplayArray. Throws the loader's Error.
[[nodiscard]] Conversion convertPicture(const QString& fileName, std::int16_t level,
                                        const RenderOptions& options = {});

// convertPicture's stages after loading: `scaled` (128 x 64, the picture stretched onto the
// face colour) made grey in place, rendered at `level` and packed.
[[nodiscard]] Conversion convertScaled(Surface& scaled, std::int16_t level,
                                       const RenderOptions& options = {});

// The exit status for a failure, one per kind of failure:
// 2 arguments, 3 the picture file is missing or unreadable, 4 it is not a decodable
// picture, 5 an output file was not written, 6 the serial port failed.
[[nodiscard]] int exitStatusFor(ErrorCode code);

// Runs the converter's command line (program name first) and returns its exit status.
// Help, version and an array or preview sent to "-" go to `standardOutput`; each failure
// goes to `standardError` as "Error NNNN: description". A failure leaves every output
// file as it was.
int runConverter(const QStringList& arguments, QIODevice& standardOutput, QIODevice& standardError);

} // namespace pixelcast::cli
