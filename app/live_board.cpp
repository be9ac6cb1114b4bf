#include "live_board.h"

#include "output/serial/serial_link.h"

namespace pixelcast {

namespace {

QString sizeText(DisplaySize size)
{
    return QStringLiteral("%1 × %2").arg(size.width).arg(size.height);
}

} // namespace

LiveBoard::LiveBoard(AppWindow& window, LiveBoardWindow& liveWindow, Controller& controller,
                     PortWorker& rawPort, LinkConnection& link)
    : m_window(window), m_liveWindow(liveWindow), m_controller(controller), m_rawPort(rawPort),
      m_link(link)
{
    m_controller.rendered = [this](const DisplayArray& frame) {
        onRendered(frame);
    };
    m_link.connected = [this](const BoardFacts& facts) {
        onConnected(facts);
    };
    m_link.shown = [this](const LinkProgress& progress) {
        if (m_wanted) {
            showLiveStatus(progress.framesPerSecond);
        }
    };
    m_link.frameRefused = [this](const Error& error) {
        if (!m_mismatchTold) {
            m_mismatchTold = true;
            fail(error);
        }
    };
    m_link.ended = [this](const Error& error) {
        const bool told = m_wanted || m_finding;
        m_finding = false;
        if (m_wanted) {
            m_wanted = false;
            m_liveWindow.showLive(false);
        }
        if (told) {
            fail(error);
        }
    };
}

int LiveBoard::portNumber() const
{
    return m_foundPort.value_or(portNumberForIndex(m_window.selectedPortIndex()));
}

void LiveBoard::freePort(std::function<void()> then)
{
    if (!m_rawPort.portOpen() && !m_rawPort.isBusy()) {
        then();
        return;
    }
    m_rawPort.cancel();
    m_rawPort.close([then = std::move(then)](const std::optional<Error>&) { then(); });
}

void LiveBoard::setLive(bool live)
{
    if (live == m_wanted) {
        return;
    }
    m_wanted = live;
    m_liveWindow.showLive(live);
    m_mismatchTold = false;
    m_lastStatus.clear();
    if (!live) {
        m_link.close();
        m_window.showStatus(QStringLiteral("Live on board off; the display keeps its picture"));
        return;
    }
    const int number = portNumber();
    m_window.showStatus(
        QStringLiteral(u"Live on board: waiting for the board on Com%1…").arg(number));
    freePort([this, number] {
        if (m_wanted) {
            m_link.open(number);
        }
    });
}

void LiveBoard::findBoard()
{
    if (m_finding) {
        return;
    }
    m_finding = true;
    m_window.showStatus(QStringLiteral(u"Finding a board…"));
    freePort([this] { m_link.find(); });
}

void LiveBoard::onConnected(const BoardFacts& facts)
{
    if (m_finding) {
        m_finding = false;
        m_foundPort = facts.portNumber;
        m_window.showStatus(QStringLiteral("Found a board on %1 (Com%2): %3, %4")
                                .arg(facts.device)
                                .arg(facts.portNumber)
                                .arg(facts.controllerName(), sizeText(facts.size)));
        m_mismatchTold = false;
        // Renders again at the board's size; while live, that rendering goes to it.
        m_liveWindow.useDisplaySize(facts.size);
        if (!m_wanted) {
            m_link.close();
            return;
        }
    }
    if (!m_wanted) {
        return;
    }
    showLiveStatus(0);
    sendCurrent();
}

void LiveBoard::sendCurrent()
{
    const AppState& state = m_controller.state();
    onRendered(packDisplay(state.result, state.display));
}

void LiveBoard::onRendered(const DisplayArray& frame)
{
    const std::optional<BoardFacts> facts = m_link.facts();
    if (!m_wanted || !m_link.isLive() || !facts) {
        return;
    }
    if (frame.format().size != facts->size) {
        if (!m_mismatchTold) {
            m_mismatchTold = true;
            fail(displaySizeMismatch(facts->size, frame.format().size));
        }
        return;
    }
    m_mismatchTold = false;
    m_link.show(frame);
}

void LiveBoard::showLiveStatus(int framesPerSecond)
{
    const std::optional<BoardFacts> facts = m_link.facts();
    if (!facts) {
        return;
    }
    const QString text = QStringLiteral("Live on board: %1, %2, %3 frames/s")
                             .arg(facts->device, sizeText(facts->size))
                             .arg(framesPerSecond);
    if (text != m_lastStatus) {
        m_lastStatus = text;
        m_window.showStatus(text);
    }
}

void LiveBoard::fail(const Error& error)
{
    m_lastStatus.clear();
    m_window.showStatus(QStringLiteral("Error %1").arg(error.number()));
    m_window.showMessage(error.message());
}

} // namespace pixelcast
