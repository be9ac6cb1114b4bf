#pragma once

#include "metafile_layout.h"

#include <QImage>
#include <QPainter>
#include <QRegion>
#include <QTransform>

#include <libwmf/ipa.h>
#include <optional>

namespace pixelcast::wmf {

// libwmf's device layer, painting with QPainter onto a QImage without anti-aliasing.
//
// libwmf hands every shape over in its own device units: logical units of the current
// window times the DC's pixel size. Each callback turns those back into the file's logical
// coordinates and maps them onto the canvas:
//  - With a placeable header, the file's window (its SetWindowOrg/SetWindowExt, or the
//    header's frame where the file sets none) fills the whole canvas, stretched
//    independently in x and y; an isotropic map mode keeps the aspect ratio. This is how a
//    placeable picture is shown on the platform the format comes from.
//  - Without one, a logical unit is one pixel in MM_TEXT, MM_ANISOTROPIC and
//    MM_ISOTROPIC (a negative window extent turns the axis), and its physical size at
//    96 dots per inch in the metric and English modes, whose y axis points up. The canvas
//    is the bounding box of what is drawn, found by playing the file once without drawing.
//    Where that box is over the size cap and everything in it was drawn in the unit-less
//    modes (MM_ANISOTROPIC, MM_ISOTROPIC), it is scaled down to fit the cap.
class PainterDevice {
public:
    PainterDevice(const MetafileLayout& layout, QSize declaredSize);

    // libwmf's initialisation hook: fills the function table with this class's callbacks.
    static void installCallbacks(wmfAPI* api);

    // The next play collects the extent of the drawing instead of painting.
    void startMeasuring();
    [[nodiscard]] QRectF measuredBounds() const { return m_bounds; }
    // Whether anything measured was in a map mode with a physical unit.
    [[nodiscard]] bool measuredPhysicalUnits() const { return m_physicalUnits; }

    // The next play paints onto `canvas`; canvas coordinates are multiplied by `scale`,
    // then shifted by -`offset`.
    void startDrawing(QImage* canvas, QPointF offset, double scale = 1.0);
    void finishDrawing();

    // Width of `text` in `font` at a size of 1, as libwmf's text layout asks for.
    [[nodiscard]] static double relativeTextWidth(const wmfFont* font, const char* text);

    // Callbacks, called through the function table.
    void begin();
    void drawPixel(wmfDrawPixel_t* pixel);
    void drawArc(wmfAPI* api, wmfDrawArc_t* arc, int kind);
    void drawEllipse(wmfAPI* api, wmfDrawArc_t* arc);
    void drawLine(wmfAPI* api, wmfDrawLine_t* line);
    void drawPolyline(wmfAPI* api, wmfPolyLine_t* line, bool closed);
    void drawPolyPolygon(wmfAPI* api, wmfPolyPoly_t* poly);
    void drawRectangle(wmfAPI* api, wmfDrawRectangle_t* rect);
    void drawRop(wmfAPI* api, wmfROP_Draw_t* rop);
    void drawBitmap(wmfAPI* api, wmfBMP_Draw_t* bitmap);
    void drawText(wmfDrawText_t* text);
    void paintRegion(wmfAPI* api, wmfPolyRectangle_t* region, bool frame);
    void clipRegion(wmfPolyRectangle_t* region);

private:
    [[nodiscard]] std::optional<QTransform> mapping(const wmfDC* dc);
    [[nodiscard]] QPen penOf(const wmfDC* dc, const QTransform& map) const;
    [[nodiscard]] QBrush brushOf(wmfAPI* api, const wmfDC* dc) const;
    // Fills and strokes `path` (canvas coordinates) with the DC's brush and pen.
    void paint(wmfAPI* api, const wmfDC* dc, const QTransform& map, const QPainterPath& path,
               bool fill, bool stroke);
    void include(QRectF bounds);

    MetafileLayout m_layout;
    QSize m_declaredSize;
    QPointF m_offset;
    double m_scale = 1.0;
    bool m_measuring = false;
    bool m_physicalUnits = false;
    QRectF m_bounds;
    std::optional<QRegion> m_clip;
    QPainter m_painter;
};

} // namespace pixelcast::wmf
