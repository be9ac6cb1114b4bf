#include "output/serial/port_directory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <utility>
#include <vector>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace pixelcast {

QString ComPortDirectory::deviceFor(int number) const
{
    return number >= 1 ? QStringLiteral("COM%1").arg(number) : QString();
}

LinuxPortDirectory::LinuxPortDirectory(QString deviceDir, QString sysTtyDir)
    : m_deviceDir(std::move(deviceDir)), m_sysTtyDir(std::move(sysTtyDir))
{
}

namespace {

#ifdef Q_OS_LINUX
bool isCharacterDevice(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISCHR(info.st_mode);
}
#endif

} // namespace

QStringList LinuxPortDirectory::devices() const
{
    QStringList result;
#ifdef Q_OS_LINUX
    const QDir dir(m_deviceDir);
    const QStringList names = dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& prefix :
         {QStringLiteral("ttyACM"), QStringLiteral("ttyUSB"), QStringLiteral("ttyS")}) {
        const QRegularExpression pattern(QStringLiteral("^%1(\\d{1,6})$").arg(prefix));
        std::vector<std::pair<int, QString>> found;
        for (const QString& name : names) {
            const QRegularExpressionMatch match = pattern.match(name);
            if (!match.hasMatch()) {
                continue;
            }
            const QString path = dir.filePath(name);
            if (!isCharacterDevice(path)) {
                continue;
            }
            if (prefix == QLatin1String("ttyS") && !isRealSerialPort(name, path)) {
                continue;
            }
            found.emplace_back(match.captured(1).toInt(), path);
        }
        std::sort(found.begin(), found.end());
        for (const auto& entry : found) {
            result.append(entry.second);
        }
    }
#endif
    return result;
}

QString LinuxPortDirectory::deviceFor(int number) const
{
    const QStringList all = devices();
    return number >= 1 && number <= all.size() ? all.at(number - 1) : QString();
}

bool LinuxPortDirectory::isRealSerialPort(const QString& name, const QString& path) const
{
#ifdef Q_OS_LINUX
    // The serial core shows the UART type of each port in sysfs, 0 (PORT_UNKNOWN) where
    // no chip answered; reading it needs no access to the device itself.
    QFile type(QDir(m_sysTtyDir).filePath(name + QStringLiteral("/type")));
    if (type.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const int value = QString::fromLatin1(type.readAll()).trimmed().toInt(&ok);
        return ok && value != PORT_UNKNOWN;
    }
    // Without sysfs, ask the driver. Anything that is not a serial port (a pseudo-terminal,
    // a console) refuses the request.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    serial_struct info{};
    const bool answered = ::ioctl(fd, TIOCGSERIAL, &info) == 0;
    ::close(fd);
    return answered && info.type != PORT_UNKNOWN;
#else
    Q_UNUSED(name);
    Q_UNUSED(path);
    return false;
#endif
}

std::unique_ptr<PortDirectory> systemPortDirectory()
{
#ifdef Q_OS_LINUX
    return std::make_unique<LinuxPortDirectory>();
#else
    return std::make_unique<ComPortDirectory>();
#endif
}

} // namespace pixelcast
