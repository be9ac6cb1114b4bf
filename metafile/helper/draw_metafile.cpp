// Parsing with libwmf and drawing through the painter device: everything the helper does
// between reading the file and writing the pixels.
#include "draw_metafile.h"

#include "metafile/metafile_protocol.h"
#include "metafile_layout.h"
#include "painter_device.h"

#include <algorithm>
#include <cmath>
#include <libwmf/api.h>

namespace pixelcast::wmf {

namespace {

void installDevice(wmfAPI* api)
{
    wmf::PainterDevice::installCallbacks(api);
}

void mapFont(wmfAPI* /*api*/, wmfFont* /*font*/) {}

float fontWidth(wmfAPI* /*api*/, wmfFont* font, char* text)
{
    return static_cast<float>(wmf::PainterDevice::relativeTextWidth(font, text));
}

// Owns the parser's state for one file.
class Parser {
public:
    Parser()
    {
        wmfAPI_Options options{};
        options.function = installDevice;
        const unsigned long flags =
            WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
        if (wmf_lite_create(&m_api, flags, &options) != wmf_E_None) {
            m_api = nullptr;
            return;
        }
        auto* fonts = static_cast<wmfFontData*>(wmf_malloc(m_api, sizeof(wmfFontData)));
        if (fonts == nullptr) {
            return;
        }
        fonts->map = mapFont;
        fonts->stringwidth = fontWidth;
        fonts->user_data = nullptr;
        m_api->font_data = fonts;
    }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;
    ~Parser()
    {
        if (m_api != nullptr) {
            wmf_lite_destroy(m_api);
        }
    }
    [[nodiscard]] wmfAPI* api() const
    {
        return m_api != nullptr && m_api->font_data != nullptr ? m_api : nullptr;
    }

private:
    wmfAPI* m_api = nullptr;
};

int exitFor(wmf_error_t error)
{
    return error == wmf_E_InsMem ? metafile::ExitNoMemory : metafile::ExitNotReadable;
}

} // namespace

int drawMetafile(QByteArray bytes, ColorRef background, QImage& canvas)
{
    const wmf::MetafileLayout layout = wmf::inspectMetafile(bytes);
    QSize size = wmf::declaredPixelSize(layout, metafile::kDotsPerInch);
    // A file whose records do not chain up to an end record is damaged or cut short; one
    // that nests saved states thousands deep is built to stall the parser, and one whose
    // bitmap runs past its record would make the parser read and allocate past it.
    if (!layout.hasEndRecord || (layout.placeable && !size.isValid()) ||
        layout.deepestSavedStates > kMaxSavedStates || !layout.bitmapsSound) {
        return metafile::ExitNotReadable;
    }
    if (size.isValid() && !metafile::fitsCap(size.width(), size.height())) {
        return metafile::ExitTooLarge;
    }

    wmf::correctLargestRecord(bytes, layout);

    Parser parser;
    wmfAPI* api = parser.api();
    if (api == nullptr) {
        return metafile::ExitNoMemory;
    }
    wmf::PainterDevice device(layout, size);
    api->user_data = &device;
    if (wmf_mem_open(api, reinterpret_cast<unsigned char*>(bytes.data()), bytes.size()) !=
        wmf_E_None) {
        return metafile::ExitNotReadable;
    }
    wmfD_Rect box{};
    if (const wmf_error_t e = wmf_scan(api, 0, &box); e != wmf_E_None) {
        return exitFor(e);
    }

    QPointF offset;
    double drawScale = 1.0;
    if (!size.isValid()) {
        // No declared size: the drawing's own extent, found by a first play.
        device.startMeasuring();
        if (const wmf_error_t e = wmf_play(api, 0, &box); e != wmf_E_None) {
            return exitFor(e);
        }
        const QRectF bounds = device.measuredBounds();
        if (bounds.isEmpty()) {
            return metafile::ExitEmpty;
        }
        double scale = 1.0;
        const double area = bounds.width() * bounds.height();
        if (!device.measuredPhysicalUnits() &&
            (bounds.width() > metafile::kMaxSide || bounds.height() > metafile::kMaxSide ||
             area > static_cast<double>(metafile::kMaxPixels))) {
            // Units without a size: fit the drawing into the cap, leaving room for the
            // rounding out to whole pixels.
            const double side = metafile::kMaxSide - 1;
            scale = std::min({side / bounds.width(), side / bounds.height(),
                              0.99 * std::sqrt(static_cast<double>(metafile::kMaxPixels) / area)});
        }
        const double left = std::floor(bounds.left() * scale);
        const double top = std::floor(bounds.top() * scale);
        const double width = std::ceil(bounds.right() * scale) - left;
        const double height = std::ceil(bounds.bottom() * scale) - top;
        if (!(width <= metafile::kMaxSide && height <= metafile::kMaxSide) ||
            !metafile::fitsCap(static_cast<std::int64_t>(width),
                               static_cast<std::int64_t>(height))) {
            return metafile::ExitTooLarge;
        }
        size = QSize(static_cast<int>(width), static_cast<int>(height));
        offset = QPointF(left, top);
        drawScale = scale;
    }

    canvas = QImage(size, QImage::Format_RGB32);
    if (canvas.isNull()) {
        return metafile::ExitNoMemory;
    }
    canvas.fill(QColor(redOf(background), greenOf(background), blueOf(background)));
    device.startDrawing(&canvas, offset, drawScale);
    const wmf_error_t played = wmf_play(api, 0, &box);
    device.finishDrawing();
    if (played != wmf_E_None) {
        return exitFor(played);
    }
    return metafile::ExitDrawn;
}

} // namespace pixelcast::wmf
