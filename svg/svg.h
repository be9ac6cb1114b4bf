#pragma once

#include "pixels/colorref.h"
#include "pixels/surface.h"

#include <QByteArray>
#include <QSize>
#include <QString>

namespace pixelcast {

// Whether the bytes are an SVG document (XML whose root element is svg, after any byte
// order mark, XML declaration, comments and document type) or an SVGZ file (gzip holding
// one). Looks at the start of the document only.
[[nodiscard]] bool looksLikeSvg(const QByteArray& bytes);
// Whether they are gzip: an SVGZ file when looksLikeSvg says so.
[[nodiscard]] bool isGzip(const QByteArray& bytes);

// The SVG document of an SVG file, or of an SVGZ file unpacked: PictureTooLarge when it is
// over 32 MiB. `whole` is false for an SVGZ whose data is cut or fails its checksum (what
// was unpacked is given).
[[nodiscard]] QByteArray svgDocument(const QByteArray& bytes, bool& whole);

// How an SVG picture fills the box it is drawn for.
enum class SvgFit {
    Fill, // over the whole box, stretched in each direction on its own
    Keep, // over the largest part of the box of its own proportions (stretchPlacement)
    Own,  // at its own size at 96 dots per inch, made smaller to fit 8192 pixels a side
          // and 16 Mi pixels
};

// How an SVG picture is drawn: by the pixelcast-svg helper, one process per picture,
// under these limits. The defaults are what the program uses.
struct SvgLimits {
    // The helper program; empty means the one beside this program (or the one named by
    // the PIXELCAST_SVG_HELPER environment variable, which the tests set).
    QString helper;
    // Address space of the helper: librsvg, cairo and fontconfig take about 60 MiB of it,
    // a document at the size cap its tree several times its size, a drawing at the cap
    // 64 MiB, and an embedded picture as much again.
    qint64 memoryBytes = 768LL * 1024 * 1024;
    // Processor time and time on the clock before the helper is stopped.
    int cpuSeconds = 5;
    int wallMilliseconds = 8000;
};

struct SvgDrawing {
    // The drawing, transparent parts laid on the background.
    Surface picture;
    // The document's own size at 96 dots per inch (its width and height, else its
    // viewBox, else the extent of what it draws).
    int ownWidth = 0;
    int ownHeight = 0;
    // The file was damaged (not well-formed, or an SVGZ whose data is cut or fails its
    // checksum) and what could be read of it was drawn.
    bool damaged = false;
};

// Draws an SVG or SVGZ file for a box of `box` pixels as `fit` says (Own ignores the box),
// over `background`. An SVGZ is unpacked here; a document over 32 MiB unpacked is refused
// (PictureTooLarge). Nothing outside the document is read. A document the renderer cannot
// read even in part, a helper that crashes or runs out of memory gives SvgFailed; a helper
// that runs out of time gives SvgTimedOut; a missing helper SvgHelperMissing.
[[nodiscard]] SvgDrawing renderSvg(const QByteArray& bytes, ColorRef background, QSize box,
                                   SvgFit fit, const SvgLimits& limits = {});

// The helper the default limits use: $PIXELCAST_SVG_HELPER if set, else pixelcast-svg in
// this program's own folder.
[[nodiscard]] QString defaultSvgHelper();

} // namespace pixelcast
