#pragma once

#include "decoders/picture_loader.h"
#include "pixels/surface.h"

#include <QString>

namespace pixelcast::test {

// What loadAndScale leaves behind: the source picture and the 128 x 64 scaled surface,
// which starts black so that a pixel the stretch missed would show.
struct Loaded {
    Surface source;
    Surface scaled{kDisplayWidth, kDisplayHeight, kBlack};
};

inline Loaded load(const QString& fileName)
{
    Loaded l;
    loadAndScale(fileName, l.source, l.scaled, kFaceColour);
    return l;
}

} // namespace pixelcast::test
