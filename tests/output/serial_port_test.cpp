#include "output/serial/serial_port.h"
#include "support/pseudo_terminal.h"

#include <gtest/gtest.h>

namespace pixelcast {
namespace {

using test::errorFrom;
using test::PseudoTerminal;

TEST(SerialPort, StartsClosedOnPortOneAt9600n81WithoutHandshaking)
{
    const SerialPort port(std::make_unique<ListedPortDirectory>(QStringList{}));
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(port.commPort(), 1);
    EXPECT_EQ(port.settings(), LineSettings{});
    EXPECT_EQ(port.handshaking(), Handshaking::None);
    EXPECT_TRUE(port.deviceName().isEmpty());
}

TEST(SerialPort, KeepsTheSettingsItIsGivenWhileClosed)
{
    SerialPort port(std::make_unique<ListedPortDirectory>(QStringList{}));
    const LineSettings settings{19200, QSerialPort::EvenParity, QSerialPort::Data7,
                                QSerialPort::TwoStop};
    port.setSettings(settings);
    EXPECT_EQ(port.settings(), settings);
}

TEST(SerialPort, ThePortNumberChangesOnlyWhileClosed)
{
    PseudoTerminal line;
    SerialPort port(std::make_unique<ListedPortDirectory>(QStringList{line.devicePath()}));
    const auto zero = errorFrom([&] { port.setCommPort(0); });
    ASSERT_TRUE(zero);
    EXPECT_EQ(zero->code(), ErrorCode::PortNotPresent);
    EXPECT_EQ(port.commPort(), 1);

    port.setPortOpen(true);
    EXPECT_EQ(port.deviceName(), line.devicePath());
    const auto whileOpen = errorFrom([&] { port.setCommPort(2); });
    ASSERT_TRUE(whileOpen);
    EXPECT_EQ(whileOpen->code(), ErrorCode::PortStillOpen);
    EXPECT_EQ(port.commPort(), 1);
    EXPECT_TRUE(port.portOpen());

    port.setPortOpen(true); // opening an open port changes nothing
    EXPECT_TRUE(port.portOpen());
    port.setPortOpen(false);
    port.setCommPort(2);
    EXPECT_EQ(port.commPort(), 2);
    EXPECT_TRUE(port.deviceName().isEmpty());
}

TEST(SerialPort, HandshakingReachesTheLineAndChangesWhileOpen)
{
    struct Row {
        Handshaking handshaking;
        bool rtsCts;
        bool xonXoff;
    };
    PseudoTerminal line;
    SerialPort port(std::make_unique<ListedPortDirectory>(QStringList{line.devicePath()}));
    port.setPortOpen(true);
    for (const Row row :
         {Row{Handshaking::XonXoff, false, true}, Row{Handshaking::RtsCts, true, false},
          Row{Handshaking::RtsXonXoff, true, true}, Row{Handshaking::None, false, false}}) {
        port.setHandshaking(row.handshaking);
        const termios settings = line.lineSettings();
        const int value = static_cast<int>(row.handshaking);
        EXPECT_EQ((settings.c_cflag & CRTSCTS) != 0, row.rtsCts) << "handshaking " << value;
        EXPECT_EQ((settings.c_iflag & IXON) != 0, row.xonXoff) << "handshaking " << value;
        EXPECT_EQ((settings.c_iflag & IXOFF) != 0, row.xonXoff) << "handshaking " << value;
    }
}

TEST(SerialPort, NewSettingsTakeEffectOnTheOpenLine)
{
    PseudoTerminal line;
    SerialPort port(std::make_unique<ListedPortDirectory>(QStringList{line.devicePath()}));
    port.setPortOpen(true);
    port.setSettings({19200, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::TwoStop});
    const termios settings = line.lineSettings();
    EXPECT_EQ(cfgetospeed(&settings), speed_t{B19200});
    EXPECT_NE(settings.c_cflag & CSTOPB, 0u);
    EXPECT_TRUE(port.portOpen());
}

TEST(SerialPort, SettingsTheLineCannotCarryAreRefusedAndLeaveThePortClosed)
{
    // The terminal interface has no 1.5 stop bits; sending with 1 instead would garble
    // every byte for a receiver that expects 1.5.
    PseudoTerminal line;
    SerialPort port(std::make_unique<ListedPortDirectory>(QStringList{line.devicePath()}));
    port.setPortOpen(true);
    const auto whileOpen = errorFrom([&] {
        port.setSettings(
            {9600, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::OneAndHalfStop});
    });
    ASSERT_TRUE(whileOpen);
    EXPECT_EQ(whileOpen->code(), ErrorCode::PortBadSettings);
    EXPECT_TRUE(whileOpen->description().contains(u"\"9600,n,8,1.5\""));
    EXPECT_FALSE(port.portOpen());

    const auto opening = errorFrom([&] { port.setPortOpen(true); });
    ASSERT_TRUE(opening);
    EXPECT_EQ(opening->code(), ErrorCode::PortBadSettings);
    EXPECT_FALSE(port.portOpen());

    port.setSettings(LineSettings{});
    port.setPortOpen(true);
    EXPECT_TRUE(port.portOpen());
}

TEST(SerialPort, ADeviceThatHasGoneIsNotPresent)
{
    SerialPort port(std::make_unique<ListedPortDirectory>(
        QStringList{QStringLiteral("/dev/pts/no-such-line")}));
    const auto error = errorFrom([&] { port.setPortOpen(true); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), ErrorCode::PortNotPresent);
    EXPECT_FALSE(port.portOpen());
}

TEST(SerialPort, ClosingOnDestructionDeliversEveryByte)
{
    PseudoTerminal line;
    const QByteArray bytes(3000, '\x13');
    {
        SerialPort port(std::make_unique<ListedPortDirectory>(QStringList{line.devicePath()}));
        port.setPortOpen(true);
        port.output(bytes);
    }
    EXPECT_EQ(line.receive(bytes.size()), bytes);
}

// The deadline of an owner that is going away, well before the stall timeout.
TEST(SerialPort, AWaitPastTheGiveUpTimeEndsAsAStallDoes)
{
    PseudoTerminal line;
    line.fillLine();
    SerialPort port(std::make_unique<ListedPortDirectory>(QStringList{line.devicePath()}));
    port.setPortOpen(true);
    port.setStallTimeout(std::chrono::seconds(10));
    const auto started = std::chrono::steady_clock::now();
    port.giveUpBy(started + std::chrono::milliseconds(200));
    const auto error = errorFrom([&] { port.output(QByteArray(1024, 'x')); });
    const auto took = std::chrono::steady_clock::now() - started;

    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), ErrorCode::PortWriteFailed);
    EXPECT_GE(took, std::chrono::milliseconds(200));
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_FALSE(port.portOpen());
}

TEST(ComPortDirectory, PortNIsComN)
{
    const ComPortDirectory directory;
    EXPECT_EQ(directory.deviceFor(1), QStringLiteral("COM1"));
    EXPECT_EQ(directory.deviceFor(4), QStringLiteral("COM4"));
    EXPECT_EQ(directory.deviceFor(12), QStringLiteral("COM12"));
    EXPECT_TRUE(directory.deviceFor(0).isEmpty());
}

} // namespace
} // namespace pixelcast
