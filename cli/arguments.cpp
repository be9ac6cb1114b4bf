#include "arguments.h"

#include "decoders/animation.h"
#include "errors/error.h"
#include "output/c_header.h"
#include "output/serial/serial_link.h"
#include "pipeline/command_line.h"
#include "pipeline/picture_options.h"

#include <QFileInfo>

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>
#include <vector>

namespace pixelcast::cli {

namespace {

constexpr int kMaxPortNumber = 255;

[[noreturn]] void usageError(const QString& description)
{
    throw Error(ErrorCode::UsageError, description);
}

std::int16_t parseLevel(const QString& text)
{
    bool digitsOnly = !text.isEmpty() && text.size() <= 9;
    for (const QChar c : text) {
        digitsOnly = digitsOnly && c >= u'0' && c <= u'9';
    }
    const int level = digitsOnly ? text.toInt() : -1;
    if (level < kMinLevel || level > kMaxLevel) {
        usageError(QStringLiteral("The level \"%1\" is not a whole number from %2 to %3.")
                       .arg(text)
                       .arg(kMinLevel)
                       .arg(kMaxLevel));
    }
    return static_cast<std::int16_t>(level);
}

ArrayFormat parseFormat(const QString& text)
{
    if (text == u"bin") {
        return ArrayFormat::Binary;
    }
    if (text == u"c") {
        return ArrayFormat::CHeader;
    }
    if (text == u"xbm") {
        return ArrayFormat::Xbm;
    }
    usageError(QStringLiteral("The format \"%1\" is not known; use bin, c or xbm.").arg(text));
}

// "3", "Com3", "COM 3", a device path such as /dev/ttyUSB0, or "auto".
PortChoice parsePort(const QString& text)
{
    if (text == u"auto") {
        PortChoice choice;
        choice.find = true;
        return choice;
    }
    if (text.contains(u'/')) {
        return {1, text};
    }
    QString number = text.trimmed();
    if (number.startsWith(u"com", Qt::CaseInsensitive)) {
        number = number.mid(3).trimmed();
    }
    bool digitsOnly = !number.isEmpty() && number.size() <= 3;
    for (const QChar c : number) {
        digitsOnly = digitsOnly && c >= u'0' && c <= u'9';
    }
    const int value = digitsOnly ? number.toInt() : 0;
    if (value < 1 || value > kMaxPortNumber) {
        usageError(QStringLiteral("The port \"%1\" is neither a port number from 1 to %2 nor a "
                                  "device path.")
                       .arg(text)
                       .arg(kMaxPortNumber));
    }
    return {value, {}};
}

bool isStandardOutput(const QString& name)
{
    return name == QLatin1String(kStandardOutputName);
}

// Whether two names lead to one file: the same path, or one file reached through a
// symbolic link or under another name (a hard link).
bool sameDestination(const QString& a, const QString& b)
{
    if (isStandardOutput(a) || isStandardOutput(b)) {
        return a == b;
    }
    const QFileInfo first(a);
    const QFileInfo second(b);
    if (first.absoluteFilePath() == second.absoluteFilePath()) {
        return true;
    }
    std::error_code missing; // a file that does not exist yet is no other file
    return std::filesystem::equivalent(first.filesystemAbsoluteFilePath(),
                                       second.filesystemAbsoluteFilePath(), missing);
}

// The extensions of the pictures the converter reads, as the window's open dialog lists them.
bool isNamedAsPicture(const QString& fileName)
{
    static const QStringList kPictureExtensions{
        QStringLiteral("gif"),   QStringLiteral("jpg"),  QStringLiteral("jpeg"),
        QStringLiteral("jpe"),   QStringLiteral("png"),  QStringLiteral("bmp"),
        QStringLiteral("dib"),   QStringLiteral("wmf"),  QStringLiteral("ico"),
        QStringLiteral("cur"),   QStringLiteral("webp"), QStringLiteral("avif"),
        QStringLiteral("avifs"), QStringLiteral("heic"), QStringLiteral("heif"),
        QStringLiteral("hif"),   QStringLiteral("svg"),  QStringLiteral("svgz"),
        QStringLiteral("mp4"),   QStringLiteral("m4v"),  QStringLiteral("mov"),
        QStringLiteral("mkv"),   QStringLiteral("webm"), QStringLiteral("avi")};
    return kPictureExtensions.contains(QFileInfo(fileName).suffix().toLower());
}

// OUTPUT is written over whatever is there, so it must be none of the pictures, nor look
// like one unless --format asks for it: a forgotten OUTPUT makes the last picture OUTPUT,
// and an array under a picture's name is no picture.
void checkOutput(const ConvertRequest& request, bool formatGiven)
{
    if (request.output.isEmpty() || isStandardOutput(request.output)) {
        return;
    }
    for (const QString& input : request.inputs) {
        if (sameDestination(input, request.output)) {
            usageError(QStringLiteral("The OUTPUT file \"%1\" is also a picture to convert; the "
                                      "array would replace it.")
                           .arg(request.output));
        }
    }
    if (!isNamedAsPicture(request.output)) {
        return;
    }
    if (request.inputs.size() > 1) {
        usageError(QStringLiteral("With several pictures the last argument is the OUTPUT file, "
                                  "and \"%1\" is named as a picture; give OUTPUT after the "
                                  "pictures (\"-\" for standard output). For a PNG of the "
                                  "rendering use --preview FILE.")
                       .arg(request.output));
    }
    if (!formatGiven) {
        usageError(QStringLiteral("The OUTPUT file \"%1\" is named as a picture but would receive "
                                  "the array's bytes. For a PNG of the rendering use --preview "
                                  "FILE; for several pictures give OUTPUT after them; to write "
                                  "the array under this name all the same, give --format.")
                       .arg(request.output));
    }
}

// --boot-wait: whole milliseconds.
std::chrono::milliseconds parseBootWait(const QString& text)
{
    bool digitsOnly = !text.isEmpty() && text.size() <= 5;
    for (const QChar c : text) {
        digitsOnly = digitsOnly && c >= u'0' && c <= u'9';
    }
    const int ms = digitsOnly ? text.toInt() : -1;
    if (ms < 0 || ms > kMaxBootWaitMs) {
        usageError(QStringLiteral("The boot wait \"%1\" is not a whole number of milliseconds "
                                  "from 0 to %2.")
                       .arg(text)
                       .arg(kMaxBootWaitMs));
    }
    return std::chrono::milliseconds(ms);
}

[[noreturn]] void badRange(const QString& text)
{
    usageError(QStringLiteral("The frames \"%1\" are neither all, a frame number N nor a range "
                              "A-B of frame numbers from 1 to %2.")
                   .arg(text)
                   .arg(kMaxFrames));
}

int frameNumber(const QString& text, const QString& whole)
{
    bool digitsOnly = !text.isEmpty() && text.size() <= 5;
    for (const QChar c : text) {
        digitsOnly = digitsOnly && c >= u'0' && c <= u'9';
    }
    const int number = digitsOnly ? text.toInt() : 0;
    if (number < 1 || number > kMaxFrames) {
        badRange(whole);
    }
    return number;
}

// The converter's own options; the picture options are both programs'.
constexpr std::array kConverterOptionSpecs{
    OptionSpec{"--level", true},     OptionSpec{"--format", true},  OptionSpec{"--name", true},
    OptionSpec{"--preview", true},   OptionSpec{"--port", true},    OptionSpec{"--frames", true},
    OptionSpec{"--compress", false}, OptionSpec{"--strict", false}, OptionSpec{"--boot-wait", true},
    OptionSpec{"--link", false},     OptionSpec{"--fps", true},
};

// --fps: whole frames a second.
int parseFramesPerSecond(const QString& text)
{
    bool digitsOnly = !text.isEmpty() && text.size() <= 3;
    for (const QChar c : text) {
        digitsOnly = digitsOnly && c >= u'0' && c <= u'9';
    }
    const int fps = digitsOnly ? text.toInt() : 0;
    if (fps < 1 || fps > kMaxFramesPerSecond) {
        usageError(QStringLiteral("The frame rate \"%1\" is not a whole number of frames a second "
                                  "from 1 to %2.")
                       .arg(text)
                       .arg(kMaxFramesPerSecond));
    }
    return fps;
}

} // namespace

ArrayFormat formatForOutput(const QString& output)
{
    const QString extension = QFileInfo(output).suffix().toLower();
    if (extension == u"h" || extension == u"hpp" || extension == u"c") {
        return ArrayFormat::CHeader;
    }
    if (extension == u"xbm") {
        return ArrayFormat::Xbm;
    }
    return ArrayFormat::Binary;
}

FrameRange parseFrameRange(const QString& text)
{
    if (text == u"all") {
        return {1, 0};
    }
    const qsizetype dash = text.indexOf(u'-');
    if (dash < 0) {
        const int n = frameNumber(text, text);
        return {n, n};
    }
    const FrameRange range{frameNumber(text.left(dash), text),
                           frameNumber(text.mid(dash + 1), text)};
    if (range.last < range.first) {
        badRange(text);
    }
    return range;
}

ParsedArguments parseArguments(const QStringList& arguments)
{
    std::vector<OptionSpec> specs(kConverterOptionSpecs.begin(), kConverterOptionSpecs.end());
    specs.insert(specs.end(), kPictureOptionSpecs.begin(), kPictureOptionSpecs.end());
    specs.insert(specs.end(), kDisplayOptionSpecs.begin(), kDisplayOptionSpecs.end());
    ParsedCommandLine line = parseCommandLine(arguments, specs);
    if (line.help) {
        return {Action::ShowHelp, {}};
    }
    if (line.version) {
        return {Action::ShowVersion, {}};
    }
    const QStringList& positional = line.positional;

    ParsedArguments parsed;
    ConvertRequest& request = parsed.request;
    if (positional.isEmpty()) {
        usageError(QStringLiteral("No picture file is given."));
    }
    // INPUT [OUTPUT], or INPUT... OUTPUT.
    request.inputs = positional.mid(0, std::max<qsizetype>(1, positional.size() - 1));
    request.strict = line.has("--strict");
    for (const QString& input : std::as_const(request.inputs)) {
        if (input.isEmpty()) {
            usageError(QStringLiteral("The picture file name is empty."));
        }
        if (input == QLatin1String(kStandardOutputName)) {
            usageError(QStringLiteral("The picture cannot come from standard input; give its "
                                      "file name (\"./-\" for a file called \"-\")."));
        }
    }
    if (positional.size() >= 2) {
        request.output = positional.back();
        if (request.output.isEmpty()) {
            usageError(QStringLiteral("The output file name is empty."));
        }
    }
    const bool several = request.inputs.size() > 1;
    if (several) {
        for (const char* option : {"--port", "--frames", "--compress", "--fps"}) {
            if (line.has(option)) {
                usageError(QStringLiteral("The option %1 takes one picture; several pictures go "
                                          "into one OUTPUT file.")
                               .arg(QLatin1String(option)));
            }
        }
    }
    if (line.has("--level")) {
        request.level = parseLevel(line.value("--level"));
    }
    request.format = line.has("--format") ? parseFormat(line.value("--format"))
                                          : formatForOutput(request.output);
    if (line.has("--name")) {
        const QString name = line.value("--name");
        if (request.format == ArrayFormat::Binary) {
            usageError(QStringLiteral("The option --name applies to --format c and xbm only "
                                      "(an OUTPUT ending in .h, .hpp, .c or .xbm)."));
        }
        if (!isCIdentifier(name)) {
            usageError(QStringLiteral("The name \"%1\" is not a C identifier: use letters, "
                                      "digits and underscores, not a digit first and not a "
                                      "keyword.")
                           .arg(name));
        }
        request.name = name;
    }
    if (line.has("--preview")) {
        request.preview = line.value("--preview");
        if (request.preview.isEmpty()) {
            usageError(QStringLiteral("The preview file name is empty."));
        }
        if (!request.output.isEmpty() && sameDestination(request.output, request.preview)) {
            usageError(QStringLiteral("The array and the preview cannot both go to \"%1\".")
                           .arg(request.output));
        }
        for (const QString& input : std::as_const(request.inputs)) {
            if (sameDestination(input, request.preview)) {
                usageError(QStringLiteral("The preview file \"%1\" is also a picture to "
                                          "convert.")
                               .arg(request.preview));
            }
        }
    }
    checkOutput(request, line.has("--format"));
    if (line.has("--port")) {
        request.port = parsePort(line.value("--port"));
        request.port->link = line.has("--link");
        if (request.port->find && !request.port->link) {
            usageError(QStringLiteral("The port \"auto\" finds a board of the live link; add "
                                      "--link."));
        }
        if (line.has("--boot-wait")) {
            if (request.port->link) {
                usageError(QStringLiteral("The option --boot-wait applies to --port without "
                                          "--link: the live link waits for the board's answer."));
            }
            request.port->bootWait = parseBootWait(line.value("--boot-wait"));
        }
    } else if (line.has("--boot-wait")) {
        usageError(QStringLiteral("The option --boot-wait applies to --port only."));
    } else if (line.has("--link")) {
        usageError(QStringLiteral("The option --link applies to --port only."));
    }
    if (line.has("--frames")) {
        request.frames = parseFrameRange(line.value("--frames"));
    }
    if (line.has("--fps")) {
        if (!request.frames) {
            usageError(QStringLiteral("The option --fps applies to --frames only."));
        }
        request.framesPerSecond = parseFramesPerSecond(line.value("--fps"));
    }
    if (line.has("--compress")) {
        if (request.format != ArrayFormat::CHeader) {
            usageError(QStringLiteral("The option --compress applies to --format c only."));
        }
        request.compress = true;
        if (!request.frames) {
            request.frames = FrameRange{};
        }
    }
    request.options = pictureOptionsFrom(line).appliedTo({});
    const GivenDisplayOptions display = displayOptionsFrom(line);
    if (request.format == ArrayFormat::Xbm) {
        if (display.layout != nullptr && display.layout != &xbmLayout()) {
            usageError(QStringLiteral("An X bitmap (--format xbm) is in the xbm layout; leave "
                                      "--layout out or give xbm."));
        }
        if (request.frames) {
            usageError(QStringLiteral("An X bitmap (--format xbm) holds no frames; use "
                                      "--format bin or c for --frames."));
        }
    }
    request.display = display.appliedTo({});
    if (request.format == ArrayFormat::Xbm) {
        request.display.layout = &xbmLayout();
    }
    if (request.compress &&
        (request.display.layout != &verticalLayout() || !boardDrawsSize(request.display.size))) {
        usageError(QStringLiteral("The option --compress makes frames for Pixelcast's player, "
                                  "which plays the vertical layout at 128x64 or 128x32 only."));
    }
    if (request.output.isEmpty() && request.preview.isEmpty() && !request.port) {
        usageError(QStringLiteral("Nothing to write: give an OUTPUT file (\"-\" for standard "
                                  "output), --preview or --port."));
    }
    return parsed;
}

QString usageText()
{
    return QStringLiteral(
        "Usage: pixelcast-convert [OPTION]... INPUT [OUTPUT]\n"
        "  or:  pixelcast-convert [OPTION]... INPUT... OUTPUT\n"
        "Turns the picture INPUT (GIF, JPEG, PNG, BMP, WMF, ICO, CUR, WebP, AVIF, HEIF or\n"
        "SVG, or a video clip: MP4, MOV, MKV, WebM or AVI) into the array of a monochrome\n"
        "display, as the Pixelcast window does: stretched to the display's size (128 x 64\n"
        "unless --size says otherwise; an SVG or SVGZ is drawn at that size), made grey,\n"
        "and rendered black and white at the level. The array goes to OUTPUT (\"-\" for\n"
        "standard output) and/or to a serial port.\n"
        "\n"
        "With several INPUTs the last argument is OUTPUT, which must be given and must not\n"
        "be named as a picture; each picture becomes an array of its own: bin writes them\n"
        "one after another, c a header and xbm an X bitmap holding one array per picture,\n"
        "named after its file (made a C identifier; repeated names get _2, _3, ...), with\n"
        "NAME_count and the table NAME_all[] of their addresses, and --preview stacks them\n"
        "one under another. --port, --frames, --fps and --compress take one INPUT only.\n"
        "\n"
        "OUTPUT is never one of the INPUTs, and a name with a picture's extension (.png,\n"
        ".jpg, .gif, .bmp, .mp4, ...) is refused unless --format asks for it: --preview writes\n"
        "the rendering as a PNG.\n"
        "\n"
        "Without --format, OUTPUT's extension chooses: .h, .hpp or .c a C header, .xbm an X\n"
        "bitmap, anything else (and \"-\") the array's bytes.\n"
        "\n"
        "Options:\n"
        "  --level N         conversion level 0-254 (default 127): a pixel is white when\n"
        "                    its grey value exceeds N\n"
        "  --format bin|c|xbm  bin: the array's bytes; c: a C/C++ header defining\n"
        "                    const uint8_t NAME[N] PROGMEM with NAME_width and NAME_height;\n"
        "                    xbm: an X bitmap file (NAME_width, NAME_height, NAME_bits);\n"
        "                    without it, OUTPUT's extension chooses (see above)\n"
        "  --name IDENT      the array's name in the header or X bitmap; with several\n"
        "                    INPUTs the prefix of NAME_count and NAME_all (default\n"
        "                    display_array)\n"
        "  --size WxH        the display's size in pixels, 1x1 to 1024x1024 (default 128x64;\n"
        "                    128x32 for the smaller modules, 16x16 and the like for icons)\n"
        "  --layout LAYOUT   how the pixels are packed into bytes, a set bit lit (W x H\n"
        "                    pixels, P = H/8 pages and B = W/8 bytes a row, both rounded\n"
        "                    up): vertical (the default), byte x*P + y/8, bit y%8, for\n"
        "                    Pixelcast's receiver and player and SSD1306 vertical\n"
        "                    addressing; pages, byte (y/8)*W + x, bit y%8, for\n"
        "                    Adafruit_SSD1306's getBuffer() and U8g2's getBufferPtr();\n"
        "                    rows, byte y*B + x/8, bit 7-x%8, for Adafruit GFX\n"
        "                    drawBitmap(); xbm, byte y*B + x/8, bit x%8, for X bitmaps\n"
        "                    and U8g2 drawXBMP()\n"
        "  --frames F        the frames of an animated GIF, WebP or AVIF or of a video\n"
        "                    clip: all, N or A-B (1-based; a clip's frames at their\n"
        "                    presentation times); each output then holds them all: bin\n"
        "                    the arrays one after another, c a header with\n"
        "                    NAME_frame_count, NAME_delay_ms[N] and NAME[N][size], the\n"
        "                    preview one frame under another, the port each frame its\n"
        "                    delay after the one before\n"
        "  --fps N           with --frames: the frames resampled at N a second (1-100),\n"
        "                    each the frame showing at its time; --frames counts these\n"
        "  --compress        with --format c: the frames as a compressed stream (the\n"
        "                    vertical layout at 128x64 or 128x32, which the player plays)\n"
        "  --preview FILE    also write the black-and-white rendering as a PNG\n"
        "  --dither MODE     none (default): white above the level; floyd-steinberg or\n"
        "                    atkinson: error diffusion; ordered: an 8 x 8 Bayer pattern\n"
        "  --invert          swap black and white after rendering\n"
        "  --smooth          shrink by the mean of the pixels each display pixel covers\n"
        "                    instead of the pixel under its centre\n"
        "  --keep-aspect     keep the picture's proportions, centred on black (or on the\n"
        "                    --background colour)\n"
        "  --background white|black  lay transparent pixels on white or black instead of\n"
        "                    the window's panel grey; the --keep-aspect bars take the\n"
        "                    colour too\n"
        "  --rotate 90|180|270  turn the picture clockwise before it is stretched (a\n"
        "                    portrait picture turned a quarter fills a landscape display)\n"
        "  --flip horizontal|vertical  mirror the picture left-right or top-bottom, after\n"
        "                    --rotate\n"
        "  --port PORT       send the array over a serial port at 9600 baud, 8N1, in the\n"
        "                    board's (vertical) order whatever the layout: a number n for\n"
        "                    \"Com n\", or a device path such as /dev/ttyUSB0; the board\n"
        "                    draws 128x64 and 128x32 only\n"
        "  --boot-wait MS    with --port: wait MS milliseconds after opening the port\n"
        "                    before sending (default 2000; 0 to send at once). Opening\n"
        "                    the port restarts an Uno, whose boot loader listens for 1 s\n"
        "                    before the sketch starts, and would swallow the picture\n"
        "  --link            with --port: use the live link (the pixelcast_link sketch) at\n"
        "                    1,000,000 baud instead: wait for the board's answer, send the\n"
        "                    picture and end once the board shows it; with --frames,\n"
        "                    stream the frames at their own delays, skipping any the\n"
        "                    board is too slow for. The board says its display's size,\n"
        "                    which --size must match; PORT may be \"auto\" to use the\n"
        "                    first port on which a board answers\n"
        "  --strict          treat a picture that ends early or holds damaged data as\n"
        "                    damaged (error 1005) instead of warning and converting it\n"
        "  -h, --help        show this text and exit\n"
        "      --version     show the version and exit\n"
        "\n"
        "Nothing is written unless the whole conversion succeeds. Errors go to standard\n"
        "error as \"Error NNNN: description\", a damaged picture as \"Warning: ...\".\n"
        "\n"
        "Exit status:\n"
        "  0  success\n"
        "  1  an unexpected failure (for instance out of memory)\n"
        "  2  wrong arguments (error 4001)\n"
        "  3  the picture file does not exist or cannot be read (errors 1001-1002)\n"
        "  4  the file is not a picture that can be decoded (errors 1003-1013)\n"
        "  5  an output or preview file could not be written (errors 2001, 4002)\n"
        "  6  the serial port or the board failed (errors 3001-3014)\n");
}

} // namespace pixelcast::cli
