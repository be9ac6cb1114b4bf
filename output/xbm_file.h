#pragma once

#include "display/display_array.h"

#include <QByteArray>
#include <QString>

namespace pixelcast {

// A standard X bitmap of the array's picture, in the form X's own XWriteBitmapFile gives:
// `#define NAME_width W`, `#define NAME_height H` and `static unsigned char NAME_bits[]`
// with the bytes as 0x-prefixed lower-case hex, twelve to a line, in the xbm layout (an
// array of another layout is repacked), a set bit a lit pixel. ImageMagick, GIMP, Qt,
// Python's imaging library and U8g2's drawXBM read it; `name` must be a C identifier.
[[nodiscard]] QByteArray xbmFile(const DisplayArray& array, const QString& name);

} // namespace pixelcast
