#include "converter.h"

#include "cli/arguments.h"
#include "output/animation_header.h"
#include "output/array_file.h"
#include "output/c_header.h"
#include "output/picture_set.h"
#include "output/preview.h"
#include "output/serial/frame_sender.h"
#include "output/serial/link_connection.h"
#include "output/serial/port_directory.h"
#include "output/serial/serial_link.h"
#include "output/serial/serial_port.h"
#include "output/staged_file.h"
#include "output/xbm_file.h"
#include "pipeline/conversion.h"
#include "pipeline/options_note.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <thread>
#include <vector>

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

void writeTo(QIODevice& device, const QByteArray& bytes)
{
    if (device.write(bytes) != bytes.size()) {
        throw Error(ErrorCode::ArrayFileNotWritten,
                    QStringLiteral("The standard output could not be written: %1.")
                        .arg(device.errorString()));
    }
}

QString headerOrigin(const ConvertRequest& request)
{
    const QString source =
        request.inputs.size() == 1
            ? QStringLiteral("\"%1\"").arg(QFileInfo(request.inputs.front()).fileName())
            : QStringLiteral("%1 pictures").arg(request.inputs.size());
    QString note = withOptionsNote(request.options, request.display, request.frames);
    if (request.framesPerSecond > 0) {
        note += (note.isEmpty() ? QStringLiteral(" with") : QString()) +
                QStringLiteral(" --fps %1").arg(request.framesPerSecond);
    }
    return QStringLiteral("Made by pixelcast-convert from %1 at level %2%3.")
        .arg(source, QString::number(request.level), note);
}

// A picture that ended early or holds damaged data is converted as far as it was decoded,
// with a warning; under --strict it is damaged.
void reportCutShort(const ConvertRequest& request, const QString& input,
                    const ConvertedPicture& picture, QIODevice& standardError)
{
    if (picture.damage.isEmpty()) {
        return;
    }
    const QString what =
        QStringLiteral("the picture \"%1\" %2").arg(nativeName(input), picture.damage);
    if (request.strict) {
        throw Error(ErrorCode::PictureDamaged, what.at(0).toUpper() + what.mid(1) + u'.');
    }
    standardError.write(
        QStringLiteral("Warning: %1; the rest is converted as it arrived.\n").arg(what).toUtf8());
}

// Writes each piece of an output handed to it.
using PieceWriter = std::function<void(const QByteArray&)>;
// Hands an output to the writer, a piece at a time.
using OutputProducer = std::function<void(const PieceWriter&)>;

// A picture's frames as the outputs take them: ten thousand arrays of a long clip are held
// once, moved out of the conversion, and its header is written a piece at a time.
struct OutputFrames {
    std::vector<DisplayArray> arrays;
    std::vector<int> delays;
};

OutputFrames takeFrames(ConvertedPicture& picture)
{
    OutputFrames frames;
    frames.arrays.reserve(picture.frames.size());
    frames.delays.reserve(picture.frames.size());
    for (ConvertedFrame& frame : picture.frames) {
        frames.arrays.push_back(std::move(frame.array));
        frames.delays.push_back(frame.delayMs);
    }
    return frames;
}

// A plain animation header that leaves no room for the player sketch on an Uno is written
// all the same, with a warning that names the smaller form.
void warnOfUnoFlash(const ConvertRequest& request, const std::vector<DisplayArray>& arrays,
                    QIODevice& standardError)
{
    if (!request.frames || request.format != ArrayFormat::CHeader || request.compress ||
        request.output.isEmpty()) {
        return;
    }
    if (plainAnimationFitsUno(arrays)) {
        return;
    }
    standardError.write(QStringLiteral("Warning: the plain animation header's frames and delays "
                                       "take %1 bytes of flash, more than the %2 an Uno has "
                                       "beside the player sketch; --compress writes the smaller "
                                       "form, which the player plays too.\n")
                            .arg(plainAnimationFlash(arrays))
                            .arg(kUnoSketchFlash - kPlayerFlash)
                            .toUtf8());
}

// What OUTPUT receives: with --frames every frame (the arrays one after another, or the
// animation header), else the one array or its header.
void writeOutput(const ConvertRequest& request, const OutputFrames& frames, int plays,
                 const PieceWriter& write)
{
    const std::vector<DisplayArray>& arrays = frames.arrays;
    if (request.format == ArrayFormat::CHeader) {
        if (request.frames) {
            writeAnimationHeader({arrays, frames.delays, plays, request.name, headerOrigin(request),
                                  request.compress},
                                 write);
            return;
        }
        write(cHeader(arrays.front(), request.name, headerOrigin(request)));
        return;
    }
    if (request.format == ArrayFormat::Xbm) {
        write(xbmFile(arrays.front(), request.name));
        return;
    }
    for (const DisplayArray& array : arrays) {
        write(arrayBytes(array));
    }
}

QString outputWhat(const ConvertRequest& request)
{
    if (request.format == ArrayFormat::CHeader) {
        return QStringLiteral("array header");
    }
    if (request.format == ArrayFormat::Xbm) {
        return QStringLiteral("X bitmap");
    }
    if (request.frames) {
        return QStringLiteral("frames");
    }
    return request.inputs.size() > 1 ? QStringLiteral("arrays") : QStringLiteral("array");
}

QByteArray previewBytes(const ConvertRequest& request, const ConvertedPicture& picture,
                        const OutputFrames& frames)
{
    return request.frames ? stackedPreviewPng(frames.arrays)
                          : previewPng(picture.frames.front().result);
}

// The port's errors name a port as the window's port list does, "Com1 (/dev/ttyUSB5)"; a
// port given by its device path is named by that path alone, as the user gave it.
Error namedAsGiven(const Error& error, const PortChoice& choice)
{
    if (choice.device.isEmpty()) {
        return error;
    }
    QString description = error.description();
    description.replace(QStringLiteral("Com%1 (%2)").arg(choice.number).arg(choice.device),
                        choice.device);
    return {error.code(), description};
}

void sendToPort(const PortChoice& choice, const OutputFrames& frames)
{
    std::unique_ptr<PortDirectory> directory;
    if (choice.device.isEmpty()) {
        directory = systemPortDirectory();
    } else {
        directory = std::make_unique<ListedPortDirectory>(QStringList{choice.device});
    }
    SerialPort port(std::move(directory));
    try {
        configurePort(port, choice.number);
        // The board restarts as the port opens; what arrives before its sketch runs is lost.
        std::this_thread::sleep_for(choice.bootWait);
        sendFramesAndWait(port, frames.arrays, frames.delays);
        closePortOnExit(port); // waits until the line has taken every byte
    } catch (const Error& error) {
        throw namedAsGiven(error, choice);
    }
}

// --link: the frames over the live link, each `delay` after the one before it, the newest
// winning when the board falls behind; returns once the board shows the last.
void showOnBoard(const PortChoice& choice, const OutputFrames& output)
{
    const std::vector<DisplayArray>& frames = output.arrays;
    const std::vector<int>& delays = output.delays;
    LinkConnection link(choice.device.isEmpty()
                            ? systemPortDirectory()
                            : std::make_unique<ListedPortDirectory>(QStringList{choice.device}));
    QEventLoop loop;
    QTimer pacer;
    pacer.setSingleShot(true);
    std::optional<Error> failure;
    std::size_t given = 0;
    const auto fail = [&](const Error& error) {
        failure = error;
        loop.quit();
    };
    const auto giveNext = [&] {
        link.show(frames[given]);
        pacer.start(delays[given]);
        ++given;
    };
    QObject::connect(&pacer, &QTimer::timeout, &loop, [&] {
        if (given < frames.size()) {
            giveNext();
        }
    });
    link.connected = [&](const BoardFacts& facts) {
        if (facts.size != frames.front().format().size) {
            fail(displaySizeMismatch(facts.size, frames.front().format().size));
        } else if (given == 0) {
            giveNext();
        }
    };
    link.shown = [&](const LinkProgress& progress) {
        if (given == frames.size() && progress.upToDate) {
            loop.quit();
        }
    };
    link.frameRefused = fail;
    link.ended = fail;
    if (choice.find) {
        link.find();
    } else {
        link.open(choice.number);
    }
    loop.exec();
    if (failure) {
        throw namedAsGiven(*failure, choice);
    }
}

void sendOverLine(const PortChoice& choice, const OutputFrames& frames)
{
    // The port, the link and the sender's timers need an application object.
    std::optional<QCoreApplication> application;
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "pixelcast-convert";
        static char* argv[] = {name, nullptr};
        application.emplace(argc, argv);
    }
    if (choice.link) {
        showOnBoard(choice, frames);
    } else {
        sendToPort(choice, frames);
    }
}

// What OUTPUT receives from several pictures: the arrays one after another, or the
// header or X bitmap of them all, each array named after its file.
QByteArray outputBytes(const ConvertRequest& request, std::vector<NamedPicture> pictures)
{
    if (request.format == ArrayFormat::Binary) {
        QByteArray bytes;
        for (const NamedPicture& picture : pictures) {
            bytes += arrayBytes(picture.array);
        }
        return bytes;
    }
    QStringList fileNames;
    for (const NamedPicture& picture : pictures) {
        fileNames.append(picture.fileName);
    }
    const bool xbm = request.format == ArrayFormat::Xbm;
    const QStringList names = pictureNames(fileNames, pictureSetNames(request.name),
                                           xbm ? std::span<const char* const>(kXbmDerivedNames)
                                               : std::span<const char* const>(kHeaderDerivedNames));
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        pictures[i].name = names[static_cast<qsizetype>(i)];
        pictures[i].fileName = QFileInfo(pictures[i].fileName).fileName();
    }
    return xbm ? pictureSetXbm(pictures, request.name)
               : pictureSetHeader(pictures, request.name, headerOrigin(request));
}

// Stages the outputs, sends to the port (through `send`) and then gives the files their
// names; a failure before that leaves every file as it was.
void writeOutputs(const ConvertRequest& request, const OutputProducer& arrayOutput,
                  const std::function<QByteArray()>& previewOutput,
                  const std::function<void()>& send, QIODevice& standardOutput)
{
    // Everything that can fail before anything leaves the program: the staged files are
    // complete on disk, under temporary names, before the port is opened.
    std::optional<StagedFile> arrayFile;
    if (!request.output.isEmpty() && !isStandardOutput(request.output)) {
        arrayFile.emplace(request.output, arrayOutput, ErrorCode::ArrayFileNotWritten,
                          outputWhat(request));
    }
    QByteArray preview;
    std::optional<StagedFile> previewFile;
    if (!request.preview.isEmpty()) {
        preview = previewOutput();
        if (!isStandardOutput(request.preview)) {
            previewFile.emplace(request.preview, preview, ErrorCode::PreviewNotWritten,
                                QStringLiteral("preview"));
        }
    }

    if (send) {
        send();
    }
    if (arrayFile) {
        arrayFile->commit();
    }
    if (previewFile) {
        previewFile->commit();
    }
    if (isStandardOutput(request.output)) {
        arrayOutput([&standardOutput](const QByteArray& piece) { writeTo(standardOutput, piece); });
    } else if (isStandardOutput(request.preview)) {
        writeTo(standardOutput, preview);
    }
}

// Several pictures, one at a time, each kept as its array only.
void convertSeveral(const ConvertRequest& request, QIODevice& standardOutput,
                    QIODevice& standardError)
{
    std::vector<NamedPicture> pictures;
    pictures.reserve(static_cast<std::size_t>(request.inputs.size()));
    for (const QString& input : request.inputs) {
        ConvertedPicture picture = convertFile(input, request.settings());
        reportCutShort(request, input, picture, standardError);
        pictures.push_back({{}, input, std::move(picture.frames.front().array)});
    }
    writeOutputs(
        request, [&](const PieceWriter& write) { write(outputBytes(request, pictures)); },
        [&] {
            std::vector<DisplayArray> arrays;
            arrays.reserve(pictures.size());
            for (const NamedPicture& picture : pictures) {
                arrays.push_back(picture.array);
            }
            return stackedPreviewPng(arrays);
        },
        {}, standardOutput);
}

void convertAndWrite(const ConvertRequest& request, QIODevice& standardOutput,
                     QIODevice& standardError)
{
    if (request.inputs.size() > 1) {
        convertSeveral(request, standardOutput, standardError);
        return;
    }
    const QString& input = request.inputs.front();
    ConvertedPicture picture = convertFile(input, request.settings(), request.frames);
    reportCutShort(request, input, picture, standardError);
    const OutputFrames frames = takeFrames(picture);
    warnOfUnoFlash(request, frames.arrays, standardError);
    std::function<void()> send;
    if (request.port) {
        send = [&] {
            sendOverLine(*request.port, frames);
        };
    }
    writeOutputs(
        request,
        [&](const PieceWriter& write) { writeOutput(request, frames, picture.plays, write); },
        [&] { return previewBytes(request, picture, frames); }, send, standardOutput);
}

} // namespace

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
