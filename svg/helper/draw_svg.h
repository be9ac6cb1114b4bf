#pragma once

#include "pixels/colorref.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace pixelcast::svg {

// How the drawing fills its box (see svg_protocol.h).
enum class Fit { Fill, Keep, Own };

struct Drawing {
    int ownWidth = 0;
    int ownHeight = 0;
    int width = 0;
    int height = 0;
    bool repaired = false;
    // Row by row from the top.
    std::vector<ColorRef> pixels;
};

// Draws the SVG document `text` with librsvg, in this process, for a box of `boxWidth` x
// `boxHeight` pixels as `fit` says, over `background`. Nothing outside the document is
// read: no file, no address on a network (the document is given without a base address,
// so librsvg resolves no reference but data: addresses; external entities are not
// loaded, XInclude neither). A document that is not well-formed XML is read as far as
// libxml2's recovery goes and drawn with `repaired` set. Returns an ExitCode.
[[nodiscard]] int drawSvg(std::string_view text, ColorRef background, int boxWidth, int boxHeight,
                          Fit fit, Drawing& out);

} // namespace pixelcast::svg
