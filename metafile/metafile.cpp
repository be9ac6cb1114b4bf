#include "metafile.h"

#include "decoders/byte_order.h"
#include "errors/error.h"
#include "metafile/helper_process.h"
#include "metafile/metafile_protocol.h"

#include <QDir>

#include <cstring>

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
    return helperBesideProgram("PIXELCAST_WMF_HELPER", QStringLiteral("pixelcast-wmf"));
}

Surface renderMetafile(const QByteArray& bytes, ColorRef background, const MetafileLimits& limits)
{
    checkPlaceableFrame(bytes);

    const QString helper = limits.helper.isEmpty() ? defaultMetafileHelper() : limits.helper;
    HelperLimits run;
    run.memoryBytes = limits.memoryBytes;
    run.cpuSeconds = limits.cpuSeconds;
    run.wallMilliseconds = limits.wallMilliseconds;
    run.largestOutput = metafile::kHeaderBytes + metafile::kMaxPixels * 4;
    const HelperRun ran = runHelper(
        helper, {QStringLiteral("%1").arg(background & 0xFFFFFFU, 6, 16, QLatin1Char('0'))}, bytes,
        run);
    switch (ran.end) {
    case HelperRun::End::Missing:
        throw Error(ErrorCode::MetafileHelperMissing,
                    QStringLiteral("Metafiles are drawn by the program \"%1\", which is "
                                   "missing; reinstall Pixelcast.")
                        .arg(QDir::toNativeSeparators(helper)));
    case HelperRun::End::NotStarted:
        throw Error(ErrorCode::MetafileHelperMissing,
                    QStringLiteral("The metafile drawing program \"%1\" could not be started: %2.")
                        .arg(QDir::toNativeSeparators(helper), ran.why));
    case HelperRun::End::TimedOut:
        throw timedOut((limits.wallMilliseconds + 999) / 1000);
    case HelperRun::End::OverProcessorTime:
        throw timedOut(limits.cpuSeconds);
    case HelperRun::End::TooMuchOutput:
        throw failed(QStringLiteral("the drawing program gave more output than any picture"));
    case HelperRun::End::Crashed:
        throw failed(QStringLiteral("the drawing program stopped on signal %1 (%2)")
                         .arg(ran.status)
                         .arg(QString::fromLocal8Bit(::strsignal(ran.status))));
    case HelperRun::End::Exited:
        break;
    }
    switch (ran.status) {
    case metafile::ExitDrawn:
        return decodeOutput(ran.out);
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
        throw failed(QStringLiteral("the drawing program ended with code %1").arg(ran.status));
    }
}

} // namespace pixelcast
