#pragma once

#include "decoding.h"
#include "surface.h"

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
// that size in each direction is decoded at 1/2, 1/4 or 1/8 of its own size instead
// (libjpeg's scaled decoding, which averages blocks of pixels on the way and skips most
// of the work), the smallest of these that still keeps it at least twice `reduceFor`.
// Other formats and smaller JPEGs are decoded at their own size.
[[nodiscard]] Surface decodePicture(const QByteArray& bytes, ColorRef background,
                                    QSize reduceFor = {});

// The size decodePicture asks the JPEG decoder for: empty when the picture is decoded
// at its own size.
[[nodiscard]] QSize reducedJpegSize(QSize picture, QSize reduceFor);

// readPictureFile and decodePicture. An empty name gives the empty picture.
[[nodiscard]] Surface loadPicture(const QString& fileName, ColorRef background);

// Decodes `fileName` into `source` and stretches it onto `scaled`, whose previous content
// is entirely replaced. A big JPEG is decoded reduced for `scaled`'s size (see
// decodePicture), and `source` then holds the reduced picture. On failure both are left
// as they were and an Error is thrown.
void loadAndScale(const QString& fileName, Surface& source, Surface& scaled, ColorRef background);

} // namespace pixelcast
