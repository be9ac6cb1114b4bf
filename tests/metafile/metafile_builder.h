#pragma once

#include "pixels/colorref.h"

#include <QByteArray>
#include <QPoint>
#include <QRect>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace pixelcast::test {

// Writes a Windows metafile record by record, as the tests need them: the placeable header
// with its checksum, the standard header (sizes filled in at the end) and the records.
// Objects are numbered in creation order from 0, as the player numbers them when none is
// deleted.
class MetafileBuilder {
public:
    // A placeable file whose frame is `frame` in logical units at `unitsPerInch`.
    static MetafileBuilder placeable(QRect frame, int unitsPerInch);
    // A file with the standard header only.
    static MetafileBuilder bare();

    MetafileBuilder& record(std::uint16_t function, std::initializer_list<int> words);
    MetafileBuilder& record(std::uint16_t function, const std::vector<std::uint16_t>& words);

    MetafileBuilder& mapMode(int mode);
    MetafileBuilder& windowOrigin(int x, int y);
    MetafileBuilder& windowExtent(int x, int y);
    MetafileBuilder& polyFillMode(int mode);   // 1 alternate, 2 winding
    MetafileBuilder& backgroundMode(int mode); // 1 transparent, 2 opaque (the default)
    MetafileBuilder& textColour(ColorRef colour);
    MetafileBuilder& solidBrush(ColorRef colour); // creates and selects
    MetafileBuilder& hatchedBrush(ColorRef colour, int hatch);
    MetafileBuilder& nullBrush();
    MetafileBuilder& pen(int style, int width, ColorRef colour); // creates and selects
    MetafileBuilder& font(int height, const QString& face);      // creates and selects
    MetafileBuilder& rectangle(QRect r); // the records' right and bottom lie just outside r
    MetafileBuilder& ellipse(QRect r);
    MetafileBuilder& moveTo(int x, int y);
    MetafileBuilder& lineTo(int x, int y);
    MetafileBuilder& polygon(const std::vector<QPoint>& points);
    MetafileBuilder& textOut(int x, int y, const QByteArray& text);
    // A 24-bit DIB of `width` x `height` pixels (given top row first) stretched onto `target`.
    MetafileBuilder& stretchDib(QRect target, int width, int height,
                                const std::vector<ColorRef>& topDown);
    MetafileBuilder& clipRect(QRect r);

    // The file with an end record, or without one (`withEnd` false).
    [[nodiscard]] QByteArray bytes(bool withEnd = true) const;

private:
    MetafileBuilder& selectNew(std::uint16_t function, const std::vector<std::uint16_t>& words);

    bool m_placeable = false;
    QRect m_frame;
    int m_unitsPerInch = 0;
    int m_objects = 0;
    QByteArray m_records;
    std::uint32_t m_largestRecord = 3;
};

} // namespace pixelcast::test
