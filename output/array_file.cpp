#include "output/array_file.h"

#include "errors/error.h"

#include <QDir>
#include <QSaveFile>

namespace pixelcast {

namespace {

[[noreturn]] void fail(const QString& fileName, const QString& why)
{
    throw Error(ErrorCode::ArrayFileNotWritten,
                QStringLiteral("The array could not be written to \"%1\": %2.")
                    .arg(QDir::toNativeSeparators(fileName), why));
}

} // namespace

void writeArrayBytes(const QString& fileName, const DisplayArray& array)
{
    if (fileName.isEmpty()) {
        throw Error(ErrorCode::ArrayFileNotWritten,
                    QStringLiteral("The array could not be written: no file name was given."));
    }

    // QSaveFile writes a temporary file next to the target and renames it over the target
    // only on commit. Unbuffered, so that a full disk shows up in write() itself: a
    // buffered QSaveFile can commit an empty or short file and still report success.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        fail(fileName, file.errorString());
    }

    const auto bytes = array.bytes();
    const auto size = static_cast<qint64>(bytes.size());
    const qint64 written = file.write(reinterpret_cast<const char*>(bytes.data()), size);
    if (written != size) {
        const QString why = written < 0
                                ? file.errorString()
                                : QStringLiteral("only %1 of %2 bytes could be written (%3)")
                                      .arg(written)
                                      .arg(size)
                                      .arg(file.errorString());
        file.cancelWriting(); // the destructor then removes the temporary file
        fail(fileName, why);
    }
    if (!file.commit()) {
        fail(fileName, file.errorString());
    }
}

} // namespace pixelcast
