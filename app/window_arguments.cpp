#include "window_arguments.h"

#include "errors/error.h"

namespace pixelcast {

namespace {

[[noreturn]] void usageError(const QString& description)
{
    throw Error(ErrorCode::UsageError, description);
}

} // namespace

RenderOptions WindowArguments::appliedTo(RenderOptions options) const
{
    if (dither) {
        options.dither = *dither;
    }
    options.invert = options.invert || invert;
    options.smooth = options.smooth || smooth;
    options.keepAspect = options.keepAspect || keepAspect;
    return options;
}

WindowArguments parseWindowArguments(const QStringList& arguments)
{
    WindowArguments parsed;
    bool optionsEnded = false;
    bool fileGiven = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnded || !argument.startsWith(u'-') || argument == u"-") {
            if (fileGiven) {
                usageError(QStringLiteral("Unexpected argument \"%1\"; give one picture file.")
                               .arg(argument));
            }
            if (argument.isEmpty()) {
                usageError(QStringLiteral("The picture file name is empty."));
            }
            parsed.file = argument;
            fileGiven = true;
            continue;
        }
        if (argument == u"--") {
            optionsEnded = true;
        } else if (argument == u"-h" || argument == u"--help") {
            parsed.action = WindowArguments::Action::ShowHelp;
            return parsed;
        } else if (argument == u"--version") {
            parsed.action = WindowArguments::Action::ShowVersion;
            return parsed;
        } else if (argument == u"--invert") {
            parsed.invert = true;
        } else if (argument == u"--smooth") {
            parsed.smooth = true;
        } else if (argument == u"--keep-aspect") {
            parsed.keepAspect = true;
        } else if (argument == u"--dither" || argument.startsWith(u"--dither=")) {
            QString value;
            if (argument.startsWith(u"--dither=")) {
                value = argument.mid(9);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                usageError(QStringLiteral("The option --dither needs a value."));
            }
            const QByteArray name = value.toUtf8();
            parsed.dither = ditherFromName(
                std::string_view(name.constData(), static_cast<std::size_t>(name.size())));
            if (!parsed.dither) {
                usageError(QStringLiteral("The dithering \"%1\" is not known; use none, "
                                          "floyd-steinberg, atkinson or ordered.")
                               .arg(value));
            }
        } else {
            usageError(QStringLiteral("Unknown option \"%1\".").arg(argument));
        }
    }
    return parsed;
}

QString windowUsageText()
{
    return QStringLiteral(
        "Usage: pixelcast [OPTION]... [FILE]\n"
        "Shows a picture as a 128 x 64 monochrome display shows it, and makes the\n"
        "1024-byte array of that display for an Arduino board, written to a file or sent\n"
        "over a serial port. FILE, a GIF, JPEG, BMP, WMF, ICO, CUR or PNG picture, is\n"
        "loaded at start as \"Load Image\" loads a chosen one.\n"
        "\n"
        "Options:\n"
        "  --dither MODE     how grey becomes black and white: none (a plain threshold at\n"
        "                    the level), floyd-steinberg, atkinson or ordered\n"
        "  --invert          swap black and white in the rendering\n"
        "  --smooth          average the pixels a shrunk picture loses\n"
        "  --keep-aspect     keep the picture's proportions, centred on a black frame\n"
        "  -h, --help        show this text and exit\n"
        "      --version     show the version and exit\n"
        "\n"
        "Picture options given here apply to this run; those left out keep the choices\n"
        "made last in the Picture menu.\n"
        "\n"
        "Errors are shown with a number and a description; pixelcast-convert(1) does the\n"
        "same conversion for scripts.\n");
}

QString windowVersionText()
{
    return QStringLiteral("pixelcast %1\n").arg(pixelcastVersion());
}

QString pixelcastVersion()
{
    return QStringLiteral(PIXELCAST_VERSION);
}

} // namespace pixelcast
