#include "output/serial/port_worker.h"
#include "output/serial/serial_link.h"
#include "output/serial/serial_port.h"
#include "support/pseudo_terminal.h"

#include <QElapsedTimer>
#include <QtCore/qtestsupport_core.h>

#include <gtest/gtest.h>

namespace pixelcast {
namespace {

using namespace std::chrono_literals;
using test::errorFrom;
using test::PseudoTerminal;

// Going away mid-animation neither sends the frames still to come nor waits out their
// delays, and leaves the port closed for others.
TEST(PortWorker, GoingAwayMidAnimationStopsBeforeTheNextFrameAndClosesThePort)
{
    PseudoTerminal line;
    QElapsedTimer clock;
    {
        PortWorker worker(std::make_unique<ListedPortDirectory>(QStringList{line.devicePath()}));
        worker.setStallTimeout(1s);
        int sent = 0;
        worker.progressed = [&sent](int done, int) {
            sent = done;
        };
        worker.configure(1, {});
        worker.send(std::vector<DisplayArray>(3), {10000, 10000, 10000});
        ASSERT_TRUE(QTest::qWaitFor([&sent] { return sent == 1; }));
        clock.start();
    }
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(line.receiveAny(100ms), QByteArray(1024, '\0'));
    SerialPort other(std::make_unique<ListedPortDirectory>(QStringList{line.devicePath()}));
    EXPECT_FALSE(errorFrom([&] { configurePort(other, 1); }));
}

} // namespace
} // namespace pixelcast
