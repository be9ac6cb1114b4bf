#pragma once

#include "errors/error.h"

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <functional>

namespace pixelcast {

// A file written whole or not at all: the bytes go into a file beside the destination that
// takes its name only on commit(), so a failure leaves the old file, if any, as it was,
// and a staged file dropped without commit() leaves nothing behind. Every failure throws
// Error(`code`): "The <what> could not be written to "<name>": <reason>."
class StagedFile {
public:
    // Opens the file beside the destination and writes all of `bytes` to it.
    StagedFile(const QString& fileName, const QByteArray& bytes, ErrorCode code, QString what);
    // Opens the file beside the destination and writes to it each piece `produce` hands on.
    StagedFile(const QString& fileName,
               const std::function<void(const std::function<void(const QByteArray&)>&)>& produce,
               ErrorCode code, QString what);

    // Puts the file in its destination's place.
    void commit();

private:
    void write(const QByteArray& bytes);
    [[noreturn]] void fail(const QString& why) const;

    QString m_fileName;
    QSaveFile m_file;
    ErrorCode m_code;
    QString m_what;
};

// A StagedFile committed at once.
void saveFileWhole(const QString& fileName, const QByteArray& bytes, ErrorCode code,
                   const QString& what);

} // namespace pixelcast
