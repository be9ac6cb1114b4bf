#pragma once

#include "decoding.h"
#include "pixels/render_options.h"
#include "pixels/surface.h"

#include <QByteArray>
#include <QSize>
#include <QString>

namespace pixelcast {

// Picture files larger than this are refused before they are read.
inline constexpr qint64 kMaxPictureFileBytes = 256LL * 1024 * 1024;

// Reads a whole picture file. Refuses what is not a regular file (a directory, a FIFO,
// a device) without blocking on it.
[[nodiscard]] QByteArray readPictureFile(const QString& fileName);

// Decodes the bytes of a GIF, JPEG, BMP, ICO, CUR, PNG or metafile, recognised by
// content alone, at the picture's own size. Transparent and partly transparent pixels
// are composited onto `background`; the result holds no alpha.
//
// Given `reduceFor`, the size the picture is to be stretched onto, a JPEG at least twice
// that size in each direction is decoded reduced (see decodeJpeg), and the result is
// that reduced picture. Other formats and smaller JPEGs are decoded at their own size.
[[nodiscard]] Surface decodePicture(const QByteArray& bytes, ColorRef background,
                                    QSize reduceFor = {});

// What stretching decodePicture(bytes, background, target's size) onto `target` with the
// options' stretch (stretchOnto) gives,
// without keeping the whole picture: only the pixels the stretch takes are converted, and
// a BMP or JPEG skips the rows it does not need. On failure `target` is left as it was.
void decodePictureOnto(const QByteArray& bytes, Surface& target, ColorRef background,
                       const RenderOptions& options = {});

// readPictureFile and decodePicture. An empty name gives the empty picture.
[[nodiscard]] Surface loadPicture(const QString& fileName, ColorRef background);

// Decodes `fileName` into `source` and stretches it onto `scaled` by the options' stretch
// (stretchOnto), whose previous content is entirely replaced. A big JPEG is decoded reduced for
// `scaled`'s size (see decodePicture), and `source` then holds the reduced picture. On failure both
// are left as they were and an Error is thrown.
void loadAndScale(const QString& fileName, Surface& source, Surface& scaled, ColorRef background,
                  const RenderOptions& options = {});

// loadAndScale for a caller that needs only `scaled`: readPictureFile and
// decodePictureOnto. `scaled` ends equal to what loadAndScale leaves there. An empty name
// fills it with the background.
void loadScaled(const QString& fileName, Surface& scaled, ColorRef background,
                const RenderOptions& options = {});

} // namespace pixelcast
