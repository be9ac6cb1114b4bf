#pragma once

#include "display/display_array.h"
#include "errors/error.h"
#include "pixels/surface.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace pixelcast {

// The files the window exports, each made whole from what the window shows: the array
// "Create array" would make as a C header or an X bitmap, the rendering as a PNG, and an
// animation's frames as one file of arrays or as the player's header.
enum class Export { CHeader, XBitmap, PreviewPng, AnimationFrames, AnimationHeader };

[[nodiscard]] constexpr bool isAnimationExport(Export kind)
{
    return kind == Export::AnimationFrames || kind == Export::AnimationHeader;
}

// What the exports are made of.
struct ExportInput {
    DisplayArray array;
    Surface rendering;
    // The header comment's line for the still picture and for the whole animation.
    QString origin;
    QString animationOrigin;
    // An animation's frames, up to date, with their delays and how often they play.
    std::vector<DisplayArray> frames;
    std::vector<int> delaysMs;
    int plays = 1;
};

// One export's file: its bytes, the error number and noun a failed write is told with,
// and the status line for it, "%1" standing for the file's name.
struct ExportFile {
    QByteArray bytes;
    ErrorCode error = ErrorCode::ArrayFileNotWritten;
    QString what;
    QString status;
};

[[nodiscard]] ExportFile makeExport(Export kind, const ExportInput& input);

} // namespace pixelcast
