#include "converter.h"

#include "cli/animation_frames.h"
#include "cli/animation_header.h"
#include "cli/animation_preview.h"
#include "cli/arguments.h"
#include "decoders/picture_loader.h"
#include "output/array_file.h"
#include "output/c_header.h"
#include "output/port_directory.h"
#include "output/preview.h"
#include "output/serial_link.h"
#include "output/serial_port.h"
#include "pixels/dither.h"
#include "pixels/greyscale.h"
#include "pixels/packing.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <chrono>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <thread>

namespace pixelcast::cli {

namespace {

constexpr int kExitUnexpected = 1;

bool isStandardOutput(const QString& name)
{
    return name == QLatin1String(kStandardOutputName);
}

QString nativeName(const QString& fileName)
{
    return QDir::toNativeSeparators(fileName);
}

// A file written beside its destination and put in its place only by commit(); dropped
// when the object goes without a commit. Throws `code` naming `what` on failure.
class StagedFile {
public:
    StagedFile(const QString& fileName, const QByteArray& bytes, ErrorCode code, QString what)
        : m_file(fileName), m_code(code), m_what(std::move(what))
    {
        // Unbuffered, so that a full disk shows up in write() rather than as a short file
        // at commit.
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
            fail(m_file.errorString());
        }
        if (m_file.write(bytes) != bytes.size()) {
            const QString why = m_file.errorString();
            m_file.cancelWriting();
            fail(why);
        }
    }

    void commit()
    {
        if (!m_file.commit()) {
            fail(m_file.errorString());
        }
    }

private:
    [[noreturn]] void fail(const QString& why) const
    {
        throw Error(m_code, QStringLiteral("The %1 could not be written to \"%2\": %3.")
                                .arg(m_what, nativeName(m_file.fileName()), why));
    }

    QSaveFile m_file;
    ErrorCode m_code;
    QString m_what;
};

// The array file is written by the output library in one go; what can be known before
// anything is sent is checked here, so that a board does not get an array whose file
// then cannot be written.
void checkArrayFileDestination(const QString& fileName)
{
    const QFileInfo target(fileName);
    const QFileInfo folder(target.absolutePath());
    QString why;
    if (target.isDir()) {
        why = QStringLiteral("it is a folder");
    } else if (!folder.isDir()) {
        why = QStringLiteral("the folder does not exist");
    } else if (!folder.isWritable()) {
        why = QStringLiteral("the folder is not writable");
    }
    if (!why.isEmpty()) {
        throw Error(ErrorCode::ArrayFileNotWritten,
                    QStringLiteral("The array could not be written to \"%1\": %2.")
                        .arg(nativeName(fileName), why));
    }
}

void sendToPort(const PortChoice& choice, const std::function<void(SerialPort&)>& send)
{
    // The port waits on socket notifiers, which need an application object.
    std::optional<QCoreApplication> application;
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "pixelcast-convert";
        static char* argv[] = {name, nullptr};
        application.emplace(argc, argv);
    }
    std::unique_ptr<PortDirectory> directory;
    if (choice.device.isEmpty()) {
        directory = systemPortDirectory();
    } else {
        directory = std::make_unique<ListedPortDirectory>(QStringList{choice.device});
    }
    SerialPort port(std::move(directory));
    configurePort(port, choice.number);
    send(port);
    closePortOnExit(port); // waits until the line has taken every byte
}

void writeTo(QIODevice& device, const QByteArray& bytes)
{
    if (device.write(bytes) != bytes.size()) {
        throw Error(ErrorCode::ArrayFileNotWritten,
                    QStringLiteral("The standard output could not be written: %1.")
                        .arg(device.errorString()));
    }
}

QByteArray arrayBytes(const DisplayArray& array)
{
    const auto bytes = array.bytes();
    return {reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())};
}

// The picture options that differ from the defaults, as the command line names them,
// for the header's comment: empty for the defaults.
QString optionsNote(const RenderOptions& options)
{
    QString note;
    if (options.dither != Dither::None) {
        note += QStringLiteral(" --dither ") + QString::fromLatin1(ditherName(options.dither));
    }
    if (options.invert) {
        note += QStringLiteral(" --invert");
    }
    if (options.smooth) {
        note += QStringLiteral(" --smooth");
    }
    if (options.keepAspect) {
        note += QStringLiteral(" --keep-aspect");
    }
    return note.isEmpty() ? note : QStringLiteral(" with") + note;
}

// A picture that ended early or holds damaged data is converted as far as it was decoded,
// with a warning; under --strict it is damaged.
void reportCutShort(const ConvertRequest& request, const LoadResult& picture,
                    QIODevice& standardError)
{
    if (picture.damage == Damage::None) {
        return;
    }
    const QString what = QStringLiteral("the picture \"%1\" %2")
                             .arg(nativeName(request.input), describeDamage(picture));
    if (request.strict) {
        throw Error(ErrorCode::PictureDamaged, what.at(0).toUpper() + what.mid(1) + u'.');
    }
    standardError.write(
        QStringLiteral("Warning: %1; the rest is converted as it arrived.\n").arg(what).toUtf8());
}

// The frames on the line one after another, each sent no sooner than its predecessor's
// delay after that one has gone out (1024 bytes of ten bits at 9600 baud), so that a
// receiver that shows a frame as its last byte arrives shows each for its delay at least.
void sendFrames(SerialPort& port, const Animation& animation)
{
    using Clock = std::chrono::steady_clock;
    constexpr auto kLineTime =
        std::chrono::microseconds(DisplayArray::kSize * 10 * 1'000'000 / 9600);
    Clock::time_point next = Clock::now();
    for (std::size_t i = 0; i < animation.frames.size(); ++i) {
        std::this_thread::sleep_until(next);
        const Clock::time_point start = Clock::now();
        sendArray(port, animation.frames[i]);
        next = start + kLineTime + std::chrono::milliseconds(animation.delaysMs[i]);
    }
}

QByteArray animationBytes(const ConvertRequest& request, const Animation& animation)
{
    if (request.format == ArrayFormat::CHeader) {
        return animationHeader({animation.frames, animation.delaysMs, animation.plays, request.name,
                                QStringLiteral("Made by pixelcast-convert from \"%1\" at level %2")
                                        .arg(QFileInfo(request.input).fileName())
                                        .arg(request.level) +
                                    optionsNote(request.options) + u'.',
                                request.compress});
    }
    QByteArray bytes;
    for (const DisplayArray& array : animation.frames) {
        bytes += arrayBytes(array);
    }
    return bytes;
}

void convertAndWrite(const ConvertRequest& request, QIODevice& standardOutput,
                     QIODevice& standardError)
{
    std::optional<Animation> animation;
    if (request.frames) {
        animation = convertFrames(request.input, request.level, *request.frames, request.options);
    }
    // The single picture's conversion; unused when there are frames.
    const Conversion conversion =
        animation ? Conversion{} : convertPicture(request.input, request.level, request.options);
    if (!animation) {
        reportCutShort(request, conversion.picture, standardError);
    }

    // Everything that can fail before anything leaves the program: the staged files are
    // complete on disk, under temporary names, before the port is opened.
    QByteArray outputBytes;
    if (!request.output.isEmpty()) {
        outputBytes = animation ? animationBytes(request, *animation)
                      : request.format == ArrayFormat::CHeader
                          ? cHeader(conversion.array, request.name,
                                    QStringLiteral("Made by pixelcast-convert from \"%1\" at "
                                                   "level %2")
                                            .arg(QFileInfo(request.input).fileName())
                                            .arg(request.level) +
                                        optionsNote(request.options) + u'.')
                          : arrayBytes(conversion.array);
    }
    const bool binaryFile = !request.output.isEmpty() && !isStandardOutput(request.output) &&
                            request.format == ArrayFormat::Binary && !animation;
    std::optional<StagedFile> headerFile;
    if (!request.output.isEmpty() && !isStandardOutput(request.output) && !binaryFile) {
        headerFile.emplace(request.output, outputBytes, ErrorCode::ArrayFileNotWritten,
                           request.format == ArrayFormat::CHeader ? QStringLiteral("array header")
                                                                  : QStringLiteral("frames"));
    }
    QByteArray previewBytes;
    std::optional<StagedFile> previewFile;
    if (!request.preview.isEmpty()) {
        previewBytes =
            animation ? stackedPreviewPng(animation->frames) : previewPng(conversion.result);
        if (!isStandardOutput(request.preview)) {
            previewFile.emplace(request.preview, previewBytes, ErrorCode::PreviewNotWritten,
                                QStringLiteral("preview"));
        }
    }
    if (binaryFile) {
        checkArrayFileDestination(request.output);
    }

    if (request.port) {
        sendToPort(*request.port, [&](SerialPort& port) {
            if (animation) {
                sendFrames(port, *animation);
            } else {
                sendArray(port, conversion.array);
            }
        });
    }
    if (binaryFile) {
        writeArrayBytes(request.output, conversion.array);
    }
    if (headerFile) {
        headerFile->commit();
    }
    if (previewFile) {
        previewFile->commit();
    }
    if (isStandardOutput(request.output)) {
        writeTo(standardOutput, outputBytes);
    } else if (isStandardOutput(request.preview)) {
        writeTo(standardOutput, previewBytes);
    }
}

} // namespace

Conversion convertPicture(const QString& fileName, std::int16_t level, const RenderOptions& options)
{
    Surface scaled(kSurfaceWidth, kSurfaceHeight, kFaceColour);
    const LoadResult picture = loadScaled(fileName, scaled, kFaceColour, options);
    Conversion conversion = convertScaled(scaled, level, options);
    conversion.picture = picture;
    return conversion;
}

Conversion convertScaled(Surface& scaled, std::int16_t level, const RenderOptions& options)
{
    toGreyscale(scaled);
    Conversion conversion;
    renderPicture(scaled, conversion.result, level, options);
    buildDisplayArray(conversion.result, conversion.array);
    return conversion;
}

int exitStatusFor(ErrorCode code)
{
    const int number = static_cast<int>(code);
    if (code == ErrorCode::FileNotFound || code == ErrorCode::FileUnreadable) {
        return 3;
    }
    if (number / 1000 == 1) {
        return 4;
    }
    if (number / 1000 == 2 || code == ErrorCode::PreviewNotWritten) {
        return 5;
    }
    if (number / 1000 == 3) {
        return 6;
    }
    if (code == ErrorCode::UsageError) {
        return 2;
    }
    return kExitUnexpected;
}

int runConverter(const QStringList& arguments, QIODevice& standardOutput, QIODevice& standardError)
{
    try {
        const ParsedArguments parsed = parseArguments(arguments);
        switch (parsed.action) {
        case Action::ShowHelp:
            writeTo(standardOutput, usageText().toUtf8());
            return 0;
        case Action::ShowVersion:
            writeTo(standardOutput, QByteArrayLiteral("pixelcast-convert " PIXELCAST_VERSION "\n"));
            return 0;
        case Action::Convert:
            convertAndWrite(parsed.request, standardOutput, standardError);
            return 0;
        }
    } catch (const Error& e) {
        QByteArray text = e.message().toUtf8() + '\n';
        if (e.code() == ErrorCode::UsageError) {
            text += "Try \"pixelcast-convert --help\" for more information.\n";
        }
        standardError.write(text);
        return exitStatusFor(e.code());
    } catch (const std::bad_alloc&) {
        standardError.write("pixelcast-convert: out of memory\n");
    } catch (const std::exception& e) {
        standardError.write(QByteArray("pixelcast-convert: ") + e.what() + '\n');
    }
    return kExitUnexpected;
}

} // namespace pixelcast::cli
