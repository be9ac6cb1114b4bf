// Bytes in, the SVG glue and librsvg's parsing and drawing out, in process: recognition by
// content, SVGZ unpacking under its cap, the recovery of a document that is not
// well-formed, and the drawing for a box the input's last bytes choose (fuzz_settings.h),
// as the helper does it. Any exit code is a proper answer; a crash, a sanitizer report or
// a hang is a finding.
#include "errors/error.h"
#include "fuzz_settings.h"
#include "svg/helper/draw_svg.h"
#include "svg/svg.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace pixelcast;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (!looksLikeSvg(bytes)) {
        return 0;
    }
    const ConversionSettings settings = fuzz::settingsFrom(data, size);
    try {
        bool whole = true;
        const QByteArray document = svgDocument(bytes, whole);
        svg::Drawing drawing;
        (void)svg::drawSvg(
            std::string_view(document.constData(), static_cast<std::size_t>(document.size())),
            transparencyColour(settings.options), settings.display.size.width,
            settings.display.size.height,
            settings.options.keepAspect ? svg::Fit::Keep : svg::Fit::Fill, drawing);
    } catch (const Error&) {
        // Too large: refused before the renderer sees it.
    } catch (const std::bad_alloc&) {
        // The helper reports this as running out of memory.
    }
    return 0;
}
