#include "controller.h"

#include "errors/error.h"
#include "output/array_file.h"
#include "output/c_header.h"
#include "output/preview.h"
#include "output/serial/serial_link.h"
#include "output/staged_file.h"
#include "pipeline/conversion.h"

#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <new>

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

QString portName(const SerialPort& port, int number)
{
    return QStringLiteral("%1 (Com%2)").arg(port.deviceName()).arg(number);
}

} // namespace

Controller::Controller(AppWindow& window, FileDialogs& dialog, SerialPort& port)
    : m_window(window), m_dialog(dialog), m_port(port)
{
}

void Controller::runCommand(const std::function<void()>& command)
{
    if (m_ended) {
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
        loadNamedPicture();
    });
}

void Controller::loadImageFile(const QString& fileName)
{
    runCommand([this, fileName] {
        m_dialog.setFileName(fileName);
        m_state.sourceFileName = fileName;
        loadNamedPicture();
    });
}

void Controller::loadNamedPicture()
{
    {
        const QString fileName = m_state.sourceFileName;
        const LoadResult picture =
            stretchPictureFile(fileName, m_state.source, m_state.scaled, m_state.renderOptions);
        m_state.pictureFileName = fileName;
        m_window.showStatus(fileName.isEmpty() ? QStringLiteral("No picture")
                                               : describePicture(fileName, picture));
        if (!fileName.isEmpty() && pictureLoaded) {
            pictureLoaded(fileName);
        }
        m_window.refreshView(View::Source);
        m_window.refreshView(View::Scaled);

        // Between columns other events run, and may run commands: a level change renders
        // from the half-grey surface, another "Load Image" replaces the surface's content
        // (never its size). Either way the rendering below brings the result up to date.
        makeGrey(m_state.scaled, [this] {
            if (!m_ended) {
                m_window.refreshView(View::Scaled);
                m_window.processPendingEvents();
            }
        });
        if (m_ended) {
            return;
        }
        m_window.refreshView(View::Scaled);

        takeLevelFromWindow();
        render();
    }
}

void Controller::onLevelChange()
{
    runCommand([this] {
        takeLevelFromWindow();
        render();
    });
}

void Controller::render()
{
    renderFrame(m_state.scaled, m_state.result,
                {m_state.threshold, m_state.renderOptions, DisplayFormat{}},
                [this] { m_window.refreshView(View::Result); });
}

void Controller::onCreateArray()
{
    runCommand([this] {
        buildDisplayArray(m_state.result, m_state.array);
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
        m_state.portNumber =
            static_cast<std::int16_t>(portNumberForIndex(m_window.selectedPortIndex()));
        pixelcast::configurePort(m_port, m_state.portNumber);
        m_window.showStatus(QStringLiteral("Opened %1").arg(portName(m_port, m_state.portNumber)));
    });
}

void Controller::sendArray()
{
    runCommand([this] {
        pixelcast::sendArray(m_port, m_state.array);
        m_window.showStatus(QStringLiteral("Sent %1 bytes to %2")
                                .arg(m_state.array.bytes().size())
                                .arg(portName(m_port, m_state.portNumber)));
    });
}

void Controller::onExit()
{
    runCommand([this] {
        // The port is closed even when its last bytes could not go out; the user hears
        // about those, and the program ends all the same.
        try {
            closePortOnExit(m_port);
        } catch (const Error& error) {
            m_window.showMessage(error.message());
        }
        m_ended = true;
        m_window.endProgram();
    });
}

void Controller::setRenderOptions(const RenderOptions& options)
{
    runCommand([&] {
        const RenderOptions before = m_state.renderOptions;
        m_state.renderOptions = options;
        // A new stretch is made again from the picture kept at its own size; without a
        // picture the scaled surface is the plain background, which no stretch changes.
        const bool stretchChanged =
            options.smooth != before.smooth || options.keepAspect != before.keepAspect;
        if (stretchChanged && !m_state.source.isEmpty()) {
            restretch(m_state.source, m_state.scaled, options);
            makeGrey(m_state.scaled);
            m_window.refreshView(View::Scaled);
        }
        render();
    });
}

void Controller::exportCHeader()
{
    runCommand([this] {
        const QString fileName = m_dialog.askSaveHeaderFile();
        if (fileName.isEmpty()) {
            m_window.showStatus(QStringLiteral("Nothing written"));
            return;
        }
        DisplayArray array;
        buildDisplayArray(m_state.result, array);
        const QString origin =
            m_state.pictureFileName.isEmpty()
                ? QStringLiteral("Made by Pixelcast at level %1.").arg(m_state.threshold)
                : QStringLiteral("Made by Pixelcast from \"%1\" at level %2.")
                      .arg(shortName(m_state.pictureFileName))
                      .arg(m_state.threshold);
        saveFileWhole(fileName, cHeader(array, QStringLiteral("display_array"), origin),
                      ErrorCode::ArrayFileNotWritten, QStringLiteral("array header"));
        m_window.showStatus(QStringLiteral("Wrote the C header to %1").arg(shortName(fileName)));
    });
}

void Controller::exportPreviewPng()
{
    runCommand([this] {
        const QString fileName = m_dialog.askSavePreviewFile();
        if (fileName.isEmpty()) {
            m_window.showStatus(QStringLiteral("Nothing written"));
            return;
        }
        saveFileWhole(fileName, previewPng(m_state.result), ErrorCode::PreviewNotWritten,
                      QStringLiteral("preview"));
        m_window.showStatus(QStringLiteral("Wrote the preview to %1").arg(shortName(fileName)));
    });
}

} // namespace pixelcast
