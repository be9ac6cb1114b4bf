#pragma once

#include "display/display_array.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

namespace pixelcast::test {

// A picture kept under tests/data.
[[nodiscard]] QString dataFile(const QString& name);

// The whole content of a file; a file that cannot be read fails the test and gives nothing.
[[nodiscard]] QByteArray fileBytes(const QString& path);
// Writes `bytes` as the whole content of `path`, failing the test when it cannot.
void writeFileBytes(const QString& path, const QByteArray& bytes);
// `image` as Qt's writer for `format` ("ico", "png", ...) writes it.
[[nodiscard]] QByteArray writtenByQt(const QImage& image, const char* format);
// An array's bytes, as a file or a line carries them.
[[nodiscard]] QByteArray bytesOf(const DisplayArray& array);

// A temporary folder for files a test writes; removed with the object.
class ScratchDir {
public:
    ScratchDir();
    [[nodiscard]] QString path(const QString& name) const { return m_dir.filePath(name); }
    [[nodiscard]] QString root() const { return m_dir.path(); }
    // Writes `bytes` as the file `name` in the folder and gives its path.
    QString write(const QString& name, const QByteArray& bytes) const;

private:
    QTemporaryDir m_dir;
};

} // namespace pixelcast::test
