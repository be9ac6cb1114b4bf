#include "output/serial/serial_port.h"
#include "support/pseudo_terminal.h"

#include <gtest/gtest.h>

namespace pixelcast {
namespace {

using test::errorFrom;
using test::PseudoTerminal;

TEST(ParseLineSettings, ReadsBaudParityDataAndStopBits)
{
    struct Row {
        const char* text;
        LineSettings expected;
    };
    const Row rows[] = {
        {"9600,n,8,1", {9600, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::OneStop}},
        {"19200,E,7,2", {19200, QSerialPort::EvenParity, QSerialPort::Data7, QSerialPort::TwoStop}},
        {"300,o,5,1.5",
         {300, QSerialPort::OddParity, QSerialPort::Data5, QSerialPort::OneAndHalfStop}},
        {"115200,m,6,1",
         {115200, QSerialPort::MarkParity, QSerialPort::Data6, QSerialPort::OneStop}},
        {" 4800 , S , 8 , 1 ",
         {4800, QSerialPort::SpaceParity, QSerialPort::Data8, QSerialPort::OneStop}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(parseLineSettings(QString::fromLatin1(row.text)), row.expected) << row.text;
    }
}

TEST(ParseLineSettings, RefusesMalformedText)
{
    for (const char* text :
         {"", "9600", "9600,n,8", "9600,n,8,1,1", "0,n,8,1", "-9600,n,8,1", "fast,n,8,1",
          "9600,x,8,1", "9600,,8,1", "9600,no,8,1", "9600,n,4,1", "9600,n,9,1", "9600,n,8,0",
          "9600,n,8,3", "9600,n,8,1.0", "9600;n;8;1"}) {
        const auto error = errorFrom([&] { (void)parseLineSettings(QString::fromLatin1(text)); });
        ASSERT_TRUE(error) << text;
        EXPECT_EQ(error->code(), ErrorCode::PortBadSettings) << text;
        EXPECT_TRUE(error->description().contains(QString::fromLatin1(text))) << text;
    }
}

TEST(SerialPort, StartsClosedOnPortOneAt9600n81WithoutHandshaking)
{
    const SerialPort port(std::make_unique<ListedPortDirectory>(QStringList{}));
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(port.commPort(), 1);
    EXPECT_EQ(port.settings(), QStringLiteral("9600,n,8,1"));
    EXPECT_EQ(port.handshaking(), Handshaking::None);
    EXPECT_TRUE(port.deviceName().isEmpty());
}

TEST(SerialPort, KeepsSettingsInTheirNormalFormAndKeepsOldOnesOnBadText)
{
    SerialPort port(std::make_unique<ListedPortDirectory>(QStringList{}));
    port.setSettings(QStringLiteral(" 19200 , E , 7 , 2 "));
    EXPECT_EQ(port.settings(), QStringLiteral("19200,e,7,2"));
    EXPECT_TRUE(errorFrom([&] { port.setSettings(QStringLiteral("19200,e,7")); }));
    EXPECT_EQ(port.settings(), QStringLiteral("19200,e,7,2"));
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
    port.setSettings(QStringLiteral("19200,n,8,2"));
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
    const auto whileOpen = errorFrom([&] { port.setSettings(QStringLiteral("9600,n,8,1.5")); });
    ASSERT_TRUE(whileOpen);
    EXPECT_EQ(whileOpen->code(), ErrorCode::PortBadSettings);
    EXPECT_FALSE(port.portOpen());

    const auto opening = errorFrom([&] { port.setPortOpen(true); });
    ASSERT_TRUE(opening);
    EXPECT_EQ(opening->code(), ErrorCode::PortBadSettings);
    EXPECT_FALSE(port.portOpen());

    port.setSettings(QStringLiteral("9600,n,8,1"));
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
