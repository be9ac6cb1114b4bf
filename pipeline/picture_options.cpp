#include "pipeline/picture_options.h"

#include "errors/error.h"

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

} // namespace pixelcast
