#pragma once

#include "pixels/colorref.h"
#include "pixels/surface.h"

#include <QByteArray>
#include <QString>

namespace pixelcast {

// How a metafile is drawn: by the pixelcast-wmf helper, one process per picture, under
// these limits. The defaults are what the program uses.
struct MetafileLimits {
    // The helper program; empty means the one beside this program (or the one named by
    // the PIXELCAST_WMF_HELPER environment variable, which the tests set).
    QString helper;
    // Address space of the helper. Qt, fontconfig and the parser take about 70 MiB of it;
    // a drawing at the size cap 64 MiB more, and an embedded bitmap at the cap up to twice
    // that again while it is decoded and drawn.
    qint64 memoryBytes = 512LL * 1024 * 1024;
    // Processor time and time on the clock before the helper is stopped.
    int cpuSeconds = 5;
    int wallMilliseconds = 8000;
};

// Draws a Windows metafile (placeable or not) at the size it declares at 96 dots per inch,
// or, without a placeable header, at the size of what it draws; the parts it leaves
// untouched are `background`. Declared sizes over 8192 pixels a side or 16 Mi pixels are
// refused (PictureTooLarge) before anything is drawn; so is a drawing without a declared
// size that is larger, unless it is in units without a physical size (anisotropic or
// isotropic), which are then scaled down to fit. A file the parser rejects, a helper
// that crashes or runs out of memory, or output that does not add up gives
// MetafileFailed; a helper that runs out of time gives MetafileTimedOut; a helper that is
// not there gives MetafileHelperMissing.
[[nodiscard]] Surface renderMetafile(const QByteArray& bytes, ColorRef background,
                                     const MetafileLimits& limits = {});

// The helper the default limits use: $PIXELCAST_WMF_HELPER if set, else pixelcast-wmf in
// this program's own folder.
[[nodiscard]] QString defaultMetafileHelper();

} // namespace pixelcast
