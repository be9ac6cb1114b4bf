#pragma once

#include "display/display_array.h"

#include <QByteArray>
#include <QString>

namespace pixelcast {

// A standard X bitmap of the array's picture: `#define NAME_width W`,
// `#define NAME_height H` and `static const unsigned char NAME_bits[]`, the bytes in the
// xbm layout (an array of another layout is repacked), a set bit a lit pixel. Image editors,
// Qt and U8g2's drawXBM read it; `name` must be a C identifier.
[[nodiscard]] QByteArray xbmFile(const DisplayArray& array, const QString& name);

} // namespace pixelcast
