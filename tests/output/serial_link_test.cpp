// The steps behind "Configure Port", "Write array to Arduino" and "Exit" on real
// pseudo-terminals, reached once through a plain list of devices and once through the Linux
// device folder with its links.
#include "output/serial/serial_link.h"
#include "support/pseudo_terminal.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>
#include <QSerialPort>
#include <QTest>

#include <array>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace pixelcast {
namespace {

using namespace std::chrono_literals;
using test::bytesOf;
using test::errorFrom;
using test::PseudoTerminal;

// Every value 0-255 four times, in an order where neighbours differ, so that a dropped,
// doubled, swapped or translated byte (0x0A to 0x0D 0x0A, 0x11/0x13 taken as flow control,
// the high bit stripped) shows.
DisplayArray everyByteValue()
{
    DisplayArray array;
    for (std::size_t i = 0; i < kDefaultArrayBytes; ++i) {
        array[i] = static_cast<std::uint8_t>((i * 37 + 11 + i / 256) & 0xFF);
    }
    return array;
}

// How the fixture's three lines are found: the device names directly, or as the Linux
// directory would find them, through links named ttyACM0, ttyACM1 and ttyUSB0.
enum class Lookup { Listed, LinuxDeviceFolder };

class SerialLinkTest : public testing::TestWithParam<Lookup> {
protected:
    void SetUp() override
    {
        QStringList devices;
        for (const auto& line : m_lines) {
            devices.append(line->devicePath());
        }
        if (GetParam() == Lookup::Listed) {
            m_port = std::make_unique<SerialPort>(std::make_unique<ListedPortDirectory>(devices));
            return;
        }
        QDir().mkpath(m_scratch.path(QStringLiteral("dev")));
        QDir().mkpath(m_scratch.path(QStringLiteral("sys")));
        const std::array names{"ttyACM0", "ttyACM1", "ttyUSB0"};
        for (std::size_t i = 0; i < names.size(); ++i) {
            ASSERT_TRUE(QFile::link(devices.at(static_cast<qsizetype>(i)),
                                    m_scratch.path(QStringLiteral("dev/%1").arg(names[i]))));
        }
        m_port = std::make_unique<SerialPort>(std::make_unique<LinuxPortDirectory>(
            m_scratch.path(QStringLiteral("dev")), m_scratch.path(QStringLiteral("sys"))));
    }

    PseudoTerminal& line(int number) { return *m_lines.at(static_cast<std::size_t>(number - 1)); }

    test::ScratchDir m_scratch;
    std::array<std::unique_ptr<PseudoTerminal>, 3> m_lines{std::make_unique<PseudoTerminal>(),
                                                           std::make_unique<PseudoTerminal>(),
                                                           std::make_unique<PseudoTerminal>()};
    std::unique_ptr<SerialPort> m_port;
};

void expectBoardSettings(const termios& line)
{
    EXPECT_EQ(cfgetospeed(&line), speed_t{B9600});
    EXPECT_EQ(cfgetispeed(&line), speed_t{B9600});
    EXPECT_EQ(line.c_cflag & CSIZE, tcflag_t{CS8});
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u) << "parity, 2 stop bits or RTS/CTS";
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY), 0u) << "XON/XOFF";
    EXPECT_EQ(line.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | PARMRK), 0u)
        << "input translation";
    EXPECT_EQ(line.c_oflag & OPOST, 0u) << "output processing";
    EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u) << "line discipline not raw";
}

TEST(PortNumberForIndex, ListEntriesGiveTheirPortAndAnythingElsePortOne)
{
    struct Row {
        int index;
        int port;
    };
    for (const Row row : {Row{-1, 1}, Row{0, 1}, Row{1, 2}, Row{2, 3}, Row{3, 4}, Row{4, 1},
                          Row{-2, 1}, Row{100, 1}}) {
        EXPECT_EQ(portNumberForIndex(row.index), row.port) << "index " << row.index;
    }
}

TEST_P(SerialLinkTest, ConfiguringCom3SetsUpTheThirdLineForTheBoard)
{
    for (int n = 1; n <= 3; ++n) {
        line(n).setWrongLineSettings();
    }
    const termios before = line(1).lineSettings();
    ASSERT_EQ(cfgetospeed(&before), speed_t{B19200});
    ASSERT_NE(before.c_cflag & CRTSCTS, 0u);
    ASSERT_NE(before.c_iflag & IXON, 0u);
    ASSERT_NE(before.c_lflag & ICANON, 0u);

    configurePort(*m_port, portNumberForIndex(2));

    EXPECT_TRUE(m_port->portOpen());
    EXPECT_EQ(m_port->commPort(), 3);
    EXPECT_EQ(m_port->settings(), LineSettings{});
    EXPECT_EQ(m_port->handshaking(), Handshaking::None);
    expectBoardSettings(line(3).lineSettings());
    for (int n = 1; n <= 2; ++n) {
        const termios other = line(n).lineSettings();
        EXPECT_EQ(cfgetospeed(&other), speed_t{B19200}) << "line " << n << " was touched";
    }
    m_port->output("x");
    EXPECT_EQ(line(3).receive(1), QByteArray("x"));
    EXPECT_TRUE(line(1).receiveAny(20ms).isEmpty());
    EXPECT_TRUE(line(2).receiveAny(20ms).isEmpty());
}

TEST_P(SerialLinkTest, ConfiguringAgainClosesThePortBeforeReopening)
{
    configurePort(*m_port, 1);
    m_port->output("a");
    configurePort(*m_port, 1); // the same port again: it must be let go first
    EXPECT_TRUE(m_port->portOpen());
    m_port->output("b");
    EXPECT_EQ(line(1).receive(2), QByteArray("ab"));

    configurePort(*m_port, 2);
    EXPECT_EQ(m_port->commPort(), 2);
    // Port 1 is free again: another program can take it.
    QSerialPort other;
    other.setPortName(line(1).devicePath());
    EXPECT_TRUE(other.open(QIODevice::ReadWrite)) << other.errorString().toStdString();
    other.close();
    m_port->output("c");
    EXPECT_EQ(line(2).receive(1), QByteArray("c"));
}

TEST_P(SerialLinkTest, SendingPutsTheArrayOnTheLineByteForByteInIndexOrder)
{
    const DisplayArray array = everyByteValue();
    configurePort(*m_port, 1);

    sendArray(*m_port, array);
    EXPECT_EQ(line(1).receive(1024), bytesOf(array));

    // The button stays enabled: the same array can go again, and nothing is added.
    sendArray(*m_port, array);
    sendArray(*m_port, DisplayArray{});
    EXPECT_EQ(line(1).receive(2048), bytesOf(array) + QByteArray(1024, '\0'));
    EXPECT_TRUE(line(1).receiveAny(20ms).isEmpty());
}

TEST_P(SerialLinkTest, TheLineCarriesTheBoardsOrderAndOnlySizesTheBoardDraws)
{
    configurePort(*m_port, 1);
    const DisplayArray vertical = everyByteValue();
    sendArray(*m_port, repack(vertical, rowsLayout()));
    EXPECT_EQ(line(1).receive(1024), bytesOf(vertical));

    Surface picture(128, 32, kBlack);
    picture.write(127, 31, kWhite);
    sendArray(*m_port, packDisplay(picture, {{128, 32}, &pagesLayout()}));
    QByteArray half(512, '\0');
    half[511] = static_cast<char>(0x80);
    EXPECT_EQ(line(1).receive(512), half);

    const auto error = errorFrom([&] {
        sendArray(*m_port, DisplayArray({{16, 16}, &xbmLayout()}));
    });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), ErrorCode::PortPictureSizeUnsupported);
    EXPECT_TRUE(line(1).receiveAny(20ms).isEmpty());
}

TEST_P(SerialLinkTest, ExitRightAfterSendingClosesThePortWithEveryByteDelivered)
{
    const DisplayArray array = everyByteValue();
    configurePort(*m_port, 1);
    sendArray(*m_port, array);

    closePortOnExit(*m_port);

    EXPECT_FALSE(m_port->portOpen());
    EXPECT_EQ(line(1).receive(1024), bytesOf(array));
    closePortOnExit(*m_port); // a closed port stays closed
    EXPECT_FALSE(m_port->portOpen());
}

TEST_P(SerialLinkTest, APortThatIsNotThereIsReportedAndAnotherCanBeConfigured)
{
    const auto error = errorFrom([&] { configurePort(*m_port, 4); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), ErrorCode::PortNotPresent);
    EXPECT_TRUE(error->description().contains(QStringLiteral("Com4")));
    EXPECT_FALSE(m_port->portOpen());

    configurePort(*m_port, 1);
    EXPECT_TRUE(m_port->portOpen());
}

TEST_P(SerialLinkTest, ABusyPortIsReportedAsInUseAndCanBeConfiguredOnceFree)
{
    QSerialPort other;
    other.setPortName(line(2).devicePath());
    ASSERT_TRUE(other.open(QIODevice::ReadWrite)) << other.errorString().toStdString();

    const auto error = errorFrom([&] { configurePort(*m_port, 2); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), ErrorCode::PortBusy);
    EXPECT_TRUE(error->description().contains(QStringLiteral("in use")))
        << error->description().toStdString();
    EXPECT_FALSE(m_port->portOpen());
    EXPECT_EQ(m_port->commPort(), 2);

    other.close();
    configurePort(*m_port, 2);
    EXPECT_TRUE(m_port->portOpen());
}

TEST_P(SerialLinkTest, APortHeldExclusivelyWithoutALockFileIsAlsoInUse)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "exclusive mode does not stop root";
    }
    const int holder =
        ::open(QFile::encodeName(line(1).devicePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::ioctl(holder, TIOCEXCL), 0);

    const auto error = errorFrom([&] { configurePort(*m_port, 1); });
    ::close(holder);

    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), ErrorCode::PortBusy) << error->description().toStdString();
    EXPECT_FALSE(m_port->portOpen());
}

TEST_P(SerialLinkTest, AHangUpDuringSendingClosesThePortAndSaysHowFarItGot)
{
    line(1).fillLine(); // the board stops reading, so the transfer is still going on...
    configurePort(*m_port, 1);
    std::atomic<pid_t> sender{0};
    std::optional<Error> error;
    std::thread sending([&] {
        sender = ::gettid();
        error = errorFrom([&] { sendArray(*m_port, everyByteValue()); });
    });
    // The sending thread asleep: waiting for room on the line.
    const auto waiting = [&] {
        if (sender == 0) {
            return false;
        }
        QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(sender.load()));
        return stat.open(QIODevice::ReadOnly) &&
               stat.readAll().split(')').value(1).trimmed().startsWith('S');
    };
    const bool sendWasWaiting = QTest::qWaitFor(waiting, 5000);
    line(1).hangUp(); // ...when the board goes away
    sending.join();

    ASSERT_TRUE(sendWasWaiting);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), ErrorCode::PortLost) << error->description().toStdString();
    EXPECT_TRUE(error->description().contains(QStringLiteral("of 1024 bytes went out")))
        << error->description().toStdString();
    EXPECT_FALSE(m_port->portOpen());

    const auto again = errorFrom([&] { sendArray(*m_port, everyByteValue()); });
    ASSERT_TRUE(again);
    EXPECT_EQ(again->code(), ErrorCode::PortNotOpen);
    configurePort(*m_port, 2);
    EXPECT_TRUE(m_port->portOpen());
}

TEST_P(SerialLinkTest, ABoardUnpluggedBeforeTheBytesWentOutIsReportedAtClose)
{
    // The system takes all 1024 bytes at once; the board goes away before reading them.
    configurePort(*m_port, 1);
    sendArray(*m_port, everyByteValue());
    line(1).hangUp();

    const auto error = errorFrom([&] { closePortOnExit(*m_port); });
    ASSERT_TRUE(error) << "bytes lost with the board passed for a finished transfer";
    EXPECT_EQ(error->code(), ErrorCode::PortLost) << error->description().toStdString();
    EXPECT_TRUE(error->description().contains(QStringLiteral("1024")))
        << error->description().toStdString();
    EXPECT_FALSE(m_port->portOpen());
    // Closing again, with nothing sent, is quiet.
    EXPECT_FALSE(errorFrom([&] { closePortOnExit(*m_port); }));
}

TEST_P(SerialLinkTest, ALineThatStopsTakingBytesIsGivenUpAfterTheStallTimeout)
{
    line(1).fillLine();
    configurePort(*m_port, 1);
    m_port->setStallTimeout(200ms);

    const auto started = std::chrono::steady_clock::now();
    const auto error = errorFrom([&] { sendArray(*m_port, everyByteValue()); });
    const auto took = std::chrono::steady_clock::now() - started;

    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), ErrorCode::PortWriteFailed) << error->description().toStdString();
    EXPECT_TRUE(error->description().contains(QStringLiteral("of 1024 bytes went out")));
    EXPECT_GE(took, 200ms);
    EXPECT_LT(took, 3s);
    EXPECT_FALSE(m_port->portOpen());
}

TEST_P(SerialLinkTest, SendingWithNoPortOpenIsReported)
{
    const auto error = errorFrom([&] { sendArray(*m_port, DisplayArray{}); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), ErrorCode::PortNotOpen);
    EXPECT_TRUE(line(1).receiveAny(20ms).isEmpty());
}

TEST_P(SerialLinkTest, APortWithoutPermissionNamesTheDialoutGroup)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop root";
    }
    ASSERT_EQ(::chmod(QFile::encodeName(line(1).devicePath()).constData(), 0), 0);
    const auto error = errorFrom([&] { configurePort(*m_port, 1); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), ErrorCode::PortNoPermission);
    EXPECT_TRUE(error->description().contains(QStringLiteral("dialout")));
    EXPECT_FALSE(m_port->portOpen());
}

INSTANTIATE_TEST_SUITE_P(Lookups, SerialLinkTest,
                         testing::Values(Lookup::Listed, Lookup::LinuxDeviceFolder),
                         [](const testing::TestParamInfo<Lookup>& lookup) {
                             return lookup.param == Lookup::Listed ? "ListedDevices"
                                                                   : "LinuxDeviceFolder";
                         });

} // namespace
} // namespace pixelcast
