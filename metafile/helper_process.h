#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace pixelcast {

// How long and how large a helper program (pixelcast-wmf, pixelcast-svg) may run.
struct HelperLimits {
    // Address space of the helper.
    qint64 memoryBytes = 512LL * 1024 * 1024;
    // Processor time and time on the clock before the helper is stopped.
    int cpuSeconds = 5;
    int wallMilliseconds = 8000;
    // Output beyond this stops the helper.
    qint64 largestOutput = 0;
};

// How a helper's run ended.
struct HelperRun {
    enum class End {
        Exited,            // `status` is the exit code and `out` what it wrote
        Crashed,           // `status` is the signal that ended it
        TimedOut,          // over the time on the clock; it was stopped
        OverProcessorTime, // over the processor time (SIGXCPU)
        TooMuchOutput,     // it wrote more than largestOutput and was stopped
        Missing,           // no such program, or not executable
        NotStarted,        // not started; `why` says why
    };
    End end = End::NotStarted;
    int status = 0;
    QByteArray out;
    QString why;
};

// Runs `program` with `arguments` under `limits`, its standard input `input`, its errors
// thrown away: a memory limit on its address space, a processor time limit (SIGXCPU, then
// SIGKILL), no core file, and a kill when the time on the clock runs out. Qt programs among
// the helpers draw offscreen.
[[nodiscard]] HelperRun runHelper(const QString& program, const QStringList& arguments,
                                  const QByteArray& input, const HelperLimits& limits);

// `name` in this program's own folder, or what the environment variable `overriding` names
// when it is set (the tests set it).
[[nodiscard]] QString helperBesideProgram(const char* overriding, const QString& name);

} // namespace pixelcast
