#include "helper_process.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <csignal>
#include <sys/resource.h>

namespace pixelcast {

QString helperBesideProgram(const char* overriding, const QString& name)
{
    QString overridden = qEnvironmentVariable(overriding);
    if (!overridden.isEmpty()) {
        return overridden;
    }
    // The converter runs without an application object; the kernel knows where it is.
    const QString folder = QCoreApplication::instance() != nullptr
                               ? QCoreApplication::applicationDirPath()
                               : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    return QDir(folder).filePath(name);
}

HelperRun runHelper(const QString& program, const QStringList& arguments, const QByteArray& input,
                    const HelperLimits& limits)
{
    HelperRun run;
    const QFileInfo programInfo(program);
    if (!programInfo.isFile() || !programInfo.isExecutable()) {
        run.end = HelperRun::End::Missing;
        return run;
    }

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.setStandardErrorFile(QProcess::nullDevice());
    // Runs in the child between fork and exec: only async-signal-safe calls.
    const rlim_t memory = static_cast<rlim_t>(limits.memoryBytes);
    const rlim_t cpu = static_cast<rlim_t>(limits.cpuSeconds);
    process.setChildProcessModifier([memory, cpu] {
    // The address sanitizer reserves terabytes of address space up front; a sanitized
    // build keeps the time limits only.
#if !defined(__SANITIZE_ADDRESS__)
        const rlimit as{memory, memory};
        ::setrlimit(RLIMIT_AS, &as);
#else
        (void)memory;
#endif
        // SIGXCPU at the soft limit, SIGKILL a second later if it is ignored.
        const rlimit time{cpu, cpu + 1};
        ::setrlimit(RLIMIT_CPU, &time);
        const rlimit core{0, 0};
        ::setrlimit(RLIMIT_CORE, &core);
    });
    process.start(program, arguments);
    if (!process.waitForStarted(limits.wallMilliseconds)) {
        run.why = process.errorString();
        return run;
    }

    const QDeadlineTimer deadline(limits.wallMilliseconds);
    process.write(input);
    process.closeWriteChannel();
    const auto stop = [&](HelperRun::End end) {
        process.kill();
        process.waitForFinished(-1);
        run.end = end;
        run.out.clear();
        return run;
    };
    while (process.state() != QProcess::NotRunning) {
        if (deadline.hasExpired()) {
            return stop(HelperRun::End::TimedOut);
        }
        process.waitForReadyRead(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 100)));
        run.out += process.readAllStandardOutput();
        if (run.out.size() > limits.largestOutput) {
            return stop(HelperRun::End::TooMuchOutput);
        }
    }
    run.out += process.readAllStandardOutput();

    if (process.exitStatus() == QProcess::CrashExit) {
        // Qt reports the signal that ended the process as its exit code.
        run.status = process.exitCode();
        run.end =
            run.status == SIGXCPU ? HelperRun::End::OverProcessorTime : HelperRun::End::Crashed;
        return run;
    }
    run.end = HelperRun::End::Exited;
    run.status = process.exitCode();
    return run;
}

} // namespace pixelcast
