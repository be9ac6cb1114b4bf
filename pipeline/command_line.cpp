#include "pipeline/command_line.h"

#include "errors/error.h"

#include <algorithm>

namespace pixelcast {

namespace {

[[noreturn]] void usageError(const QString& description)
{
    throw Error(ErrorCode::UsageError, description);
}

} // namespace

ParsedCommandLine parseCommandLine(const QStringList& arguments,
                                   std::span<const OptionSpec> options)
{
    ParsedCommandLine parsed;
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnded || argument == u"-" || !argument.startsWith(u'-')) {
            parsed.positional.append(argument);
            continue;
        }
        if (argument == u"--") {
            optionsEnded = true;
            continue;
        }
        if (argument == u"-h" || argument == u"--help") {
            parsed.help = true;
            return parsed;
        }
        if (argument == u"--version") {
            parsed.version = true;
            return parsed;
        }
        const qsizetype equals = argument.indexOf(u'=');
        const QString name = equals < 0 ? argument : argument.left(equals);
        const auto known = std::find_if(options.begin(), options.end(), [&](const OptionSpec& o) {
            return name == QLatin1String(o.name);
        });
        if (!argument.startsWith(u"--") || known == options.end()) {
            usageError(QStringLiteral("Unknown option \"%1\".").arg(name));
        }
        if (parsed.options.contains(name)) {
            usageError(QStringLiteral("The option %1 is given more than once.").arg(name));
        }
        QString value;
        if (!known->takesValue) {
            if (equals >= 0) {
                usageError(QStringLiteral("The option %1 takes no value.").arg(name));
            }
        } else if (equals >= 0) {
            value = argument.mid(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            usageError(QStringLiteral("The option %1 needs a value.").arg(name));
        }
        parsed.options.insert(name, value);
    }
    return parsed;
}

} // namespace pixelcast
