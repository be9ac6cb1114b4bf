#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <span>

namespace pixelcast {

// An option a program takes: its long name ("--level") and whether a value follows it,
// as the next argument or after "=".
struct OptionSpec {
    const char* name;
    bool takesValue;
};

// What a command line said, each option at most once.
struct ParsedCommandLine {
    bool help = false;    // -h or --help
    bool version = false; // --version
    // The options given, by name; a switch has an empty value.
    QMap<QString, QString> options;
    // The other arguments in order: everything after "--", "-" and what does not start
    // with "-".
    QStringList positional;

    [[nodiscard]] bool has(const char* name) const { return options.contains(QLatin1String(name)); }
    [[nodiscard]] QString value(const char* name) const
    {
        return options.value(QLatin1String(name));
    }
};

// Reads a command line, the program name first, against the options a program takes; both
// programs read theirs this way. -h, --help and --version end the reading where they
// stand. Throws Error(UsageError) for an unknown option, an option given twice, a value
// missing or given to a switch.
[[nodiscard]] ParsedCommandLine parseCommandLine(const QStringList& arguments,
                                                 std::span<const OptionSpec> options);

} // namespace pixelcast
