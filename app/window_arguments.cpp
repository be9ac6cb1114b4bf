#include "window_arguments.h"

#include "errors/error.h"
#include "pipeline/command_line.h"

#include <vector>

namespace pixelcast {

namespace {

[[noreturn]] void usageError(const QString& description)
{
    throw Error(ErrorCode::UsageError, description);
}

} // namespace

WindowArguments parseWindowArguments(const QStringList& arguments)
{
    std::vector<OptionSpec> specs(kPictureOptionSpecs.begin(), kPictureOptionSpecs.end());
    specs.insert(specs.end(), kDisplayOptionSpecs.begin(), kDisplayOptionSpecs.end());
    const ParsedCommandLine line = parseCommandLine(arguments, specs);
    WindowArguments parsed;
    if (line.help) {
        parsed.action = WindowArguments::Action::ShowHelp;
        return parsed;
    }
    if (line.version) {
        parsed.action = WindowArguments::Action::ShowVersion;
        return parsed;
    }
    if (line.positional.size() > 1) {
        usageError(QStringLiteral("Unexpected argument \"%1\"; give one picture file.")
                       .arg(line.positional[1]));
    }
    if (!line.positional.isEmpty()) {
        parsed.file = line.positional.front();
        if (parsed.file.isEmpty()) {
            usageError(QStringLiteral("The picture file name is empty."));
        }
    }
    parsed.picture = pictureOptionsFrom(line);
    parsed.display = displayOptionsFrom(line);
    return parsed;
}

QString windowUsageText()
{
    return QStringLiteral(
        "Usage: pixelcast [OPTION]... [FILE]\n"
        "Shows a picture as a 128 x 64 monochrome display shows it, and makes the\n"
        "1024-byte array of that display for an Arduino board, written to a file or sent\n"
        "over a serial port. FILE, a GIF, JPEG, BMP, WMF, ICO, CUR, PNG, WebP, AVIF,\n"
        "HEIF or SVG (SVGZ) picture or an MP4, MOV, MKV, WebM or AVI video clip (played\n"
        "as an animation), is loaded at start as \"Load Image\" loads a chosen one.\n"
        "\n"
        "Options:\n"
        "  --dither MODE     how grey becomes black and white: none (a plain threshold at\n"
        "                    the level), floyd-steinberg, atkinson or ordered\n"
        "  --invert          swap black and white in the rendering\n"
        "  --smooth          average the pixels a shrunk picture loses\n"
        "  --keep-aspect     keep the picture's proportions, centred on a black frame\n"
        "  --background white|black  lay transparent parts on white or black instead of\n"
        "                    the panel grey; the keep-aspect frame takes the colour too\n"
        "  --rotate 90|180|270  turn the picture clockwise before it is stretched\n"
        "  --flip horizontal|vertical  mirror the picture left-right or top-bottom, after\n"
        "                    the turn\n"
        "  --size WxH        the display's size (128x64 unless chosen otherwise), as in\n"
        "                    the Display menu: 128x32, 96x16, 72x40, 64x48, 64x32, 32x32,\n"
        "                    16x16, or any other from 1x1 to 1024x1024\n"
        "  --layout LAYOUT   how the arrays pack the pixels into bytes: vertical (the\n"
        "                    board's), pages, rows (Adafruit GFX drawBitmap) or xbm (U8g2\n"
        "                    drawXBMP); see pixelcast-convert(1)\n"
        "  -h, --help        show this text and exit\n"
        "      --version     show the version and exit\n"
        "\n"
        "Picture and display options given here apply to this run; those left out keep\n"
        "the choices made last in the Picture and Display menus.\n"
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
