#include "output/staged_file.h"

#include <QDir>

namespace pixelcast {

StagedFile::StagedFile(const QString& fileName, const QByteArray& bytes, ErrorCode code,
                       QString what)
    : StagedFile(
          fileName, [&bytes](const std::function<void(const QByteArray&)>& write) { write(bytes); },
          code, std::move(what))
{
}

StagedFile::StagedFile(
    const QString& fileName,
    const std::function<void(const std::function<void(const QByteArray&)>&)>& produce,
    ErrorCode code, QString what)
    : m_fileName(fileName), m_file(fileName), m_code(code), m_what(std::move(what))
{
    // Unbuffered, so that a full disk shows up in write() itself: a buffered QSaveFile can
    // commit an empty or short file and still report success.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        fail(m_file.errorString());
    }
    produce([this](const QByteArray& piece) { write(piece); });
}

void StagedFile::write(const QByteArray& bytes)
{
    const qint64 written = m_file.write(bytes);
    if (written != bytes.size()) {
        const QString why = written < 0
                                ? m_file.errorString()
                                : QStringLiteral("only %1 of %2 bytes could be written (%3)")
                                      .arg(written)
                                      .arg(bytes.size())
                                      .arg(m_file.errorString());
        m_file.cancelWriting(); // the destructor then removes the file beside it
        fail(why);
    }
}

void StagedFile::commit()
{
    if (!m_file.commit()) {
        fail(m_file.errorString());
    }
}

void StagedFile::fail(const QString& why) const
{
    throw Error(m_code, QStringLiteral("The %1 could not be written to \"%2\": %3.")
                            .arg(m_what, QDir::toNativeSeparators(m_fileName), why));
}

void saveFileWhole(const QString& fileName, const QByteArray& bytes, ErrorCode code,
                   const QString& what)
{
    StagedFile(fileName, bytes, code, what).commit();
}

} // namespace pixelcast
