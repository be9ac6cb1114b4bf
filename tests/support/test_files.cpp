#include "support/test_files.h"

#include <QDir>

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

} // namespace pixelcast::test
