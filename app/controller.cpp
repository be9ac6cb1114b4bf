#include "controller.h"

#include "decoders/picture_loader.h"
#include "errors/error.h"
#include "output/array_file.h"
#include "output/serial_link.h"
#include "pixels/dither.h"
#include "pixels/greyscale.h"
#include "pixels/packing.h"
#include "pixels/stretch.h"

#include <algorithm>
#include <limits>
#include <new>

namespace pixelcast {

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
        m_window.showMessage(error.message());
    } catch (const std::bad_alloc&) {
        // A very large picture can need more memory than there is; the command stops
        // before it changed anything it could not finish.
        m_window.showMessage(Error(ErrorCode::NotEnoughMemory,
                                   QStringLiteral("There is not enough memory for this command; "
                                                  "try a smaller picture."))
                                 .message());
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

        m_window.setLevelMaximum(kLevelMaximum);
        // The new value reaches onLevelChange through the scroll bar's notification; only
        // a bar already at the start level has to be rendered here.
        const bool alreadyThere = m_window.levelValue() == kStartLevel;
        m_window.setLevelValue(kStartLevel);
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
        loadAndScale(m_state.sourceFileName, m_state.source, m_state.scaled, kFaceColour,
                     m_state.renderOptions);
        m_window.refreshView(View::Source);
        m_window.refreshView(View::Scaled);

        // Between columns other events run, and may run commands: a level change renders
        // from the half-grey surface, another "Load Image" replaces the surface's content
        // (never its size). Either way the rendering below brings the result up to date.
        toGreyscale(m_state.scaled, [this] {
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
    });
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
    renderPicture(m_state.scaled, m_state.result, m_state.threshold, m_state.renderOptions,
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
    });
}

void Controller::writeArrayFile()
{
    runCommand([this] {
        m_state.sourceFileName = m_dialog.askSaveArrayFile();
        // A cancelled dialog names no file: nothing is written and the array can still be
        // saved.
        if (m_state.sourceFileName.isEmpty()) {
            return;
        }
        writeArrayBytes(m_state.sourceFileName, m_state.array);
        m_state.writeArrayFileEnabled = false;
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
    });
}

void Controller::sendArray()
{
    runCommand([this] { pixelcast::sendArray(m_port, m_state.array); });
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
        const bool restretch =
            options.smooth != before.smooth || options.keepAspect != before.keepAspect;
        if (restretch && !m_state.source.isEmpty()) {
            stretchOnto(m_state.source, m_state.scaled, kFaceColour, options);
            toGreyscale(m_state.scaled);
            m_window.refreshView(View::Scaled);
        }
        render();
    });
}

} // namespace pixelcast
