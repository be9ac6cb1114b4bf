#include "pipeline/options_note.h"

namespace pixelcast {

namespace {

// Frame 1 alone is what a conversion without --frames holds, and all frames what an animation
// header holds; neither is named.
QString framesNote(std::optional<FrameRange> frames)
{
    if (!frames || *frames == FrameRange{1, 1} || *frames == FrameRange{1, 0}) {
        return {};
    }
    if (frames->first == frames->last) {
        return QStringLiteral(" --frames %1").arg(frames->first);
    }
    return QStringLiteral(" --frames %1-%2").arg(frames->first).arg(frames->last);
}

} // namespace

QString optionsNote(const RenderOptions& options, const DisplayFormat& display,
                    std::optional<FrameRange> frames)
{
    QString note = framesNote(frames);
    if (options.dither != Dither::None) {
        note += QStringLiteral(" --dither ") + QString::fromLatin1(ditherName(options.dither));
    }
    if (options.invert) {
        note += QStringLiteral(" --invert");
    }
    if (options.smooth) {
        note += QStringLiteral(" --smooth");
    }
    if (options.keepAspect) {
        note += QStringLiteral(" --keep-aspect");
    }
    if (options.background != Background::Panel) {
        note += QStringLiteral(" --background ") +
                QString::fromLatin1(backgroundName(options.background));
    }
    if (options.rotation != Rotation::None) {
        note += QStringLiteral(" --rotate ") + QString::fromLatin1(rotationName(options.rotation));
    }
    if (options.flip != Flip::None) {
        note += QStringLiteral(" --flip ") + QString::fromLatin1(flipName(options.flip));
    }
    if (display.size != kDefaultDisplay) {
        note += QStringLiteral(" --size %1x%2").arg(display.size.width).arg(display.size.height);
    }
    if (display.layout != &verticalLayout()) {
        note += QStringLiteral(" --layout ") + QString::fromLatin1(display.layout->name());
    }
    return note;
}

QString withOptionsNote(const RenderOptions& options, const DisplayFormat& display,
                        std::optional<FrameRange> frames)
{
    const QString note = optionsNote(options, display, frames);
    return note.isEmpty() ? note : QStringLiteral(" with") + note;
}

} // namespace pixelcast
