#include "exports.h"

#include "output/animation_header.h"
#include "output/array_file.h"
#include "output/c_header.h"
#include "output/preview.h"
#include "output/xbm_file.h"

namespace pixelcast {

namespace {

const QString kArrayName = QStringLiteral("display_array");

} // namespace

ExportFile makeExport(Export kind, const ExportInput& input)
{
    switch (kind) {
    case Export::CHeader:
        return {cHeader(input.array, kArrayName, input.origin), ErrorCode::ArrayFileNotWritten,
                QStringLiteral("array header"), QStringLiteral("Wrote the C header to %1")};
    case Export::XBitmap:
        return {xbmFile(input.array, kArrayName), ErrorCode::ArrayFileNotWritten,
                QStringLiteral("X bitmap"), QStringLiteral("Wrote the X bitmap to %1")};
    case Export::PreviewPng:
        return {previewPng(input.rendering), ErrorCode::PreviewNotWritten,
                QStringLiteral("preview"), QStringLiteral("Wrote the preview to %1")};
    case Export::AnimationFrames: {
        QByteArray bytes;
        for (const DisplayArray& frame : input.frames) {
            bytes += arrayBytes(frame);
        }
        const QString status = QStringLiteral("Wrote %1 frames, %2 bytes, to %3")
                                   .arg(input.frames.size())
                                   .arg(bytes.size());
        return {bytes, ErrorCode::ArrayFileNotWritten, QStringLiteral("frames"), status};
    }
    case Export::AnimationHeader:
        break;
    }
    const bool compressed = !plainAnimationFitsUno(input.frames);
    const QString status =
        (compressed ? QStringLiteral("Wrote the compressed animation header (%1 frames; the "
                                     "plain one would not fit an Uno) to %2")
                    : QStringLiteral("Wrote the plain animation header (%1 frames) to %2"))
            .arg(input.frames.size());
    return {animationHeader({input.frames, input.delaysMs, input.plays, kArrayName,
                             input.animationOrigin, compressed}),
            ErrorCode::ArrayFileNotWritten, QStringLiteral("array header"), status};
}

} // namespace pixelcast
