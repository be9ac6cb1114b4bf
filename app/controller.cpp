#include "controller.h"

#include "errors/error.h"
#include "exports.h"
#include "output/array_file.h"
#include "output/c_header.h"
#include "output/preview.h"
#include "output/serial/serial_link.h"
#include "output/staged_file.h"
#include "pipeline/conversion.h"
#include "pipeline/options_note.h"

#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <new>
#include <utility>

namespace pixelcast {

namespace {

QString shortName(const QString& fileName)
{
    return QFileInfo(fileName).fileName();
}

// "cat.gif: GIF, 320 x 200, 12 frames", and for a picture cut short or damaged what is
// wrong with it.
QString describePicture(const QString& fileName, const LoadResult& picture)
{
    QString text = QStringLiteral("%1: %2, %3 x %4")
                       .arg(shortName(fileName), picture.format)
                       .arg(picture.width)
                       .arg(picture.height);
    if (picture.frames > 1) {
        text += QStringLiteral(", %1 frames").arg(picture.frames);
    }
    if (picture.damage != Damage::None) {
        text += QStringLiteral("; ") + describeDamage(picture);
    }
    return text;
}

} // namespace

Controller::Controller(AppWindow& window, FileDialogs& dialog, PortWorker& port)
    : m_window(window), m_dialog(dialog), m_port(port)
{
    m_port.progressed = [this](int sent, int total) {
        if (m_state.sendingAnimation) {
            m_window.showSendProgress(sent, total);
        }
    };
    m_port.finished = [this](const FrameSender::Result& result) {
        onSendFinished(result);
    };
}

void Controller::runCommand(const std::function<void()>& command, bool whileExiting)
{
    if (m_ended || (m_exiting && !whileExiting)) {
        return;
    }
    try {
        command();
    } catch (const Error& error) {
        m_window.showStatus(QStringLiteral("Error %1").arg(error.number()));
        m_window.showMessage(error.message());
    } catch (const std::bad_alloc&) {
        // A very large picture can need more memory than there is; the command stops
        // before it changed anything it could not finish.
        const Error error(ErrorCode::NotEnoughMemory,
                          QStringLiteral("There is not enough memory for this command; "
                                         "try a smaller picture."));
        m_window.showStatus(QStringLiteral("Error %1").arg(error.number()));
        m_window.showMessage(error.message());
    }
    if (!m_ended) {
        showButtonStates();
    }
}

void Controller::showButtonStates()
{
    for (const Button button : kAllButtons) {
        m_window.setButtonEnabled(button, isButtonEnabled(m_state, button));
    }
    for (const Command command : kAllCommands) {
        m_window.setCommandEnabled(command, isCommandEnabled(m_state, command));
    }
    m_window.showPlaying(m_state.animation.playing);
}

void Controller::takeLevelFromWindow()
{
    const int value = std::clamp(m_window.levelValue(), 0,
                                 static_cast<int>(std::numeric_limits<std::int16_t>::max()));
    m_state.threshold = static_cast<std::int16_t>(value);
    m_window.setLevelText(QString::number(m_state.threshold));
}

void Controller::onLoad()
{
    runCommand([this] {
        m_window.setViewSize(View::Result, kViewWidth, kViewHeight);
        m_window.setViewSize(View::Scaled, kViewWidth, kViewHeight);

        m_window.setLevelMaximum(kMaxLevel);
        // The new value reaches onLevelChange through the scroll bar's notification; only
        // a bar already at the start level has to be rendered here.
        const bool alreadyThere = m_window.levelValue() == kDefaultLevel;
        m_window.setLevelValue(kDefaultLevel);
        if (alreadyThere) {
            onLevelChange();
        }

        m_state.writeArrayFileEnabled = false;
        m_state.writeArrayToArduinoEnabled = false;
    });
}

void Controller::onLoadImage()
{
    runCommand([this] {
        m_state.sourceFileName = m_dialog.askOpenImageFile();
        loadNamedPicture(m_state.sourceFileName);
    });
}

void Controller::loadImageFile(const QString& fileName)
{
    runCommand([this, fileName] { loadAsChosen(fileName); });
}

void Controller::pastePicture()
{
    runCommand([this] {
        const QString fileName = m_window.pastedPictureFile();
        if (fileName.isEmpty()) {
            m_window.showStatus(QStringLiteral("The clipboard holds no picture"));
            return;
        }
        loadAsChosen(fileName);
    });
}

void Controller::reloadPicture()
{
    runCommand([this] {
        if (!m_state.pictureFileName.isEmpty()) {
            loadNamedPicture(m_state.pictureFileName, QStringLiteral("Reloaded "));
        }
    });
}

void Controller::loadAsChosen(const QString& fileName)
{
    m_dialog.setFileName(fileName);
    m_state.sourceFileName = fileName;
    loadNamedPicture(fileName);
}

// NOLINTNEXTLINE(performance-unnecessary-value-param): a copy on purpose, see the header.
void Controller::loadNamedPicture(QString fileName, const QString& statusPrefix)
{
    {
        LoadedPicture loaded = LoadedPicture::readFile(fileName);
        const LoadResult picture = loaded.stretchStill(m_state.renderOptions, m_state.display.size,
                                                       m_state.source, m_state.scaled);
        clearAnimation();
        const std::uint64_t load = ++m_loads;
        m_state.pictureFileName = fileName;
        m_window.showPictureFile(fileName);
        m_window.showStatus(fileName.isEmpty() ? QStringLiteral("No picture")
                                               : statusPrefix + describePicture(fileName, picture));
        if (!fileName.isEmpty() && pictureLoaded) {
            pictureLoaded(fileName);
        }
        m_window.refreshView(View::Source);
        m_window.refreshView(View::Scaled);

        // Between columns other events run, and may run commands: a level change renders
        // from the half-grey surface, another "Load Image" replaces the surface's content
        // (never its size). Either way the rendering below brings the result up to date; the
        // picture is kept only when no later load has replaced it.
        loaded.greyStill(m_state.scaled, [this] {
            if (!m_ended) {
                m_window.refreshView(View::Scaled);
                m_window.processPendingEvents();
            }
        });
        if (m_ended) {
            return;
        }
        m_window.refreshView(View::Scaled);
        if (load == m_loads) {
            m_state.picture = std::move(loaded);
        }

        takeLevelFromWindow();
        render();
        if (picture.frames > 1 && load == m_loads) {
            loadAnimation();
        }
    }
}

void Controller::onLevelChange()
{
    runCommand([this] {
        takeLevelFromWindow();
        render();
    });
}

ConversionSettings Controller::settings() const
{
    return {m_state.threshold, m_state.renderOptions, m_state.display};
}

RenderStamp Controller::renderStamp() const
{
    return {m_state.threshold, m_state.renderOptions, m_state.display};
}

void Controller::render()
{
    DisplayArray array = renderAndPack(m_state.scaled, m_state.result, settings(),
                                       [this] { m_window.refreshView(View::Result); });
    if (rendered) {
        rendered(array);
    }
    Animation& animation = m_state.animation;
    if (animation.isAnimated()) {
        AnimationFrame& shown = animation.frames[animation.current];
        shown.array = std::move(array);
        shown.renderedAt = renderStamp();
    }
}

void Controller::onCreateArray()
{
    runCommand([this] {
        m_state.array = packDisplay(m_state.result, m_state.display);
        if (m_state.portNumber != 0) {
            m_state.writeArrayToArduinoEnabled = true;
        }
        m_state.writeArrayFileEnabled = true;
        m_window.showStatus(QStringLiteral("Created the array"));
    });
}

void Controller::writeArrayFile()
{
    runCommand([this] {
        m_state.sourceFileName = m_dialog.askSaveArrayFile();
        // A cancelled dialog names no file: nothing is written and the array can still be
        // saved.
        if (m_state.sourceFileName.isEmpty()) {
            m_window.showStatus(QStringLiteral("Nothing written"));
            return;
        }
        writeArrayBytes(m_state.sourceFileName, m_state.array);
        m_state.writeArrayFileEnabled = false;
        m_window.showStatus(QStringLiteral("Wrote %1 bytes to %2")
                                .arg(m_state.array.bytes().size())
                                .arg(shortName(m_state.sourceFileName)));
    });
}

void Controller::configurePort()
{
    runCommand([this] {
        // The list is read twice and only the second reading counts; for a plain widget
        // both give the same index.
        (void)m_window.selectedPortIndex();
        // Set before opening, so that it stays set when opening fails.
        const int number = portNumberForIndex(m_window.selectedPortIndex());
        m_state.portNumber = static_cast<std::int16_t>(number);
        m_port.configure(number, [this, number](const std::optional<Error>& error) {
            runCommand(
                [&] {
                    if (error) {
                        throw *error;
                    }
                    m_window.showStatus(QStringLiteral("Opened %1").arg(portName(number)));
                },
                true);
        });
    });
}

QString Controller::portName(int number) const
{
    return QStringLiteral("%1 (Com%2)").arg(m_port.deviceName()).arg(number);
}

void Controller::sendArray()
{
    runCommand([this] {
        // A second press while the array is still on its way is ignored; onSendFinished
        // tells the outcome.
        if (!m_port.isSending()) {
            m_sendBytes = m_state.array.bytes().size();
            m_port.send({m_state.array}, {0});
        }
    });
}

void Controller::onExit()
{
    runCommand([this] {
        m_player.setPlaying(false);
        if (!m_port.portOpen() && !m_port.isBusy()) {
            endProgram();
            return;
        }
        // The port is closed even when its last bytes could not go out; the user hears
        // about those, and the program ends all the same.
        m_exiting = true;
        m_port.cancel();
        m_port.close([this](const std::optional<Error>& error) {
            if (error) {
                m_window.showMessage(error->message());
            }
            endProgram();
        });
    });
}

void Controller::endProgram()
{
    m_ended = true;
    m_window.endProgram();
}

void Controller::setRenderOptions(const RenderOptions& options)
{
    runCommand([&] {
        m_state.renderOptions = options;
        if (refitPicture()) {
            m_window.refreshView(View::Scaled);
        }
        render();
    });
}

void Controller::setDisplay(const DisplayFormat& display)
{
    runCommand([&] {
        const bool resized = display.size != m_state.display.size;
        m_state.display = display;
        if (!resized) {
            render(); // the array of the frame shown, in the new layout
            return;
        }
        const DisplaySize size = display.size;
        m_state.scaled = Surface(size.width, size.height, kFaceColour);
        m_state.result = Surface(size.width, size.height, kFaceColour);
        (void)refitPicture();
        m_window.refreshView(View::Scaled);
        render();
    });
}

void Controller::exportCHeader()
{
    exportTo(Export::CHeader);
}

void Controller::exportXbm()
{
    exportTo(Export::XBitmap);
}

void Controller::exportPreviewPng()
{
    exportTo(Export::PreviewPng);
}

void Controller::writeAnimationFile()
{
    exportTo(Export::AnimationFrames);
}

void Controller::exportAnimationHeader()
{
    exportTo(Export::AnimationHeader);
}

QString Controller::askExportFile(Export kind)
{
    const QString& picture = m_state.pictureFileName;
    switch (kind) {
    case Export::CHeader:
        return m_dialog.askSaveHeaderFile(picture);
    case Export::XBitmap:
        return m_dialog.askSaveXbmFile(picture);
    case Export::PreviewPng:
        return m_dialog.askSavePreviewFile(picture);
    case Export::AnimationFrames:
        return m_dialog.askSaveAnimationFile(picture);
    case Export::AnimationHeader:
        break;
    }
    return m_dialog.askSaveAnimationHeaderFile(picture);
}

void Controller::exportTo(Export kind)
{
    runCommand([this, kind] {
        const bool animation = isAnimationExport(kind);
        if (animation && !m_state.animation.isAnimated()) {
            return;
        }
        const QString fileName = askExportFile(kind);
        if (fileName.isEmpty()) {
            m_window.showStatus(QStringLiteral("Nothing written"));
            return;
        }
        ExportInput input{
            currentArray(),         m_state.result, headerOrigin(), headerOrigin(true), {}, {},
            m_state.animation.plays};
        if (animation) {
            bringArraysUpToDate();
            input.frames = animationArrays();
            input.delaysMs = animationDelays();
        }
        const ExportFile file = makeExport(kind, input);
        saveFileWhole(fileName, file.bytes, file.error, file.what);
        m_window.showStatus(file.status.arg(shortName(fileName)));
    });
}

void Controller::copyCHeader()
{
    runCommand([this] {
        m_window.copyText(QString::fromUtf8(
            cHeader(currentArray(), QStringLiteral("display_array"), headerOrigin())));
        m_window.showStatus(QStringLiteral("Copied the C header"));
    });
}

void Controller::copyPicture()
{
    runCommand([this] {
        m_window.copyPicture(previewPng(m_state.result));
        m_window.showStatus(QStringLiteral("Copied the picture"));
    });
}

DisplayArray Controller::currentArray() const
{
    return packDisplay(m_state.result, m_state.display);
}

QString Controller::headerOrigin(bool wholeAnimation) const
{
    // The options as the converter names them, and an animation's shown frame as its
    // --frames would: the same comment as the converter's for the same array.
    std::optional<FrameRange> frames;
    if (m_state.animation.isAnimated() && !wholeAnimation) {
        const int shown = static_cast<int>(m_state.animation.current) + 1;
        frames = FrameRange{shown, shown};
    }
    const QString with = withOptionsNote(m_state.renderOptions, m_state.display, frames);
    const QString level = QString::number(m_state.threshold);
    return m_state.pictureFileName.isEmpty()
               ? QStringLiteral("Made by Pixelcast at level %1%2.").arg(level, with)
               : QStringLiteral("Made by Pixelcast from \"%1\" at level %2%3.")
                     .arg(shortName(m_state.pictureFileName), level, with);
}

void Controller::clearAnimation()
{
    m_player.setPlaying(false);
    m_state.animation = Animation();
    m_window.showFrameStatus(QString());
}

void Controller::loadAnimation()
{
    try {
        m_state.picture.decodeFrames();
        takeAnimationFrames();
    } catch (...) {
        clearAnimation();
        throw;
    }
    if (!m_state.animation.isAnimated()) {
        clearAnimation();
        return;
    }
    showFrame(0);
    m_player.setPlaying(true);
}

bool Controller::refitPicture()
{
    LoadedPicture& picture = m_state.picture;
    const Refit refit = picture.refit(m_state.renderOptions, m_state.display.size, m_state.source);
    // Without a picture the scaled surface is the plain background, which no stretch
    // changes.
    if (refit == Refit::None || !picture.hasPicture()) {
        return false;
    }
    if (m_state.animation.isAnimated()) {
        takeAnimationFrames();
    } else if (refit == Refit::Decode) {
        m_window.refreshView(View::Source);
    }
    m_state.scaled = picture.greyFrame(m_state.animation.current);
    return true;
}

void Controller::takeAnimationFrames()
{
    Animation& animation = m_state.animation;
    const LoadedPicture& picture = m_state.picture;
    std::vector<AnimationFrame> frames;
    frames.reserve(picture.frameCount());
    for (std::size_t i = 0; i < picture.frameCount(); ++i) {
        // No array yet: an empty one, so that ten thousand frames take no memory for it.
        frames.push_back({picture.delayMs(i), DisplayArray(DisplayFormat{{0, 0}}), std::nullopt});
    }
    animation.frames = std::move(frames);
    animation.plays = picture.plays();
    animation.current = std::min(animation.current, animation.frames.size() - 1);
}

void Controller::showFrame(std::size_t index)
{
    Animation& animation = m_state.animation;
    animation.current = index;
    const AnimationFrame& frame = animation.frames[index];
    m_state.scaled = m_state.picture.greyFrame(index);
    m_window.refreshView(View::Scaled);
    render();
    m_window.showFrameStatus(QStringLiteral("Frame %1 of %2, %3 ms")
                                 .arg(index + 1)
                                 .arg(animation.frames.size())
                                 .arg(frame.delayMs));
}

void Controller::onPlayPause()
{
    runCommand([this] { m_player.playPause(); });
}

void Controller::onPreviousFrame()
{
    runCommand([this] { m_player.previous(); });
}

void Controller::onNextFrame()
{
    runCommand([this] { m_player.next(); });
}

void Controller::bringArraysUpToDate()
{
    const RenderStamp stamp = renderStamp();
    std::vector<AnimationFrame>& frames = m_state.animation.frames;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].renderedAt != stamp) {
            frames[i].array = m_state.picture.convert(i, settings()).array;
            frames[i].renderedAt = stamp;
        }
    }
}

std::vector<DisplayArray> Controller::animationArrays() const
{
    std::vector<DisplayArray> arrays;
    for (const AnimationFrame& frame : m_state.animation.frames) {
        arrays.push_back(frame.array);
    }
    return arrays;
}

std::vector<int> Controller::animationDelays() const
{
    std::vector<int> delays;
    for (const AnimationFrame& frame : m_state.animation.frames) {
        delays.push_back(frame.delayMs);
    }
    return delays;
}

void Controller::sendAnimation()
{
    runCommand([this] {
        if (!m_state.animation.isAnimated() || m_port.isSending()) {
            return;
        }
        bringArraysUpToDate();
        m_sendTotal = static_cast<int>(m_state.animation.frames.size());
        m_state.sendingAnimation = true;
        m_window.showStatus(QStringLiteral("Sending %1 frames to %2")
                                .arg(m_sendTotal)
                                .arg(portName(m_state.portNumber)));
        m_window.showSendProgress(0, m_sendTotal);
        m_port.send(animationArrays(), animationDelays());
    });
}

void Controller::cancelSend()
{
    runCommand([this] { m_port.cancel(); });
}

void Controller::onSendFinished(const FrameSender::Result& result)
{
    runCommand(
        [this, &result] {
            const bool animation = std::exchange(m_state.sendingAnimation, false);
            if (animation) {
                m_window.showSendProgress(0, 0);
            }
            if (result.outcome == FrameSender::Outcome::Failed && result.error) {
                throw *result.error;
            }
            if (!animation) {
                m_window.showStatus(QStringLiteral("Sent %1 bytes to %2")
                                        .arg(m_sendBytes)
                                        .arg(portName(m_state.portNumber)));
            } else if (result.outcome == FrameSender::Outcome::Cancelled) {
                m_window.showStatus(QStringLiteral("Cancelled after %1 of %2 frames")
                                        .arg(result.framesSent)
                                        .arg(m_sendTotal));
            } else {
                m_window.showStatus(QStringLiteral("Sent %1 frames to %2")
                                        .arg(result.framesSent)
                                        .arg(portName(m_state.portNumber)));
            }
        },
        true);
}

} // namespace pixelcast
