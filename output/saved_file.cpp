#include "saved_file.h"

#include <QDir>
#include <QSaveFile>

namespace pixelcast {

void saveFileWhole(const QString& fileName, const QByteArray& bytes, ErrorCode code,
                   const QString& what)
{
    QSaveFile file(fileName);
    const auto fail = [&](const QString& why) {
        return Error(code, QStringLiteral("The %1 could not be written to \"%2\": %3.")
                               .arg(what, QDir::toNativeSeparators(fileName), why));
    };
    // Unbuffered, so that a full disk shows up in write() rather than as a short file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        throw fail(file.errorString());
    }
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        throw fail(why);
    }
    if (!file.commit()) {
        throw fail(file.errorString());
    }
}

} // namespace pixelcast
