#include "output/serial/link_connection.h"

#include "output/serial/link_protocol.h"
#include "output/serial/serial_port.h"

#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>

#include <deque>
#include <mutex>
#include <utility>
#include <vector>

namespace pixelcast {

namespace {

using Clock = std::chrono::steady_clock;

// Finding a board tries at most this many port numbers (a system without a port list, such
// as Windows, names every number).
constexpr int kMostPortsTried = 32;

QByteArrayView viewOf(const link::Bytes& bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())};
}

std::span<const std::uint8_t> spanOf(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
            static_cast<std::size_t>(bytes.size())};
}

QString sizeText(DisplaySize size)
{
    return QStringLiteral("%1 × %2").arg(size.width).arg(size.height);
}

} // namespace

QString BoardFacts::controllerName() const
{
    switch (static_cast<link::Controller>(controller)) {
    case link::Controller::Ssd1306:
        return QStringLiteral("SSD1306");
    case link::Controller::Sh1106:
        return QStringLiteral("SH1106");
    }
    return QStringLiteral("controller %1").arg(controller);
}

Error displaySizeMismatch(DisplaySize board, DisplaySize picture)
{
    return Error(ErrorCode::LinkSizeMismatch,
                 QStringLiteral("The board's display is %1 pixels, the picture's %2: set the "
                                "display size to %1 to show it on the board.")
                     .arg(sizeText(board), sizeText(picture)));
}

// The link's thread side. All of it but the mailbox and the way back (`mutex`, `mailbox`,
// `wakePosted`, `owner`) is used on that thread only, once the constructor has handed it
// over.
struct LinkConnection::Line {
    enum class Phase { Closed, Greeting, Live };

    // A message sent and not yet answered.
    struct InFlight {
        link::Bytes message;
        DisplayArray frame;
        std::uint16_t seq = 0;
        int tries = 0;
    };

    explicit Line(std::unique_ptr<PortDirectory> directory) : port(std::move(directory)) {}

    SerialPort port;
    // Requests are delivered to it on the link's thread.
    QObject context;
    QTimer answerTimer;
    QTimer helloTimer;
    link::MessageReader reader{link::kLongestBoardPayload};

    Phase phase = Phase::Closed;
    // Finding: the port numbers still to try.
    std::deque<int> candidates;
    bool finding = false;
    int portNumber = 1;
    Clock::time_point greetingEnds;

    BoardFacts facts;
    // The frame the board last answered SHOWN to, in the pages layout, and its number.
    std::optional<DisplayArray> acked;
    std::uint16_t ackedSeq = 0;
    std::uint16_t lastSeq = 0;
    std::optional<InFlight> inFlight;
    // The newest frame, not sent yet.
    std::optional<DisplayArray> pending;
    std::deque<Clock::time_point> shownTimes;

    std::mutex mutex;
    std::optional<DisplayArray> mailbox;
    bool wakePosted = false;
    // Null once the owner is going away: nobody is left to tell.
    LinkConnection* owner = nullptr;

    void setUp()
    {
        answerTimer.setSingleShot(true);
        helloTimer.setInterval(link::kHelloInterval);
        helloTimer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&answerTimer, &QTimer::timeout, &context, [this] { answerMissing(); });
        QObject::connect(&helloTimer, &QTimer::timeout, &context, [this] { greet(); });
        port.inputArrived = [this] {
            readInput();
        };
        port.deviceFailed = [this] {
            if (phase == Phase::Greeting) {
                giveUpOnPort(Error(ErrorCode::PortLost,
                                   QStringLiteral("Serial port %1 went away.").arg(portLabel())));
            } else if (phase == Phase::Live) {
                goneBecause(QStringLiteral("its port went away"));
            }
        };
    }

    // Runs `what` on the owner's thread.
    void tell(std::function<void(LinkConnection&)> what)
    {
        const std::lock_guard lock(mutex);
        if (owner == nullptr) {
            return;
        }
        LinkConnection* to = owner;
        QMetaObject::invokeMethod(
            &to->m_home, [to, what = std::move(what)] { what(*to); }, Qt::QueuedConnection);
    }

    [[nodiscard]] QString portLabel() const
    {
        const QString device = port.deviceName();
        return device.isEmpty() ? QStringLiteral("Com%1").arg(portNumber)
                                : QStringLiteral("Com%1 (%2)").arg(portNumber).arg(device);
    }

    // --- Opening and greeting ------------------------------------------------------------

    void start(std::deque<int> numbers, bool find)
    {
        closePort();
        candidates = std::move(numbers);
        finding = find;
        tryNextPort();
    }

    void tryNextPort()
    {
        while (!candidates.empty()) {
            portNumber = candidates.front();
            candidates.pop_front();
            try {
                port.setCommPort(portNumber);
                port.setReadable(true);
                port.setHandshaking(Handshaking::None);
                port.setSettings({link::kBaudRate, QSerialPort::NoParity, QSerialPort::Data8,
                                  QSerialPort::OneStop});
                port.setPortOpen(true);
            } catch (const Error& error) {
                if (!finding) {
                    end(error);
                    return;
                }
                continue;
            }
            phase = Phase::Greeting;
            reader = link::MessageReader(link::kLongestBoardPayload);
            greetingEnds = Clock::now() + link::kHelloPatience;
            helloTimer.start();
            greet();
            return;
        }
        end(Error(ErrorCode::LinkNoAnswer,
                  QStringLiteral("No board answered the live link's greeting on any serial port "
                                 "within %1 s. Is the board plugged in, and does it run the "
                                 "live link's sketch (pixelcast_link)?")
                      .arg(seconds(link::kHelloPatience))));
    }

    static QString seconds(std::chrono::milliseconds duration)
    {
        return QString::number(static_cast<double>(duration.count()) / 1000.0);
    }

    void greet()
    {
        if (phase != Phase::Greeting) {
            return;
        }
        if (Clock::now() >= greetingEnds) {
            giveUpOnPort(Error(ErrorCode::LinkNoAnswer,
                               QStringLiteral("The board on serial port %1 did not answer the "
                                              "live link's greeting within %2 s. Does it run "
                                              "the live link's sketch (pixelcast_link)?")
                                   .arg(portLabel(), seconds(link::kHelloPatience))));
            return;
        }
        try {
            port.output(viewOf(link::encodeHello()));
        } catch (const Error& error) {
            giveUpOnPort(error);
        }
    }

    void giveUpOnPort(const Error& error)
    {
        closePort();
        if (finding) {
            tryNextPort();
        } else {
            end(error);
        }
    }

    // Why the board that sent `ready` cannot be used, if it cannot.
    [[nodiscard]] std::optional<Error> unsupportedBy(const link::Ready& ready) const
    {
        if (ready.version != link::kProtocolVersion || ready.order != link::kPagesOrder) {
            return Error(ErrorCode::LinkBoardUnsupported,
                         QStringLiteral("The board on serial port %1 speaks version %2 of the "
                                        "live link with display order %3; Pixelcast speaks "
                                        "version %4 with order %5. Load the board's sketch from "
                                        "this version of Pixelcast.")
                             .arg(portLabel())
                             .arg(ready.version)
                             .arg(ready.order)
                             .arg(link::kProtocolVersion)
                             .arg(link::kPagesOrder));
        }
        const DisplaySize size{ready.width, ready.height};
        const std::size_t frameBytes = pagesLayout().byteCount(size);
        if (ready.width == 0 || ready.height == 0 ||
            link::framePayloadBytes(frameBytes) > ready.maxPayload) {
            return Error(ErrorCode::LinkBoardUnsupported,
                         QStringLiteral("The board on serial port %1 takes messages of %2 bytes "
                                        "at most, too few for a whole frame of its %3 display.")
                             .arg(portLabel())
                             .arg(ready.maxPayload)
                             .arg(sizeText(size)));
        }
        return std::nullopt;
    }

    void greeted(const link::Ready& ready)
    {
        if (const std::optional<Error> unsupported = unsupportedBy(ready)) {
            closePort();
            end(*unsupported);
            return;
        }
        helloTimer.stop();
        phase = Phase::Live;
        facts = BoardFacts{port.deviceName(), portNumber, ready.controller,
                           DisplaySize{ready.width, ready.height}, ready.maxPayload};
        acked.reset();
        ackedSeq = 0;
        inFlight.reset();
        shownTimes.clear();
        tell([facts = facts](LinkConnection& to) {
            to.m_live = true;
            to.m_facts = facts;
            if (to.connected) {
                to.connected(facts);
            }
        });
        pump();
    }

    // --- Frames --------------------------------------------------------------------------

    void takeMailbox()
    {
        {
            const std::lock_guard lock(mutex);
            wakePosted = false;
            if (!mailbox) {
                return;
            }
            pending = std::move(mailbox);
            mailbox.reset();
        }
        pump();
    }

    // Sends the newest frame when nothing is waiting for an answer.
    void pump()
    {
        if (phase != Phase::Live || inFlight || !pending) {
            return;
        }
        DisplayArray frame = std::move(*pending);
        pending.reset();
        if (frame.format().size != facts.size) {
            refuse(displaySizeMismatch(facts.size, frame.format().size));
            return;
        }
        if (frame.format().layout != &pagesLayout()) {
            frame = repack(frame, pagesLayout());
        }
        const link::Update update =
            acked ? link::planUpdate(acked->bytes(), frame.bytes(), facts.size.width)
                  : link::Update{link::Update::Kind::Frame, {}};
        if (update.kind == link::Update::Kind::Nothing) {
            tellShown();
            return;
        }
        const std::uint16_t seq = link::nextSeq(lastSeq);
        lastSeq = seq;
        link::Bytes message = update.kind == link::Update::Kind::Frame
                                  ? link::encodeFrame(seq, frame.bytes())
                                  : link::encodeDelta(seq, ackedSeq, update.runs, frame.bytes());
        inFlight = InFlight{std::move(message), std::move(frame), seq, 0};
        transmit();
    }

    void transmit()
    {
        ++inFlight->tries;
        try {
            port.output(viewOf(inFlight->message));
        } catch (const Error& error) {
            goneBecause(error.description());
            return;
        }
        answerTimer.start(std::chrono::ceil<std::chrono::milliseconds>(
            link::answerTimeout(inFlight->message.size())));
    }

    void refuse(const Error& error)
    {
        tell([error](LinkConnection& to) {
            if (to.frameRefused) {
                to.frameRefused(error);
            }
        });
        pump();
    }

    void answerMissing()
    {
        if (phase != Phase::Live || !inFlight) {
            return;
        }
        retry();
    }

    void retry()
    {
        if (inFlight->tries >= link::kMaxTries) {
            goneBecause(
                QStringLiteral("it did not answer %1 tries of a message").arg(link::kMaxTries));
            return;
        }
        transmit();
    }

    // The display no longer shows what was last acknowledged: the newest frame goes whole.
    void forgetShown()
    {
        answerTimer.stop();
        if (inFlight && !pending) {
            pending = std::move(inFlight->frame);
        }
        inFlight.reset();
        acked.reset();
        ackedSeq = 0;
    }

    void tellShown()
    {
        const auto now = Clock::now();
        while (!shownTimes.empty() && now - shownTimes.front() >= std::chrono::seconds(1)) {
            shownTimes.pop_front();
        }
        bool upToDate = !inFlight && !pending;
        {
            const std::lock_guard lock(mutex);
            upToDate = upToDate && !mailbox;
        }
        const LinkProgress progress{static_cast<int>(shownTimes.size()), upToDate};
        tell([progress](LinkConnection& to) {
            if (to.shown) {
                to.shown(progress);
            }
        });
    }

    // --- The board's answers -------------------------------------------------------------

    void readInput()
    {
        const QByteArray input = port.takeInput();
        reader.feed(spanOf(input));
        while (phase != Phase::Closed) {
            const std::optional<link::Message> message = reader.next();
            if (!message) {
                return;
            }
            const std::optional<link::BoardMessage> answer = link::readBoardMessage(*message);
            if (!answer) {
                continue;
            }
            if (const auto* ready = std::get_if<link::Ready>(&*answer)) {
                if (phase == Phase::Greeting) {
                    greeted(*ready);
                } else {
                    restarted(*ready);
                }
            } else if (phase != Phase::Live) {
                continue;
            } else if (const auto* shownAnswer = std::get_if<link::Shown>(&*answer)) {
                onShown(shownAnswer->seq);
            } else {
                onRefused(std::get<link::Refused>(*answer));
            }
        }
    }

    void onShown(std::uint16_t seq)
    {
        if (!inFlight || inFlight->seq != seq) {
            return; // the answer to a message sent again, already counted
        }
        answerTimer.stop();
        acked = std::move(inFlight->frame);
        ackedSeq = seq;
        inFlight.reset();
        shownTimes.push_back(Clock::now());
        tellShown();
        pump();
    }

    void onRefused(const link::Refused& refused)
    {
        if (!inFlight || (refused.seq != 0 && refused.seq != inFlight->seq)) {
            return;
        }
        switch (static_cast<link::RefusalReason>(refused.reason)) {
        case link::RefusalReason::WrongBase:
        case link::RefusalReason::BadRun:
            forgetShown();
            pump();
            return;
        case link::RefusalReason::BadCrc:
        case link::RefusalReason::TooLong:
        case link::RefusalReason::Malformed:
            break;
        }
        answerTimer.stop();
        retry();
    }

    // A READY while live: the answer to a greeting sent while the board was starting, when
    // it shows the frame last answered (or none, as before); otherwise the board has
    // restarted. A message lost in a restart before anything was shown is sent again when
    // its answer does not come.
    void restarted(const link::Ready& ready)
    {
        if (ready.shown == ackedSeq) {
            return;
        }
        if (const std::optional<Error> unsupported = unsupportedBy(ready)) {
            closePort();
            end(*unsupported);
            return;
        }
        forgetShown();
        facts.size = DisplaySize{ready.width, ready.height};
        facts.controller = ready.controller;
        facts.maxPayload = ready.maxPayload;
        tell([facts = facts](LinkConnection& to) {
            to.m_facts = facts;
            if (to.connected) {
                to.connected(facts);
            }
        });
        pump();
    }

    // --- Ending --------------------------------------------------------------------------

    void goneBecause(const QString& why)
    {
        const QString label = portLabel();
        closePort();
        end(Error(ErrorCode::LinkBoardGone,
                  QStringLiteral("The board on serial port %1 is gone: %2. Plug it in again, "
                                 "then turn \"Live on board\" on again.")
                      .arg(label, why)));
    }

    void end(const Error& error)
    {
        tell([error](LinkConnection& to) {
            to.m_live = false;
            if (to.ended) {
                to.ended(error);
            }
        });
    }

    void closePort()
    {
        phase = Phase::Closed;
        answerTimer.stop();
        helloTimer.stop();
        inFlight.reset();
        pending.reset();
        acked.reset();
        ackedSeq = 0;
        try {
            port.setPortOpen(false);
        } catch (const Error&) {
            // Closed all the same; what did not go out no longer matters.
        }
    }
};

LinkConnection::LinkConnection(std::unique_ptr<PortDirectory> directory)
    : m_thread(std::make_unique<QThread>()), m_line(std::make_unique<Line>(std::move(directory)))
{
    m_line->owner = this;
    m_line->setUp();
    m_thread->setObjectName(QStringLiteral("live link"));
    m_line->port.moveToThread(m_thread.get());
    m_line->context.moveToThread(m_thread.get());
    m_line->answerTimer.moveToThread(m_thread.get());
    m_line->helloTimer.moveToThread(m_thread.get());
    m_thread->start();
}

LinkConnection::~LinkConnection()
{
    {
        const std::lock_guard lock(m_line->mutex);
        m_line->owner = nullptr;
    }
    // A message on a dead line ends by then at the latest.
    m_line->port.giveUpBy(Clock::now() + std::chrono::seconds(1));
    post([](Line& line) {
        line.closePort();
        QThread::currentThread()->quit();
    });
    if (!m_thread->wait(QDeadlineTimer(std::chrono::seconds(3)))) {
        // Not expected to happen. A thread that may be inside a system call is not ended
        // from outside: it is left to the end of the process, with what it uses.
        (void)m_thread.release();
        (void)m_line.release();
    }
}

void LinkConnection::post(std::function<void(Line&)> work)
{
    Line* line = m_line.get();
    QMetaObject::invokeMethod(
        &line->context, [line, work = std::move(work)] { work(*line); }, Qt::QueuedConnection);
}

void LinkConnection::open(int portNumber)
{
    m_live = false;
    post([portNumber](Line& line) { line.start({portNumber}, false); });
}

void LinkConnection::find()
{
    m_live = false;
    post([](Line& line) {
        std::deque<int> numbers;
        for (int number = 1; number <= kMostPortsTried; ++number) {
            // The directory is asked on the link's thread; it may read the system's folders.
            if (!line.port.directory().deviceFor(number).isEmpty()) {
                numbers.push_back(number);
            }
        }
        line.start(std::move(numbers), true);
    });
}

void LinkConnection::show(const DisplayArray& frame)
{
    const std::lock_guard lock(m_line->mutex);
    m_line->mailbox = frame;
    if (!m_line->wakePosted) {
        m_line->wakePosted = true;
        post([](Line& line) { line.takeMailbox(); });
    }
}

void LinkConnection::close(std::function<void()> done)
{
    m_live = false;
    {
        const std::lock_guard lock(m_line->mutex);
        m_line->mailbox.reset();
    }
    post([done = std::move(done)](Line& line) {
        line.closePort();
        line.tell([done](LinkConnection& to) {
            to.m_live = false;
            if (done) {
                done();
            }
        });
    });
}

} // namespace pixelcast
