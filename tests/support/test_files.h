#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace pixelcast::test {

// A picture kept under tests/data.
[[nodiscard]] QString dataFile(const QString& name);

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
