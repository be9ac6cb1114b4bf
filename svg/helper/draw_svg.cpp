#include "draw_svg.h"

#include "pixels/stretch.h"
#include "svg/svg_protocol.h"

#include <algorithm>
#include <cairo.h>
#include <cmath>
#include <librsvg/rsvg.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <memory>
#include <new>
#include <optional>

namespace pixelcast::svg {

namespace {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using Handle = std::unique_ptr<RsvgHandle, GObjectUnref>;

struct SurfaceDestroy {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDestroy {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};

Handle load(std::string_view text)
{
    GError* error = nullptr;
    // Default flags: librsvg's own limits on the document's size and depth stay on.
    Handle handle(rsvg_handle_new_from_data(reinterpret_cast<const guint8*>(text.data()),
                                            text.size(), &error));
    g_clear_error(&error);
    if (handle) {
        rsvg_handle_set_dpi(handle.get(), kDotsPerInch);
    }
    return handle;
}

// What libxml2's recovery reads of a document that is not well-formed, written out again:
// the elements up to the fault, every open one closed. Entities stay as they are, nothing
// outside the document is loaded (no DTD, no network, no XInclude pass).
void ignoreMessage(void* /*context*/, const char* /*format*/, ...) {}

std::optional<std::string> recovered(std::string_view text)
{
    // libxml2 writes what it finds wrong to standard error; the fault is told by `repaired`.
    xmlSetGenericErrorFunc(nullptr, ignoreMessage);
    xmlDocPtr doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                  XML_PARSE_RECOVER | XML_PARSE_NONET | XML_PARSE_NOERROR |
                                      XML_PARSE_NOWARNING);
    if (doc == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> result;
    const xmlNode* root = xmlDocGetRootElement(doc);
    if (root != nullptr && xmlStrcmp(root->name, BAD_CAST "svg") == 0) {
        xmlChar* dumped = nullptr;
        int size = 0;
        xmlDocDumpMemory(doc, &dumped, &size);
        if (dumped != nullptr) {
            result.emplace(reinterpret_cast<const char*>(dumped), static_cast<std::size_t>(size));
            xmlFree(dumped);
        }
    }
    xmlFreeDoc(doc);
    return result;
}

// The document's own size in pixels: its width and height, else its viewBox, else the
// extent of what it draws. Nothing when it has none of these.
std::optional<std::pair<double, double>> ownSize(RsvgHandle* handle)
{
    gboolean hasWidth = FALSE;
    gboolean hasHeight = FALSE;
    gboolean hasViewBox = FALSE;
    RsvgLength w{};
    RsvgLength h{};
    RsvgRectangle viewBox{};
    rsvg_handle_get_intrinsic_dimensions(handle, &hasWidth, &w, &hasHeight, &h, &hasViewBox,
                                         &viewBox);
    // A width or height of zero, or a negative one (an error), draws nothing.
    if ((hasWidth && w.length <= 0) || (hasHeight && h.length <= 0)) {
        return std::pair{0.0, 0.0};
    }
    double width = 0;
    double height = 0;
    if (rsvg_handle_get_intrinsic_size_in_pixels(handle, &width, &height)) {
        return std::pair{width, height};
    }
    if (hasViewBox) {
        return std::pair{viewBox.width, viewBox.height};
    }
    const RsvgRectangle viewport{0, 0, 100, 100};
    RsvgRectangle ink{};
    RsvgRectangle logical{};
    GError* error = nullptr;
    const bool measured =
        rsvg_handle_get_geometry_for_layer(handle, nullptr, &viewport, &ink, &logical, &error);
    g_clear_error(&error);
    if (!measured || logical.width <= 0 || logical.height <= 0) {
        return std::nullopt;
    }
    return std::pair{logical.x + logical.width, logical.y + logical.height};
}

int roundedSide(double length)
{
    return static_cast<int>(std::clamp(std::lround(length), 0L, static_cast<long>(kMaxSide) * 64));
}

} // namespace

int drawSvg(std::string_view text, ColorRef background, int boxWidth, int boxHeight, Fit fit,
            Drawing& out)
{
    if (text.size() > static_cast<std::size_t>(kMaxDocumentBytes)) {
        return ExitNotReadable;
    }
    Handle handle = load(text);
    std::string repairedText;
    if (!handle) {
        std::optional<std::string> repaired = recovered(text);
        if (!repaired) {
            return ExitNotReadable;
        }
        repairedText = std::move(*repaired);
        handle = load(repairedText);
        if (!handle) {
            return ExitNotReadable;
        }
        out.repaired = true;
    }
    const auto own = ownSize(handle.get());
    if (!own) {
        return ExitNoSize;
    }
    const auto [ownWidth, ownHeight] = *own;
    out.ownWidth = roundedSide(ownWidth);
    out.ownHeight = roundedSide(ownHeight);

    // The size drawn at.
    int width = boxWidth;
    int height = boxHeight;
    if (fit == Fit::Own) {
        width = std::max(1, out.ownWidth);
        height = std::max(1, out.ownHeight);
        const double shrink = std::min(
            {1.0, static_cast<double>(kMaxSide) / width, static_cast<double>(kMaxSide) / height,
             std::sqrt(static_cast<double>(kMaxPixels) / (static_cast<double>(width) * height))});
        width = std::max(1, static_cast<int>(width * shrink));
        height = std::max(1, static_cast<int>(height * shrink));
    } else if (fit == Fit::Keep) {
        const StretchRect rect = stretchPlacement(
            std::max(1, out.ownWidth), std::max(1, out.ownHeight), boxWidth, boxHeight, true);
        width = rect.width;
        height = rect.height;
    }
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide ||
        static_cast<std::int64_t>(width) * height > kMaxPixels) {
        return ExitUsage;
    }

    const std::unique_ptr<cairo_surface_t, SurfaceDestroy> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        return ExitNoMemory;
    }
    const std::unique_ptr<cairo_t, ContextDestroy> cr(cairo_create(surface.get()));
    cairo_set_source_rgb(cr.get(), redOf(background) / 255.0, greenOf(background) / 255.0,
                         blueOf(background) / 255.0);
    cairo_paint(cr.get());
    // A document of no size draws nothing (as SVG asks of a zero width or height).
    if (ownWidth > 0 && ownHeight > 0) {
        cairo_scale(cr.get(), width / ownWidth, height / ownHeight);
        const RsvgRectangle viewport{0, 0, ownWidth, ownHeight};
        GError* error = nullptr;
        const bool drawn = rsvg_handle_render_document(handle.get(), cr.get(), &viewport, &error);
        g_clear_error(&error);
        if (!drawn) {
            return ExitNotDrawn;
        }
    }
    cairo_surface_flush(surface.get());
    if (cairo_status(cr.get()) == CAIRO_STATUS_NO_MEMORY) {
        return ExitNoMemory;
    }

    out.width = width;
    out.height = height;
    out.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    for (int y = 0; y < height; ++y) {
        const auto* row =
            reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < width; ++x) {
            // Opaque after the background: premultiplied or not, the channels are the same.
            const std::uint32_t argb = row[x];
            out.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                       static_cast<std::size_t>(x)] =
                rgb(static_cast<int>((argb >> 16U) & 0xFFU), static_cast<int>((argb >> 8U) & 0xFFU),
                    static_cast<int>(argb & 0xFFU));
        }
    }
    return ExitDrawn;
}

} // namespace pixelcast::svg
