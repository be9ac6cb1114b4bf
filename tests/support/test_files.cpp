#include "support/test_files.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>
#include <stdexcept>

namespace pixelcast::test {

QString dataFile(const QString& name)
{
    return QDir(QStringLiteral(PIXELCAST_TEST_DATA_DIR)).filePath(name);
}

ScratchDir::ScratchDir()
{
    if (!m_dir.isValid()) {
        throw std::runtime_error("cannot create a temporary folder");
    }
}

QString ScratchDir::write(const QString& name, const QByteArray& bytes) const
{
    const QString fileName = path(name);
    QFile file(fileName);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
        << name.toStdString();
    return fileName;
}

} // namespace pixelcast::test
