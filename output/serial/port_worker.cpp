#include "output/serial/port_worker.h"

#include "output/serial/serial_link.h"
#include "output/serial/serial_port.h"

#include <QDeadlineTimer>
#include <QThread>

#include <mutex>
#include <utility>

namespace pixelcast {

namespace {

std::optional<Error> outcomeOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Error& error) {
        return error;
    }
    return std::nullopt;
}

} // namespace

// The worker thread's side. All of it but the way back (`mutex`, `owner`) is used on that
// thread only, once the constructor has handed it over.
struct PortWorker::Line {
    explicit Line(std::unique_ptr<PortDirectory> directory) : port(std::move(directory)) {}

    SerialPort port;
    // Made on the worker's thread, so that its timer runs there.
    std::optional<FrameSender> sender;
    // Requests in the order they came, waiting while a send is under way.
    std::deque<std::function<void()>> waiting;
    bool runningWaiting = false;
    // Requests are delivered to it on the worker's thread.
    QObject context;

    std::mutex mutex;
    // Null once the owner is going away: nobody is left to tell.
    PortWorker* owner = nullptr;

    void enqueue(std::function<void()> request)
    {
        waiting.push_back(std::move(request));
        runWaiting();
    }

    // Runs the waiting requests in order until one starts a send. A send that ends inside
    // a request (one frame goes out at once) comes back here; the loop already running
    // carries on instead.
    void runWaiting()
    {
        if (runningWaiting) {
            return;
        }
        runningWaiting = true;
        while (!waiting.empty() && !sender->isSending()) {
            const std::function<void()> request = std::move(waiting.front());
            waiting.pop_front();
            request();
        }
        runningWaiting = false;
    }

    // Runs `what` on the owner's thread, after the port's state now has been recorded there.
    void tell(const std::function<void(PortWorker&)>& what)
    {
        const bool open = port.portOpen();
        const QString device = port.deviceName();
        const std::lock_guard lock(mutex);
        if (owner == nullptr) {
            return;
        }
        PortWorker* to = owner;
        QMetaObject::invokeMethod(
            &to->m_home,
            [to, open, device, what] {
                to->deliver([to, open, device, what] {
                    to->m_open = open;
                    to->m_device = device;
                    what(*to);
                });
            },
            Qt::QueuedConnection);
    }
};

PortWorker::PortWorker(std::unique_ptr<PortDirectory> directory)
    : m_thread(std::make_unique<QThread>()), m_line(std::make_unique<Line>(std::move(directory))),
      m_stallTimeout(m_line->port.stallTimeout())
{
    m_line->owner = this;
    m_thread->setObjectName(QStringLiteral("serial port"));
    m_line->port.moveToThread(m_thread.get());
    m_line->context.moveToThread(m_thread.get());
    m_thread->start();
    post([](Line& line) {
        line.sender.emplace(line.port);
        line.sender->progressed = [&line](int sent, int total) {
            line.tell([sent, total](PortWorker& owner) {
                if (owner.progressed) {
                    owner.progressed(sent, total);
                }
            });
        };
        line.sender->finished = [&line](const FrameSender::Result& result) {
            line.tell([result](PortWorker& owner) {
                --owner.m_outstanding;
                owner.m_sending = false;
                if (owner.finished) {
                    owner.finished(result);
                }
            });
            line.runWaiting();
        };
    });
}

PortWorker::~PortWorker()
{
    {
        const std::lock_guard lock(m_line->mutex);
        m_line->owner = nullptr;
    }
    // A frame stuck on a dead line, and the drain after it, end by then at the latest.
    m_line->port.giveUpBy(std::chrono::steady_clock::now() + m_stallTimeout);
    post([](Line& line) {
        line.sender->cancel();
        line.enqueue([&line] {
            // The port is closed even when its last bytes could not go out.
            (void)outcomeOf([&line] { closePortOnExit(line.port); });
            line.sender.reset();
            QThread::currentThread()->quit();
        });
    });
    // The margin is for the thread to wind down once the port has been given up.
    if (!m_thread->wait(QDeadlineTimer(m_stallTimeout + std::chrono::seconds(1)))) {
        // Not expected to happen. A thread that may be inside a system call is not ended
        // from outside: it is left to the end of the process, with what it uses.
        (void)m_thread.release();
        (void)m_line.release();
    }
}

void PortWorker::post(std::function<void(Line&)> work)
{
    Line* line = m_line.get();
    QMetaObject::invokeMethod(
        &line->context, [line, work = std::move(work)] { work(*line); }, Qt::QueuedConnection);
}

void PortWorker::deliver(std::function<void()> outcome)
{
    m_undelivered.push_back(std::move(outcome));
    if (m_delivering) {
        return;
    }
    m_delivering = true;
    // Cleared also when a callback throws.
    struct Delivering {
        bool& flag;
        ~Delivering() { flag = false; }
    } delivering{m_delivering};
    while (!m_undelivered.empty()) {
        const std::function<void()> next = std::move(m_undelivered.front());
        m_undelivered.pop_front();
        next();
    }
}

void PortWorker::configure(int portNumber, Done done)
{
    ++m_outstanding;
    post([portNumber, done = std::move(done)](Line& line) {
        line.enqueue([&line, portNumber, done] {
            const std::optional<Error> error =
                outcomeOf([&line, portNumber] { configurePort(line.port, portNumber); });
            line.tell([done, error](PortWorker& owner) {
                --owner.m_outstanding;
                if (done) {
                    done(error);
                }
            });
        });
    });
}

void PortWorker::close(Done done)
{
    ++m_outstanding;
    post([done = std::move(done)](Line& line) {
        line.enqueue([&line, done] {
            const std::optional<Error> error = outcomeOf([&line] { closePortOnExit(line.port); });
            line.tell([done, error](PortWorker& owner) {
                --owner.m_outstanding;
                if (done) {
                    done(error);
                }
            });
        });
    });
}

void PortWorker::send(std::vector<DisplayArray> frames, std::vector<int> delaysMs)
{
    if (m_sending) {
        return;
    }
    m_sending = true;
    ++m_outstanding;
    post([frames = std::move(frames), delaysMs = std::move(delaysMs)](Line& line) {
        line.enqueue([&line, frames, delaysMs] { line.sender->start(frames, delaysMs); });
    });
}

void PortWorker::cancel()
{
    post([](Line& line) { line.sender->cancel(); });
}

void PortWorker::setStallTimeout(std::chrono::milliseconds timeout)
{
    m_stallTimeout = timeout;
    post([timeout](Line& line) { line.port.setStallTimeout(timeout); });
}

} // namespace pixelcast
