#include "clipboard_files.h"

#include "errors/error.h"
#include "output/staged_file.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include <array>
#include <utility>

namespace pixelcast {

QString draggedFile(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1 ||
        !data->urls().front().isLocalFile()) {
        return {};
    }
    const QString path = data->urls().front().toLocalFile();
    return QFileInfo(path).isFile() ? path : QString();
}

QString clipboardFile(const QMimeData* data)
{
    if (data == nullptr) {
        return {};
    }
    if (data->hasUrls()) {
        return draggedFile(data);
    }
    if (!data->hasText()) {
        return {};
    }
    const QString text = data->text().trimmed();
    const QUrl url(text);
    const QString path = url.isLocalFile() ? url.toLocalFile() : text;
    const QFileInfo info(path);
    return info.isAbsolute() && info.isFile() ? path : QString();
}

PastedPictures::PastedPictures() = default;
PastedPictures::~PastedPictures() = default;

QString PastedPictures::keep(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return keepBytes(png, QStringLiteral("pasted.png"));
}

QString PastedPictures::keepSvg(const QByteArray& document)
{
    return keepBytes(document, QStringLiteral("pasted.svg"));
}

QString PastedPictures::keepEncoded(const QMimeData* data)
{
    static const std::array<std::pair<const char*, const char*>, 4> kEncoded{{
        {"image/webp", "pasted.webp"},
        {"image/avif", "pasted.avif"},
        {"image/heic", "pasted.heic"},
        {"image/heif", "pasted.heif"},
    }};
    for (const auto& [type, name] : kEncoded) {
        const QString mime = QString::fromLatin1(type);
        if (data != nullptr && data->hasFormat(mime)) {
            return keepBytes(data->data(mime), QString::fromLatin1(name));
        }
    }
    return {};
}

QString PastedPictures::keepBytes(const QByteArray& bytes, const QString& name)
{
    if (!m_folder) {
        m_folder = std::make_unique<QTemporaryDir>();
    }
    const QString folder = m_folder->filePath(QString::number(++m_pastes));
    if (!m_folder->isValid() || !QDir().mkpath(folder)) {
        throw Error(ErrorCode::PreviewNotWritten,
                    QStringLiteral("There is no folder to keep the pasted picture in."));
    }
    QString path = QDir(folder).filePath(name);
    saveFileWhole(path, bytes, ErrorCode::PreviewNotWritten, QStringLiteral("pasted picture"));
    return path;
}

QString PastedPictures::folder() const
{
    return m_folder && m_folder->isValid() ? m_folder->path() : QString();
}

} // namespace pixelcast
