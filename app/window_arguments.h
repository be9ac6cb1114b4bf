#pragma once

#include "pipeline/picture_options.h"

#include <QString>
#include <QStringList>

namespace pixelcast {

// The window program's command line: `pixelcast [OPTION]... [FILE]`.
struct WindowArguments {
    enum class Action { Run, ShowHelp, ShowVersion };

    Action action = Action::Run;
    // The picture to load at start; empty for none.
    QString file;
    // The picture options given; those left out keep their remembered values.
    GivenPictureOptions picture;
    // The display options given (--size, --layout); those left out keep their remembered
    // values.
    GivenDisplayOptions display;

    // `options` with the ones given here applied over it.
    [[nodiscard]] RenderOptions appliedTo(RenderOptions options) const
    {
        return picture.appliedTo(options);
    }
};

// Reads a command line, the program name first. Throws Error(UsageError) naming the
// offending argument.
[[nodiscard]] WindowArguments parseWindowArguments(const QStringList& arguments);

// What --help and --version print.
[[nodiscard]] QString windowUsageText();
[[nodiscard]] QString windowVersionText();

// "0.2.0".
[[nodiscard]] QString pixelcastVersion();

} // namespace pixelcast
