#include "output/array_file.h"

#include "errors/error.h"
#include "output/staged_file.h"

namespace pixelcast {

QByteArray arrayBytes(const DisplayArray& array)
{
    const auto bytes = array.bytes();
    return {reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())};
}

void writeArrayBytes(const QString& fileName, const DisplayArray& array)
{
    if (fileName.isEmpty()) {
        throw Error(ErrorCode::ArrayFileNotWritten,
                    QStringLiteral("The array could not be written: no file name was given."));
    }
    saveFileWhole(fileName, arrayBytes(array), ErrorCode::ArrayFileNotWritten,
                  QStringLiteral("array"));
}

} // namespace pixelcast
