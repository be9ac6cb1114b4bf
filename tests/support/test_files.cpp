#include "support/test_files.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>

#include <gtest/gtest.h>
#include <stdexcept>

namespace pixelcast::test {

QString dataFile(const QString& name)
{
    return QDir(QStringLiteral(PIXELCAST_TEST_DATA_DIR)).filePath(name);
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

void writeFileBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size()) << path.toStdString();
}

QByteArray writtenByQt(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
    return bytes;
}

QByteArray bytesOf(const DisplayArray& array)
{
    const auto bytes = array.bytes();
    return {reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())};
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
    writeFileBytes(fileName, bytes);
    return fileName;
}

} // namespace pixelcast::test
