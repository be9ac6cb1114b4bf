#include "output/serial/port_directory.h"
#include "support/test_files.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace pixelcast {
namespace {

class LinuxPortDirectoryTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(m_scratch.path(QStringLiteral("dev"))));
        ASSERT_TRUE(QDir().mkpath(m_scratch.path(QStringLiteral("sys"))));
    }

    // A device name leading (as a link) to a character device that is not a serial port.
    void addDevice(const QString& name)
    {
        ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), device(name)));
    }
    // What sysfs says about a ttyS port: the UART type, 0 where no chip answered.
    void setUartType(const QString& name, const char* type)
    {
        ASSERT_TRUE(QDir().mkpath(m_scratch.path(QStringLiteral("sys/") + name)));
        QFile file(m_scratch.path(QStringLiteral("sys/%1/type").arg(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(type);
    }
    [[nodiscard]] QString device(const QString& name) const
    {
        return m_scratch.path(QStringLiteral("dev/") + name);
    }
    [[nodiscard]] LinuxPortDirectory directory() const
    {
        return LinuxPortDirectory(m_scratch.path(QStringLiteral("dev")),
                                  m_scratch.path(QStringLiteral("sys")));
    }

    test::ScratchDir m_scratch;
};

TEST_F(LinuxPortDirectoryTest, CountsAcmThenUsbThenRealSerialPortsEachInNumericOrder)
{
    for (const char* name : {"ttyUSB0", "ttyS10", "ttyACM10", "ttyS1", "ttyACM2", "ttyS0", "ttyS2",
                             "ttyUSB", "ttyUSBx", "ttyACM3.old", "tty1", "console"}) {
        addDevice(QString::fromLatin1(name));
    }
    setUartType(QStringLiteral("ttyS0"), "0\n"); // no chip behind it
    setUartType(QStringLiteral("ttyS1"), "4\n"); // a 16550A
    setUartType(QStringLiteral("ttyS10"), "4\n");
    // ttyS2 has no sysfs entry and /dev/null does not answer as a serial port.
    QFile plain(device(QStringLiteral("ttyACM1")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly)); // a regular file is no device
    plain.close();
    ASSERT_TRUE(
        QFile::link(m_scratch.path(QStringLiteral("gone")), device(QStringLiteral("ttyUSB1"))));

    const QStringList expected{device(QStringLiteral("ttyACM2")),
                               device(QStringLiteral("ttyACM10")),
                               device(QStringLiteral("ttyUSB0")), device(QStringLiteral("ttyS1")),
                               device(QStringLiteral("ttyS10"))};
    const LinuxPortDirectory ports = directory();
    EXPECT_EQ(ports.devices(), expected);
    for (int n = 1; n <= 5; ++n) {
        EXPECT_EQ(ports.deviceFor(n), expected.at(n - 1)) << "port " << n;
    }
    EXPECT_TRUE(ports.deviceFor(6).isEmpty());
    EXPECT_TRUE(ports.deviceFor(0).isEmpty());
    EXPECT_TRUE(ports.deviceFor(-1).isEmpty());
}

TEST_F(LinuxPortDirectoryTest, SeesDevicesThatAppearAfterItWasMade)
{
    const LinuxPortDirectory ports = directory();
    EXPECT_TRUE(ports.deviceFor(1).isEmpty());
    addDevice(QStringLiteral("ttyUSB3"));
    EXPECT_EQ(ports.deviceFor(1), device(QStringLiteral("ttyUSB3")));
    addDevice(QStringLiteral("ttyACM0"));
    EXPECT_EQ(ports.deviceFor(1), device(QStringLiteral("ttyACM0")));
    EXPECT_EQ(ports.deviceFor(2), device(QStringLiteral("ttyUSB3")));
}

} // namespace
} // namespace pixelcast
