#include "pipeline/picture_options.h"

#include "errors/error.h"

#include <QStringList>

namespace pixelcast {

RenderOptions GivenPictureOptions::appliedTo(RenderOptions options) const
{
    if (dither) {
        options.dither = *dither;
    }
    options.invert = options.invert || invert;
    options.smooth = options.smooth || smooth;
    options.keepAspect = options.keepAspect || keepAspect;
    return options;
}

GivenPictureOptions pictureOptionsFrom(const ParsedCommandLine& parsed)
{
    GivenPictureOptions given;
    if (parsed.has("--dither")) {
        const QString text = parsed.value("--dither");
        const QByteArray name = text.toUtf8();
        given.dither = ditherFromName(
            std::string_view(name.constData(), static_cast<std::size_t>(name.size())));
        if (!given.dither) {
            throw Error(ErrorCode::UsageError,
                        QStringLiteral("The dither \"%1\" is not known; use none, "
                                       "floyd-steinberg, atkinson or ordered.")
                            .arg(text));
        }
    }
    given.invert = parsed.has("--invert");
    given.smooth = parsed.has("--smooth");
    given.keepAspect = parsed.has("--keep-aspect");
    return given;
}

DisplayFormat GivenDisplayOptions::appliedTo(DisplayFormat format) const
{
    if (size) {
        format.size = *size;
    }
    if (layout != nullptr) {
        format.layout = layout;
    }
    return format;
}

GivenDisplayOptions displayOptionsFrom(const ParsedCommandLine& parsed)
{
    GivenDisplayOptions given;
    if (parsed.has("--size")) {
        const QString text = parsed.value("--size");
        given.size = parseDisplaySize(text.toStdString());
        if (!given.size) {
            throw Error(ErrorCode::UsageError,
                        QStringLiteral("The size \"%1\" is not WxH with each side a whole number "
                                       "from 1 to %2 (for instance 128x32).")
                            .arg(text)
                            .arg(kMaxDisplaySide));
        }
    }
    if (parsed.has("--layout")) {
        const QString text = parsed.value("--layout");
        given.layout = layoutNamed(text.toStdString());
        if (given.layout == nullptr) {
            QStringList names;
            for (const ByteLayout* layout : allLayouts()) {
                names.append(QString::fromLatin1(layout->name()));
            }
            throw Error(ErrorCode::UsageError,
                        QStringLiteral("The layout \"%1\" is not known; use %2.")
                            .arg(text, names.join(QStringLiteral(", "))));
        }
    }
    return given;
}

} // namespace pixelcast
