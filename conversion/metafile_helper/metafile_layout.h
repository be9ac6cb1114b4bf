#pragma once

#include <QByteArray>
#include <QRect>

namespace pixelcast::wmf {

// What the helper reads from the metafile's own bytes before handing them to the parser:
// the placeable header's frame and whether the records set the window themselves.
struct MetafileLayout {
    bool placeable = false;
    QRect frame;          // placeable frame in logical units, normalised
    int unitsPerInch = 0; // placeable header's units per inch
    bool setsWindowOrg = false;
    bool setsWindowExt = false;
    bool hasEndRecord = false; // the record chain reaches an end record inside the file
};

// Walks the headers and the record chain without trusting any count: a record that runs
// past the end or is shorter than a record header ends the walk.
[[nodiscard]] MetafileLayout inspectMetafile(const QByteArray& bytes);

// The placeable frame's size in pixels at `dotsPerInch`, rounded to the nearest pixel and
// at least one pixel a side; an invalid size when the header gives no usable size.
[[nodiscard]] QSize declaredPixelSize(const MetafileLayout& layout, int dotsPerInch);

} // namespace pixelcast::wmf
