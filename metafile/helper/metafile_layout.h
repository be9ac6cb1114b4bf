#pragma once

#include <QByteArray>
#include <QRect>

#include <cstdint>

namespace pixelcast::wmf {

// What the helper reads from the metafile's own bytes before handing them to the parser:
// the placeable header's frame and whether the records set the window themselves.
struct MetafileLayout {
    bool placeable = false;
    QRect frame;          // placeable frame in logical units, normalised
    int unitsPerInch = 0; // placeable header's units per inch
    bool setsWindowOrg = false;
    bool setsWindowExt = false;
    bool hasEndRecord = false;            // the record chain reaches an end record inside the file
    qsizetype headerAt = 0;               // where the standard header starts
    std::uint32_t largestRecordWords = 3; // of the records that lie inside the file
    int deepestSavedStates = 0;           // how deep SaveDC records nest at the most
    bool bitmapsSound = true; // every embedded bitmap lies inside its record, of a sane size
};

// Saved drawing states beyond this depth make a file damaged: the parser's cost grows with
// the square of the depth (100000 nested saves take it minutes), and drawings nest a few.
inline constexpr int kMaxSavedStates = 1024;

// Walks the headers and the record chain without trusting any count: a record that runs
// past the end or is shorter than a record header ends the walk.
[[nodiscard]] MetafileLayout inspectMetafile(const QByteArray& bytes);

// The placeable frame's size in pixels at `dotsPerInch`, rounded to the nearest pixel and
// at least one pixel a side; an invalid size when the header gives no usable size.
// Writes the size of the largest record that is really there into the standard header.
// The parser allocates whatever the header claims, before it reads a record.
void correctLargestRecord(QByteArray& bytes, const MetafileLayout& layout);

[[nodiscard]] QSize declaredPixelSize(const MetafileLayout& layout, int dotsPerInch);

} // namespace pixelcast::wmf
