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
    options.background = background.value_or(options.background);
    options.rotation = rotation.value_or(options.rotation);
    options.flip = flip.value_or(options.flip);
    return options;
}

namespace {

// The value an option names through `fromName`, or nothing when the option is not given.
// Throws Error(UsageError) naming the text and the choices when the name is not known.
template <typename FromName>
auto namedValue(const ParsedCommandLine& parsed, const char* option, const char* what,
                const char* choices, FromName fromName) -> decltype(fromName(std::string_view()))
{
    if (!parsed.has(option)) {
        return std::nullopt;
    }
    const QString text = parsed.value(option);
    const QByteArray name = text.toUtf8();
    const auto value =
        fromName(std::string_view(name.constData(), static_cast<std::size_t>(name.size())));
    if (!value) {
        throw Error(ErrorCode::UsageError,
                    QStringLiteral("The %1 \"%2\" is not known; use %3.")
                        .arg(QLatin1StringView(what), text, QLatin1StringView(choices)));
    }
    return value;
}

} // namespace

GivenPictureOptions pictureOptionsFrom(const ParsedCommandLine& parsed)
{
    GivenPictureOptions given;
    given.dither = namedValue(parsed, "--dither", "dither",
                              "none, floyd-steinberg, atkinson or ordered", ditherFromName);
    given.background =
        namedValue(parsed, "--background", "background", "white or black", backgroundFromName);
    given.rotation = namedValue(parsed, "--rotate", "rotation",
                                "90, 180 or 270 (degrees "
                                "clockwise)",
                                rotationFromName);
    given.flip = namedValue(parsed, "--flip", "flip", "horizontal or vertical", flipFromName);
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
