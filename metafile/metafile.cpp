#include "metafile.h"

#include "decoders/byte_order.h"
#include "errors/error.h"
#include "metafile/metafile_protocol.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace pixelcast {

namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7U;
constexpr int kPlaceableBytes = 22;

Error tooLarge(qint64 width, qint64 height)
{
    return Error(ErrorCode::PictureTooLarge,
                 QStringLiteral("The metafile declares a size of %1 x %2 pixels; the largest "
                                "metafile this program draws is %3 pixels a side and %4 "
                                "million pixels.")
                     .arg(width)
                     .arg(height)
                     .arg(metafile::kMaxSide)
                     .arg(metafile::kMaxPixels / 1'000'000.0, 0, 'f', 1));
}

// Refuses an oversized placeable frame without starting the helper (which checks again).
void checkPlaceableFrame(const QByteArray& bytes)
{
    if (bytes.size() < kPlaceableBytes || le32(bytes, 0) != kPlaceableKey) {
        return;
    }
    const qint64 width = std::abs(les16(bytes, 10) - les16(bytes, 6));
    const qint64 height = std::abs(les16(bytes, 12) - les16(bytes, 8));
    const qint64 unitsPerInch = le16(bytes, 14);
    if (unitsPerInch == 0 || width == 0 || height == 0) {
        return; // the helper reports it as unreadable
    }
    const auto pixels = [&](qint64 units) {
        return (units * metafile::kDotsPerInch + unitsPerInch / 2) / unitsPerInch;
    };
    const qint64 w = std::max<qint64>(1, pixels(width));
    const qint64 h = std::max<qint64>(1, pixels(height));
    if (!metafile::fitsCap(w, h)) {
        throw tooLarge(w, h);
    }
}

Error failed(const QString& why)
{
    return Error(ErrorCode::MetafileFailed,
                 QStringLiteral("The metafile could not be drawn: %1.").arg(why));
}

Error timedOut(int seconds)
{
    return Error(ErrorCode::MetafileTimedOut,
                 QStringLiteral("Drawing the metafile took longer than %1 seconds and was "
                                "stopped.")
                     .arg(seconds));
}

Surface decodeOutput(const QByteArray& out)
{
    if (out.size() < metafile::kHeaderBytes ||
        std::memcmp(out.constData(), metafile::kMagic, 4) != 0) {
        throw failed(QStringLiteral("the drawing program gave no picture"));
    }
    const std::uint32_t width = le32(out, 4);
    const std::uint32_t height = le32(out, 8);
    if (!metafile::fitsCap(width, height)) {
        throw failed(QStringLiteral("the drawing program gave a picture of an impossible size"));
    }
    const qint64 expected = metafile::kHeaderBytes + static_cast<qint64>(width) * height * 4;
    if (out.size() != expected) {
        throw failed(QStringLiteral("the drawing program gave %1 bytes of picture instead of %2")
                         .arg(out.size() - metafile::kHeaderBytes)
                         .arg(expected - metafile::kHeaderBytes));
    }
    Surface surface(static_cast<int>(width), static_cast<int>(height), kBlack);
    // The helper sends its rows top to bottom.
    qint64 at = metafile::kHeaderBytes;
    for (int y = 0; y < static_cast<int>(height); ++y) {
        for (int x = 0; x < static_cast<int>(width); ++x, at += 4) {
            surface.write(x, y, le32(out, at) & 0xFFFFFFU);
        }
    }
    return surface;
}

} // namespace

QString defaultMetafileHelper()
{
    QString overridden = qEnvironmentVariable("PIXELCAST_WMF_HELPER");
    if (!overridden.isEmpty()) {
        return overridden;
    }
    // The converter runs without an application object; the kernel knows where it is.
    const QString folder = QCoreApplication::instance() != nullptr
                               ? QCoreApplication::applicationDirPath()
                               : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    return QDir(folder).filePath(QStringLiteral("pixelcast-wmf"));
}

Surface renderMetafile(const QByteArray& bytes, ColorRef background, const MetafileLimits& limits)
{
    checkPlaceableFrame(bytes);

    const QString helper = limits.helper.isEmpty() ? defaultMetafileHelper() : limits.helper;
    const QFileInfo helperInfo(helper);
    if (!helperInfo.isFile() || !helperInfo.isExecutable()) {
        throw Error(ErrorCode::MetafileHelperMissing,
                    QStringLiteral("Metafiles are drawn by the program \"%1\", which is "
                                   "missing; reinstall Pixelcast.")
                        .arg(QDir::toNativeSeparators(helper)));
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
    process.start(helper,
                  {QStringLiteral("%1").arg(background & 0xFFFFFFU, 6, 16, QLatin1Char('0'))});
    if (!process.waitForStarted(limits.wallMilliseconds)) {
        throw Error(ErrorCode::MetafileHelperMissing,
                    QStringLiteral("The metafile drawing program \"%1\" could not be started: %2.")
                        .arg(QDir::toNativeSeparators(helper), process.errorString()));
    }

    const QDeadlineTimer deadline(limits.wallMilliseconds);
    const qint64 largestOutput = metafile::kHeaderBytes + metafile::kMaxPixels * 4;
    process.write(bytes);
    process.closeWriteChannel();
    QByteArray out;
    while (process.state() != QProcess::NotRunning) {
        if (deadline.hasExpired()) {
            process.kill();
            process.waitForFinished(-1);
            throw timedOut((limits.wallMilliseconds + 999) / 1000);
        }
        process.waitForReadyRead(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 100)));
        out += process.readAllStandardOutput();
        if (out.size() > largestOutput) {
            process.kill();
            process.waitForFinished(-1);
            throw failed(QStringLiteral("the drawing program gave more output than any picture"));
        }
    }
    out += process.readAllStandardOutput();

    if (process.exitStatus() == QProcess::CrashExit) {
        // Qt reports the signal that ended the process as its exit code.
        const int signal = process.exitCode();
        if (signal == SIGXCPU) {
            throw timedOut(limits.cpuSeconds);
        }
        throw failed(QStringLiteral("the drawing program stopped on signal %1 (%2)")
                         .arg(signal)
                         .arg(QString::fromLocal8Bit(::strsignal(signal))));
    }
    switch (process.exitCode()) {
    case metafile::ExitDrawn:
        return decodeOutput(out);
    case metafile::ExitTooLarge:
        throw Error(ErrorCode::PictureTooLarge,
                    QStringLiteral("The metafile draws more than %1 pixels a side or %2 "
                                   "million pixels, the most this program draws.")
                        .arg(metafile::kMaxSide)
                        .arg(metafile::kMaxPixels / 1'000'000.0, 0, 'f', 1));
    case metafile::ExitNotReadable:
        throw failed(QStringLiteral("the file is damaged or is not a Windows metafile"));
    case metafile::ExitNoMemory:
        throw failed(QStringLiteral("it needs more memory than a picture is allowed"));
    case metafile::ExitEmpty:
        throw failed(QStringLiteral("the file draws nothing and declares no size"));
    default:
        throw failed(
            QStringLiteral("the drawing program ended with code %1").arg(process.exitCode()));
    }
}

} // namespace pixelcast
