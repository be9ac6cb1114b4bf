#pragma once

#include "pipeline/conversion.h"
#include "pixels/render_options.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <optional>

namespace pixelcast::cli {

inline constexpr auto kDefaultArrayName = "display_array";

// The name under which the array or the preview goes to standard output.
inline constexpr auto kStandardOutputName = "-";

enum class ArrayFormat { Binary, CHeader, Xbm };

// How long --port waits after opening the port before it sends, unless --boot-wait says
// otherwise. Opening the port restarts an Uno, and its boot loader (Optiboot) listens for
// programming commands for 1 s after the restart, taking whatever arrives meanwhile as one;
// the sketch's setup follows. Two seconds cover both with room to spare.
inline constexpr int kDefaultBootWaitMs = 2000;
inline constexpr int kMaxBootWaitMs = 60000;

// The highest --fps.
inline constexpr int kMaxFramesPerSecond = 100;

// Where --port sends the array: the device named by a path, or else port `number`
// ("Com n") as the system's port directory counts them.
struct PortChoice {
    int number = 1;
    QString device;
    // The time the board is given to start after the port is opened.
    std::chrono::milliseconds bootWait{kDefaultBootWaitMs};
    // --link: over the live link, each frame shown before the converter ends.
    bool link = false;
    // --port auto (with --link): the first port on which a board answers.
    bool find = false;
};

// One conversion as the command line asks for it. Every field has been checked: the
// level lies in 0-254, the name is a usable C identifier, no two outputs share a
// destination, and with several inputs there is an OUTPUT and neither a port nor frames.
struct ConvertRequest {
    // One picture, or several into one OUTPUT: each an array of its own, one after
    // another in bin and in the preview, named after its file in a header or X bitmap.
    QStringList inputs;
    QString output; // empty: no array file; "-": standard output
    std::int16_t level = kDefaultLevel;
    // --format, or else OUTPUT's extension: .h, .hpp and .c a header, .xbm an X bitmap.
    ArrayFormat format = ArrayFormat::Binary;
    // The array's name; with several inputs, the name of their count and table.
    QString name = QString::fromLatin1(kDefaultArrayName);
    QString preview; // empty: no preview
    std::optional<PortChoice> port;
    // A picture cut short is an error (1005) instead of a warning.
    bool strict = false;
    // Given: the frames in this range, in the animation forms of each output; not given:
    // frame 1 in the single-picture forms.
    std::optional<FrameRange> frames;
    // --fps: with frames, the animation resampled at this many frames a second; 0 as it is.
    int framesPerSecond = 0;
    bool compress = false; // --format c only: the frames as compressFrames' stream
    // --dither, --invert, --smooth, --keep-aspect; they change what every output shows.
    RenderOptions options;

    // --size and --layout: the display's size and the arrays' byte layout.
    DisplayFormat display;

    [[nodiscard]] ConversionSettings settings() const
    {
        return {level, options, display, framesPerSecond};
    }
};

enum class Action { Convert, ShowHelp, ShowVersion };

struct ParsedArguments {
    Action action = Action::Convert;
    ConvertRequest request;
};

// The format an OUTPUT file's extension asks for when --format is not given: c for .h,
// .hpp and .c, xbm for .xbm, in any case; bin for every other name.
[[nodiscard]] ArrayFormat formatForOutput(const QString& output);

// "all", "N" or "A-B" for --frames. Throws Error(UsageError) naming the text.
[[nodiscard]] FrameRange parseFrameRange(const QString& text);

// Reads a command line, the program name first. Throws Error(UsageError) with a
// description naming the offending argument.
[[nodiscard]] ParsedArguments parseArguments(const QStringList& arguments);

// The text --help prints.
[[nodiscard]] QString usageText();

} // namespace pixelcast::cli
