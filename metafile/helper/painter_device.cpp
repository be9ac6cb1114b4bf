#include "painter_device.h"

#include "metafile/metafile_protocol.h"

#include <QFontMetricsF>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <libwmf/api.h>
#include <libwmf/defs.h>
#include <numbers>

namespace pixelcast::wmf {

namespace {

// Map modes as the file's SetMapMode record numbers them.
constexpr int kMapText = 1;
constexpr int kMapLoMetric = 2;
constexpr int kMapHiMetric = 3;
constexpr int kMapLoEnglish = 4;
constexpr int kMapHiEnglish = 5;
constexpr int kMapTwips = 6;
constexpr int kMapIsotropic = 7;
constexpr int kMapAnisotropic = 8;

constexpr int kRussianCharset = 204;

enum ArcKind { Arc, Chord, Pie };

PainterDevice& deviceOf(wmfAPI* api)
{
    return *static_cast<PainterDevice*>(api->user_data);
}

QColor colourOf(const wmfRGB& c)
{
    return {c.r, c.g, c.b};
}

// Pixels per logical unit of the fixed map modes at 96 dots per inch, with the sign of the
// y axis (up in every mode but MM_TEXT).
QPointF unitOf(int mapMode)
{
    const double dpi = metafile::kDotsPerInch;
    switch (mapMode) {
    case kMapLoMetric:
        return {dpi / 254.0, -dpi / 254.0};
    case kMapHiMetric:
        return {dpi / 2540.0, -dpi / 2540.0};
    case kMapLoEnglish:
        return {dpi / 100.0, -dpi / 100.0};
    case kMapHiEnglish:
        return {dpi / 1000.0, -dpi / 1000.0};
    case kMapTwips:
        return {dpi / 1440.0, -dpi / 1440.0};
    default:
        return {1.0, 1.0};
    }
}

// The 8-bit text of the file in its font's character set: Windows-1251 for Cyrillic
// fonts, Latin-1 otherwise.
QString decodeText(const char* text, int charset)
{
    QString result;
    for (const char* p = text; *p != '\0'; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        char16_t unit = byte;
        if (charset == kRussianCharset) {
            if (byte >= 0xC0) {
                unit = static_cast<char16_t>(0x0410 + (byte - 0xC0));
            } else if (byte == 0xA8) {
                unit = 0x0401;
            } else if (byte == 0xB8) {
                unit = 0x0451;
            }
        }
        result.append(QChar(unit));
    }
    return result;
}

QFont fontOf(const wmfFont* font, double pixelSize)
{
    QFont result;
    if (font != nullptr && font->lfFaceName != nullptr && font->lfFaceName[0] != '\0') {
        result.setFamilies({QString::fromLatin1(font->lfFaceName)});
    }
    const int size = static_cast<int>(std::lround(std::clamp(pixelSize, 1.0, 4096.0)));
    result.setPixelSize(size);
    if (font != nullptr) {
        const int weight = font->lfWeight == 0 ? 400 : std::clamp<int>(font->lfWeight, 1, 1000);
        result.setWeight(static_cast<QFont::Weight>(weight));
        result.setItalic(font->lfItalic != 0);
        result.setUnderline(font->lfUnderline != 0);
        result.setStrikeOut(font->lfStrikeOut != 0);
    }
    result.setStyleStrategy(QFont::NoAntialias);
    return result;
}

// Reads a libwmf bitmap into an image; rows come bottom-up as in the file's DIB.
QImage imageOf(wmfAPI* api, const wmfBMP& bmp)
{
    if (bmp.data == nullptr || bmp.width == 0 || bmp.height == 0 ||
        !metafile::fitsCap(bmp.width, bmp.height)) {
        return {};
    }
    QImage image(bmp.width, bmp.height, QImage::Format_RGB32);
    if (image.isNull()) {
        return {};
    }
    wmfBMP copy = bmp;
    for (unsigned y = 0; y < bmp.height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(bmp.height - 1 - y)));
        for (unsigned x = 0; x < bmp.width; ++x) {
            wmfRGB rgb{};
            wmf_ipa_bmp_color(api, &copy, &rgb, x, y);
            line[x] = qRgb(rgb.r, rgb.g, rgb.b);
        }
    }
    return image;
}

// The angle, in Qt's degrees, of the point `v` (relative to the centre) on the ellipse
// with half-axes `rx`, `ry`: the parametric angle of the ray through it, counter-clockwise
// on screen.
double angleOf(QPointF v, double rx, double ry)
{
    if (rx <= 0 || ry <= 0) {
        return 0;
    }
    return -std::atan2(v.y() / ry, v.x() / rx) * 180.0 / std::numbers::pi;
}

// libwmf's callbacks are plain functions; each forwards to the device.
void cbDeviceBegin(wmfAPI* api)
{
    deviceOf(api).begin();
}
void cbNothing(wmfAPI* /*api*/) {}
void cbFlood(wmfAPI* /*api*/, wmfFlood_t* /*flood*/) {}
void cbPixel(wmfAPI* api, wmfDrawPixel_t* p)
{
    deviceOf(api).drawPixel(p);
}
void cbPie(wmfAPI* api, wmfDrawArc_t* a)
{
    deviceOf(api).drawArc(api, a, Pie);
}
void cbChord(wmfAPI* api, wmfDrawArc_t* a)
{
    deviceOf(api).drawArc(api, a, Chord);
}
void cbArc(wmfAPI* api, wmfDrawArc_t* a)
{
    deviceOf(api).drawArc(api, a, Arc);
}
void cbEllipse(wmfAPI* api, wmfDrawArc_t* a)
{
    deviceOf(api).drawEllipse(api, a);
}
void cbLine(wmfAPI* api, wmfDrawLine_t* l)
{
    deviceOf(api).drawLine(api, l);
}
void cbPolyline(wmfAPI* api, wmfPolyLine_t* l)
{
    deviceOf(api).drawPolyline(api, l, false);
}
void cbPolygon(wmfAPI* api, wmfPolyLine_t* l)
{
    deviceOf(api).drawPolyline(api, l, true);
}
void cbPolyPolygon(wmfAPI* api, wmfPolyPoly_t* p)
{
    deviceOf(api).drawPolyPolygon(api, p);
}
void cbRectangle(wmfAPI* api, wmfDrawRectangle_t* r)
{
    deviceOf(api).drawRectangle(api, r);
}
void cbRop(wmfAPI* api, wmfROP_Draw_t* r)
{
    deviceOf(api).drawRop(api, r);
}
void cbBitmapDraw(wmfAPI* api, wmfBMP_Draw_t* b)
{
    deviceOf(api).drawBitmap(api, b);
}
void cbBitmapRead(wmfAPI* api, wmfBMP_Read_t* b)
{
    wmf_ipa_bmp_read(api, b);
}
void cbBitmapFree(wmfAPI* api, wmfBMP* b)
{
    wmf_ipa_bmp_free(api, b);
}
void cbText(wmfAPI* api, wmfDrawText_t* t)
{
    deviceOf(api).drawText(t);
}
void cbUserData(wmfAPI* /*api*/, wmfUserData_t* /*data*/) {}
void cbRegionFrame(wmfAPI* api, wmfPolyRectangle_t* r)
{
    deviceOf(api).paintRegion(api, r, true);
}
void cbRegionPaint(wmfAPI* api, wmfPolyRectangle_t* r)
{
    deviceOf(api).paintRegion(api, r, false);
}
void cbRegionClip(wmfAPI* api, wmfPolyRectangle_t* r)
{
    deviceOf(api).clipRegion(r);
}

} // namespace

PainterDevice::PainterDevice(const MetafileLayout& layout, QSize declaredSize)
    : m_layout(layout), m_declaredSize(declaredSize)
{
}

void PainterDevice::installCallbacks(wmfAPI* api)
{
    auto* table = static_cast<wmfFunctionReference*>(api->function_reference);
    table->device_open = cbNothing;
    table->device_close = cbNothing;
    table->device_begin = cbDeviceBegin;
    table->device_end = cbNothing;
    table->flood_interior = cbFlood;
    table->flood_exterior = cbFlood;
    table->draw_pixel = cbPixel;
    table->draw_pie = cbPie;
    table->draw_chord = cbChord;
    table->draw_arc = cbArc;
    table->draw_ellipse = cbEllipse;
    table->draw_line = cbLine;
    table->poly_line = cbPolyline;
    table->draw_polygon = cbPolygon;
    table->draw_polypolygon = cbPolyPolygon;
    table->draw_rectangle = cbRectangle;
    table->rop_draw = cbRop;
    table->bmp_draw = cbBitmapDraw;
    table->bmp_read = cbBitmapRead;
    table->bmp_free = cbBitmapFree;
    table->draw_text = cbText;
    table->udata_init = cbUserData;
    table->udata_copy = cbUserData;
    table->udata_set = cbUserData;
    table->udata_free = cbUserData;
    table->region_frame = cbRegionFrame;
    table->region_paint = cbRegionPaint;
    table->region_clip = cbRegionClip;
}

void PainterDevice::startMeasuring()
{
    m_measuring = true;
    m_bounds = QRectF();
    m_offset = QPointF();
    m_scale = 1.0;
    m_physicalUnits = false;
}

void PainterDevice::startDrawing(QImage* canvas, QPointF offset, double scale)
{
    m_measuring = false;
    m_offset = offset;
    m_scale = scale;
    m_painter.begin(canvas);
    m_painter.setRenderHint(QPainter::Antialiasing, false);
    m_painter.setRenderHint(QPainter::TextAntialiasing, false);
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
}

void PainterDevice::finishDrawing()
{
    if (m_painter.isActive()) {
        m_painter.end();
    }
}

void PainterDevice::begin()
{
    m_clip.reset();
    if (m_painter.isActive()) {
        m_painter.setClipping(false);
    }
}

double PainterDevice::relativeTextWidth(const wmfFont* font, const char* text)
{
    constexpr double kSize = 100.0;
    const QFontMetricsF metrics(fontOf(font, kSize));
    return metrics.horizontalAdvance(decodeText(text, font == nullptr ? 0 : font->lfCharSet)) /
           kSize;
}

std::optional<QTransform> PainterDevice::mapping(const wmfDC* dc)
{
    const double pw = dc->pixel_width;
    const double ph = dc->pixel_height;
    if (!std::isfinite(pw) || !std::isfinite(ph) || std::abs(pw) < 1e-12 || std::abs(ph) < 1e-12) {
        return std::nullopt;
    }
    double sx = 1;
    double sy = 1;
    double originX = 0;
    double originY = 0;
    if (m_layout.placeable) {
        const double extX = m_layout.setsWindowExt ? dc->Window.width : m_layout.frame.width();
        const double extY = m_layout.setsWindowExt ? dc->Window.height : m_layout.frame.height();
        if (extX == 0 || extY == 0) {
            return std::nullopt;
        }
        originX = m_layout.setsWindowOrg ? dc->Window.Ox : m_layout.frame.left();
        originY = m_layout.setsWindowOrg ? dc->Window.Oy : m_layout.frame.top();
        sx = m_declaredSize.width() / extX;
        sy = m_declaredSize.height() / extY;
        if (dc->map_mode == kMapIsotropic) {
            const double s = std::min(std::abs(sx), std::abs(sy));
            sx = std::copysign(s, sx);
            sy = std::copysign(s, sy);
        }
    } else if (dc->map_mode == kMapIsotropic || dc->map_mode == kMapAnisotropic) {
        if (m_layout.setsWindowExt) {
            sx = dc->Window.width < 0 ? -1 : 1;
            sy = dc->Window.height < 0 ? -1 : 1;
        }
    } else {
        const QPointF unit = unitOf(dc->map_mode == 0 ? kMapText : dc->map_mode);
        sx = unit.x();
        sy = unit.y();
        m_physicalUnits = true;
    }
    sx *= m_scale;
    sy *= m_scale;
    // canvas = ((device / pixel size) + window origin - origin) * scale - offset
    const double kx = sx / pw;
    const double ky = sy / ph;
    const double tx = (dc->Window.Ox - originX) * sx - m_offset.x();
    const double ty = (dc->Window.Oy - originY) * sy - m_offset.y();
    return QTransform(kx, 0, 0, ky, tx, ty);
}

QPen PainterDevice::penOf(const wmfDC* dc, const QTransform& map) const
{
    const wmfPen* pen = dc->pen;
    if (pen == nullptr || (pen->lopnStyle & PS_STYLE_MASK) == PS_NULL) {
        return Qt::NoPen;
    }
    // Widths below two pixels are drawn as Windows draws its thinnest pens: one pixel.
    double width = pen->width * std::abs(map.m11());
    if (!std::isfinite(width) || width < 1.5) {
        width = 0;
    }
    QPen result(colourOf(pen->lopnColor));
    result.setWidthF(std::min(width, static_cast<double>(metafile::kMaxSide)));
    switch (pen->lopnStyle & PS_STYLE_MASK) {
    case PS_DASH:
        result.setStyle(Qt::DashLine);
        break;
    case PS_DOT:
    case PS_ALTERNATE:
        result.setStyle(Qt::DotLine);
        break;
    case PS_DASHDOT:
        result.setStyle(Qt::DashDotLine);
        break;
    case PS_DASHDOTDOT:
        result.setStyle(Qt::DashDotDotLine);
        break;
    default:
        result.setStyle(Qt::SolidLine);
        break;
    }
    switch (pen->lopnStyle & PS_ENDCAP_MASK) {
    case PS_ENDCAP_SQUARE:
        result.setCapStyle(Qt::SquareCap);
        break;
    case PS_ENDCAP_FLAT:
        result.setCapStyle(Qt::FlatCap);
        break;
    default:
        result.setCapStyle(Qt::RoundCap);
        break;
    }
    switch (pen->lopnStyle & PS_JOIN_MASK) {
    case PS_JOIN_BEVEL:
        result.setJoinStyle(Qt::BevelJoin);
        break;
    case PS_JOIN_MITER:
        result.setJoinStyle(Qt::MiterJoin);
        break;
    default:
        result.setJoinStyle(Qt::RoundJoin);
        break;
    }
    return result;
}

QBrush PainterDevice::brushOf(wmfAPI* api, const wmfDC* dc) const
{
    const wmfBrush* brush = dc->brush;
    if (brush == nullptr || brush->lbStyle == BS_NULL) {
        return Qt::NoBrush;
    }
    const QColor colour = colourOf(brush->lbColor);
    switch (brush->lbStyle) {
    case BS_HATCHED:
        switch (brush->lbHatch) {
        case HS_HORIZONTAL:
            return {colour, Qt::HorPattern};
        case HS_VERTICAL:
            return {colour, Qt::VerPattern};
        case HS_FDIAGONAL:
            return {colour, Qt::FDiagPattern};
        case HS_BDIAGONAL:
            return {colour, Qt::BDiagPattern};
        case HS_CROSS:
            return {colour, Qt::CrossPattern};
        default:
            return {colour, Qt::DiagCrossPattern};
        }
    case BS_PATTERN:
    case BS_DIBPATTERN:
    case BS_DIBPATTERNPT:
    case BS_PATTERN8X8:
    case BS_DIBPATTERN8X8: {
        const QImage pattern = imageOf(api, brush->bmp);
        if (!pattern.isNull()) {
            return QBrush(pattern);
        }
        return {colour};
    }
    default:
        return {colour};
    }
}

void PainterDevice::include(QRectF bounds)
{
    if (m_clip) {
        bounds = bounds.intersected(QRectF(m_clip->boundingRect()));
    }
    if (bounds.isValid() && !bounds.isEmpty()) {
        m_bounds = m_bounds.isNull() ? bounds : m_bounds.united(bounds);
    }
}

void PainterDevice::paint(wmfAPI* api, const wmfDC* dc, const QTransform& map,
                          const QPainterPath& path, bool fill, bool stroke)
{
    const QPen pen = stroke ? penOf(dc, map) : QPen(Qt::NoPen);
    const QBrush brush = fill ? brushOf(api, dc) : QBrush(Qt::NoBrush);
    if (pen.style() == Qt::NoPen && brush.style() == Qt::NoBrush) {
        return;
    }
    if (m_measuring) {
        const double half = pen.style() == Qt::NoPen ? 0 : std::max(pen.widthF(), 1.0) / 2;
        include(path.boundingRect().adjusted(-half, -half, half, half));
        return;
    }
    if (dc->ROPmode == R2_NOP) {
        return;
    }
    if (brush.style() >= Qt::HorPattern && brush.style() <= Qt::DiagCrossPattern &&
        dc->bgmode == OPAQUE) {
        m_painter.fillPath(path, colourOf(dc->bgcolor));
    }
    m_painter.setCompositionMode(dc->ROPmode == R2_XORPEN ? QPainter::RasterOp_SourceXorDestination
                                                          : QPainter::CompositionMode_SourceOver);
    m_painter.setPen(pen);
    m_painter.setBrush(brush);
    m_painter.drawPath(path);
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void PainterDevice::drawPixel(wmfDrawPixel_t* pixel)
{
    const auto map = mapping(pixel->dc);
    if (!map) {
        return;
    }
    const QPointF at = map->map(QPointF(pixel->pt.x, pixel->pt.y));
    const QRectF dot(std::floor(at.x()), std::floor(at.y()), 1, 1);
    if (m_measuring) {
        include(dot);
        return;
    }
    m_painter.fillRect(dot, colourOf(pixel->color));
}

void PainterDevice::drawArc(wmfAPI* api, wmfDrawArc_t* arc, int kind)
{
    const auto map = mapping(arc->dc);
    if (!map) {
        return;
    }
    const QRectF box =
        map->mapRect(QRectF(QPointF(arc->TL.x, arc->TL.y), QPointF(arc->BR.x, arc->BR.y)))
            .normalized();
    // libwmf gives both ends relative to the centre, ordered so that the arc runs from
    // `start` to `end` clockwise on screen; Qt sweeps counter-clockwise, so it starts at
    // `end`.
    const QPointF from = QPointF(arc->end.x * map->m11(), arc->end.y * map->m22());
    const QPointF to = QPointF(arc->start.x * map->m11(), arc->start.y * map->m22());
    const double rx = box.width() / 2;
    const double ry = box.height() / 2;
    const double startAngle = angleOf(from, rx, ry);
    double sweep = angleOf(to, rx, ry) - startAngle;
    while (sweep <= 0) {
        sweep += 360;
    }
    QPainterPath path;
    if (kind == Pie) {
        path.moveTo(box.center());
        path.arcTo(box, startAngle, sweep);
        path.closeSubpath();
    } else {
        path.arcMoveTo(box, startAngle);
        path.arcTo(box, startAngle, sweep);
        if (kind == Chord) {
            path.closeSubpath();
        }
    }
    paint(api, arc->dc, *map, path, kind != Arc, true);
}

void PainterDevice::drawEllipse(wmfAPI* api, wmfDrawArc_t* arc)
{
    const auto map = mapping(arc->dc);
    if (!map) {
        return;
    }
    QPainterPath path;
    path.addEllipse(
        map->mapRect(QRectF(QPointF(arc->TL.x, arc->TL.y), QPointF(arc->BR.x, arc->BR.y)))
            .normalized());
    paint(api, arc->dc, *map, path, true, true);
}

void PainterDevice::drawLine(wmfAPI* api, wmfDrawLine_t* line)
{
    const auto map = mapping(line->dc);
    if (!map) {
        return;
    }
    QPainterPath path(map->map(QPointF(line->from.x, line->from.y)));
    path.lineTo(map->map(QPointF(line->to.x, line->to.y)));
    paint(api, line->dc, *map, path, false, true);
}

void PainterDevice::drawPolyline(wmfAPI* api, wmfPolyLine_t* line, bool closed)
{
    const auto map = mapping(line->dc);
    if (!map || line->pt == nullptr || line->count == 0) {
        return;
    }
    QPolygonF points;
    points.reserve(line->count);
    for (unsigned i = 0; i < line->count; ++i) {
        points.append(map->map(QPointF(line->pt[i].x, line->pt[i].y)));
    }
    QPainterPath path;
    path.setFillRule(line->dc->polyfillmode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    path.addPolygon(points);
    if (closed) {
        path.closeSubpath();
    }
    paint(api, line->dc, *map, path, closed, true);
}

void PainterDevice::drawPolyPolygon(wmfAPI* api, wmfPolyPoly_t* poly)
{
    const auto map = mapping(poly->dc);
    if (!map || poly->pt == nullptr || poly->count == nullptr) {
        return;
    }
    QPainterPath path;
    path.setFillRule(poly->dc->polyfillmode == WINDING ? Qt::WindingFill : Qt::OddEvenFill);
    for (unsigned i = 0; i < poly->npoly; ++i) {
        if (poly->pt[i] == nullptr || poly->count[i] == 0) {
            continue;
        }
        QPolygonF points;
        for (unsigned j = 0; j < poly->count[i]; ++j) {
            points.append(map->map(QPointF(poly->pt[i][j].x, poly->pt[i][j].y)));
        }
        path.addPolygon(points);
        path.closeSubpath();
    }
    paint(api, poly->dc, *map, path, true, true);
}

void PainterDevice::drawRectangle(wmfAPI* api, wmfDrawRectangle_t* rect)
{
    const auto map = mapping(rect->dc);
    if (!map) {
        return;
    }
    const QRectF box =
        map->mapRect(QRectF(QPointF(rect->TL.x, rect->TL.y), QPointF(rect->BR.x, rect->BR.y)))
            .normalized();
    QPainterPath path;
    if (rect->width > 0 && rect->height > 0) {
        // The record gives the corner ellipse's axes; Qt takes its radii.
        const double rx = std::min(rect->width * std::abs(map->m11()) / 2, box.width() / 2);
        const double ry = std::min(rect->height * std::abs(map->m22()) / 2, box.height() / 2);
        path.addRoundedRect(box, rx, ry);
    } else {
        path.addRect(box);
    }
    paint(api, rect->dc, *map, path, true, true);
}

void PainterDevice::drawRop(wmfAPI* api, wmfROP_Draw_t* rop)
{
    const auto map = mapping(rop->dc);
    if (!map) {
        return;
    }
    const QRectF box =
        map->mapRect(QRectF(QPointF(rop->TL.x, rop->TL.y), QPointF(rop->BR.x, rop->BR.y)))
            .normalized();
    if (m_measuring) {
        include(box);
        return;
    }
    switch (rop->ROP) {
    case BLACKNESS:
        m_painter.fillRect(box, Qt::black);
        break;
    case WHITENESS:
        m_painter.fillRect(box, Qt::white);
        break;
    case DSTINVERT:
        m_painter.setCompositionMode(QPainter::RasterOp_NotDestination);
        m_painter.fillRect(box, Qt::white);
        m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        break;
    case PATINVERT:
        m_painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        m_painter.fillRect(box, brushOf(api, rop->dc));
        m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        break;
    default: {
        const QBrush brush = brushOf(api, rop->dc);
        if (brush.style() != Qt::NoBrush) {
            m_painter.fillRect(box, brush);
        }
        break;
    }
    }
}

void PainterDevice::drawBitmap(wmfAPI* api, wmfBMP_Draw_t* bitmap)
{
    const auto map = mapping(bitmap->dc);
    if (!map || bitmap->crop.w == 0 || bitmap->crop.h == 0) {
        return;
    }
    const QPointF topLeft(bitmap->pt.x, bitmap->pt.y);
    const QPointF size(bitmap->crop.w * bitmap->pixel_width, bitmap->crop.h * bitmap->pixel_height);
    const QRectF target = map->mapRect(QRectF(topLeft, topLeft + size)).normalized();
    if (m_measuring) {
        include(target);
        return;
    }
    const QImage image = imageOf(api, bitmap->bmp);
    if (image.isNull()) {
        return;
    }
    // The crop counts rows from the bottom of the DIB.
    const QRectF source(bitmap->crop.x, image.height() - bitmap->crop.y - bitmap->crop.h,
                        bitmap->crop.w, bitmap->crop.h);
    m_painter.drawImage(target, image, source);
}

void PainterDevice::drawText(wmfDrawText_t* text)
{
    const auto map = mapping(text->dc);
    if (!map || text->str == nullptr || text->str[0] == '\0') {
        return;
    }
    const wmfDC* dc = text->dc;
    const double pixelSize = text->font_height * std::abs(map->m22());
    if (!std::isfinite(pixelSize) || pixelSize < 1) {
        return;
    }
    const QFont font = fontOf(dc->font, pixelSize);
    const QFontMetricsF metrics(font);
    const QString string = decodeText(text->str, dc->font == nullptr ? 0 : dc->font->lfCharSet);
    const double width = metrics.horizontalAdvance(string);
    const double angle = dc->font == nullptr ? 0.0 : dc->font->lfEscapement / 10.0;

    // libwmf moves a top or bottom reference point to an estimated baseline, a font height
    // down or a third of one up in its own units (which point the other way on a canvas
    // whose y axis is turned); put it on the font's real baseline instead.
    const double turned = map->m22() < 0 ? -1.0 : 1.0;
    double shift = 0; // a baseline reference is left where it is
    if ((dc->textalign & TA_BASELINE) != TA_BASELINE) {
        shift = (dc->textalign & TA_BOTTOM) != 0 ? turned * pixelSize / 3 - metrics.descent()
                                                 : metrics.ascent() - turned * pixelSize;
    }
    const QPointF reference = map->map(QPointF(text->pt.x, text->pt.y));
    QTransform place;
    place.translate(reference.x(), reference.y());
    place.rotate(-angle);
    place.translate(0, shift);
    const QRectF box(0, -metrics.ascent(), width, metrics.ascent() + metrics.descent());
    const QRectF opaqueBox =
        map->mapRect(QRectF(QPointF(text->TL.x, text->TL.y), QPointF(text->BR.x, text->BR.y)))
            .normalized();
    const bool opaque = (text->flags & ETO_OPAQUE) != 0 && !opaqueBox.isEmpty();
    const bool clipped = (text->flags & ETO_CLIPPED) != 0 && !opaqueBox.isEmpty();

    if (m_measuring) {
        include(clipped ? place.mapRect(box).intersected(opaqueBox) : place.mapRect(box));
        if (opaque) {
            include(opaqueBox);
        }
        return;
    }
    m_painter.save();
    if (opaque) {
        m_painter.fillRect(opaqueBox, colourOf(dc->bgcolor));
    }
    if (clipped) {
        m_painter.setClipRect(opaqueBox,
                              m_painter.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    }
    m_painter.setTransform(place, true);
    if (dc->bgmode == OPAQUE) {
        m_painter.fillRect(box, colourOf(dc->bgcolor));
    }
    m_painter.setFont(font);
    m_painter.setPen(colourOf(dc->textcolor));
    m_painter.drawText(QPointF(0, 0), string);
    m_painter.restore();
}

void PainterDevice::paintRegion(wmfAPI* api, wmfPolyRectangle_t* region, bool frame)
{
    const auto map = mapping(region->dc);
    if (!map || region->TL == nullptr || region->BR == nullptr) {
        return;
    }
    const QBrush brush = brushOf(api, region->dc);
    const double bw = std::max(1.0, region->width * std::abs(map->m11()));
    const double bh = std::max(1.0, region->height * std::abs(map->m22()));
    for (unsigned i = 0; i < region->count; ++i) {
        const QRectF box = map->mapRect(QRectF(QPointF(region->TL[i].x, region->TL[i].y),
                                               QPointF(region->BR[i].x, region->BR[i].y)))
                               .normalized();
        if (m_measuring) {
            include(box);
            continue;
        }
        if (brush.style() == Qt::NoBrush) {
            continue;
        }
        if (!frame) {
            m_painter.fillRect(box, brush);
            continue;
        }
        m_painter.fillRect(QRectF(box.left(), box.top(), box.width(), bh), brush);
        m_painter.fillRect(QRectF(box.left(), box.bottom() - bh, box.width(), bh), brush);
        m_painter.fillRect(QRectF(box.left(), box.top(), bw, box.height()), brush);
        m_painter.fillRect(QRectF(box.right() - bw, box.top(), bw, box.height()), brush);
    }
}

void PainterDevice::clipRegion(wmfPolyRectangle_t* region)
{
    const auto map = mapping(region->dc);
    if (!map || region->count == 0 || region->TL == nullptr || region->BR == nullptr) {
        m_clip.reset();
        if (m_painter.isActive()) {
            m_painter.setClipping(false);
        }
        return;
    }
    QRegion clip;
    for (unsigned i = 0; i < region->count; ++i) {
        const QRectF box = map->mapRect(QRectF(QPointF(region->TL[i].x, region->TL[i].y),
                                               QPointF(region->BR[i].x, region->BR[i].y)))
                               .normalized();
        // Bounded before rounding so that no coordinate overflows an int.
        const QRectF reach(-metafile::kMaxSide, -metafile::kMaxSide, 3.0 * metafile::kMaxSide,
                           3.0 * metafile::kMaxSide);
        clip += box.intersected(reach).toAlignedRect();
    }
    m_clip = clip;
    if (m_painter.isActive()) {
        m_painter.setClipRegion(clip);
    }
}

} // namespace pixelcast::wmf
