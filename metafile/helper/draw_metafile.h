#pragma once

#include "pixels/colorref.h"

#include <QByteArray>
#include <QImage>

namespace pixelcast::wmf {

// Parses and draws one Windows metafile onto `canvas` (made here, at the file's declared
// size or the extent of its drawing, capped), with `background` where nothing is drawn.
// Returns one of the helper's exit codes (metafile/metafile_protocol.h): ExitDrawn when
// `canvas` holds the picture. Needs a QGuiApplication for text.
[[nodiscard]] int drawMetafile(QByteArray bytes, ColorRef background, QImage& canvas);

} // namespace pixelcast::wmf
