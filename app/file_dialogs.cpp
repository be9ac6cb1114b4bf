#include "file_dialogs.h"

#include "errors/error.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <utility>

namespace pixelcast {

namespace {

// The texts are the program's own, shown exactly: two blanks before the parenthesis,
// "*jpg" without a point, the trailing ';' of "*.bin;".
const QString kOpenFilter = QStringLiteral(
    u"Графические файлы  (*.gif;*jpg;*.bmp;*.wmf;*.ico;*.cur)|*.gif;*jpg;*.bmp;*.wmf;*.ico;*.cur|");
// After the program's own entry, which stays first and selected: every accepted name of a
// picture file, then every file.
const QString kMoreOpenFilters =
    QStringLiteral("All pictures (*.gif *.jpg *.jpeg *.jpe *.bmp *.dib *.wmf *.ico *.cur *.png "
                   "*.webp *.avif *.avifs *.heic *.heif *.hif *.svg *.svgz)|"
                   "*.gif;*.jpg;*.jpeg;*.jpe;*.bmp;*.dib;*.wmf;*.ico;*.cur;*.png;"
                   "*.webp;*.avif;*.avifs;*.heic;*.heif;*.hif;*.svg;*.svgz|"
                   "Video clips (*.mp4 *.m4v *.mov *.mkv *.webm *.avi)|"
                   "*.mp4;*.m4v;*.mov;*.mkv;*.webm;*.avi|All files (*)|*|");
const QString kOpenTitle = QStringLiteral(u"Открыть графический файл");
const QString kHeaderFilter = QStringLiteral("C header (*.h)|*.h|All files (*)|*|");
const QString kHeaderTitle = QStringLiteral("Export C header");
const QString kAnimationHeaderTitle = QStringLiteral("Export animation header");
const QString kPreviewFilter = QStringLiteral("PNG picture (*.png)|*.png|All files (*)|*|");
const QString kPreviewTitle = QStringLiteral("Export preview PNG");
const QString kXbmFilter = QStringLiteral("X bitmap (*.xbm)|*.xbm|All files (*)|*|");
const QString kXbmTitle = QStringLiteral("Export X bitmap");
const QString kSaveFilter = QStringLiteral(u"Графические файлы  (*.bin;)|*.bin;|");
const QString kSaveTitle = QStringLiteral(u"сохранить графический файл");

} // namespace

std::vector<NameFilter> parseFilter(const QString& filter)
{
    std::vector<NameFilter> filters;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        NameFilter entry{parts[i], {}};
        for (const QString& pattern : parts[i + 1].split(u';', Qt::SkipEmptyParts)) {
            const QString trimmed = pattern.trimmed();
            if (!trimmed.isEmpty()) {
                entry.patterns.append(trimmed);
            }
        }
        if (!entry.patterns.isEmpty()) {
            filters.push_back(std::move(entry));
        }
    }
    return filters;
}

FileDialogs::FileDialogs(FileDialogBackend& backend, MessageSink showMessage)
    : m_backend(backend), m_showMessage(std::move(showMessage))
{
}

QString FileDialogs::askOpenImageFile()
{
    m_filter = kOpenFilter + kMoreOpenFilters;
    m_flags = kFileMustExist;
    m_title = kOpenTitle;
    m_defaultSuffix.clear();
    return ask(DialogKind::Open);
}

QString FileDialogs::askSaveArrayFile()
{
    m_filter = kSaveFilter;
    m_flags = kOverwritePrompt;
    m_title = kSaveTitle;
    m_defaultSuffix.clear();
    return ask(DialogKind::Save);
}

QString FileDialogs::askSaveHeaderFile(const QString& picture)
{
    return askExport(kHeaderTitle, kHeaderFilter, QStringLiteral("h"), picture);
}

QString FileDialogs::askSaveXbmFile(const QString& picture)
{
    return askExport(kXbmTitle, kXbmFilter, QStringLiteral("xbm"), picture);
}

QString FileDialogs::askSavePreviewFile(const QString& picture)
{
    return askExport(kPreviewTitle, kPreviewFilter, QStringLiteral("png"), picture);
}

QString FileDialogs::askSaveAnimationFile(const QString& picture)
{
    return askExport(kSaveTitle, kSaveFilter, QStringLiteral("bin"), picture);
}

QString FileDialogs::askSaveAnimationHeaderFile(const QString& picture)
{
    return askExport(kAnimationHeaderTitle, kHeaderFilter, QStringLiteral("h"), picture);
}

QString FileDialogs::askExport(const QString& title, const QString& filter, const QString& suffix,
                               const QString& picture)
{
    m_filter = filter;
    m_flags = kOverwritePrompt;
    m_title = title;
    m_defaultSuffix = suffix;
    if (picture.isEmpty()) {
        return ask(DialogKind::Save);
    }
    const QFileInfo shown(picture);
    return ask(DialogKind::Save, shown.dir().filePath(shown.completeBaseName() + u'.' + suffix));
}

QString FileDialogs::outsideScratch(const QString& path) const
{
    const auto inside = [](const QString& file, const QString& folder) {
        const QString relative = QDir(folder).relativeFilePath(QFileInfo(file).absoluteFilePath());
        return !relative.startsWith(QLatin1String("..")) && !QDir::isAbsolutePath(relative);
    };
    if (m_scratchFolder.isEmpty() || path.isEmpty() || !inside(path, m_scratchFolder)) {
        return path;
    }
    QString folder = m_saveFolder;
    if (folder.isEmpty()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
            folder = QDir::homePath();
        }
    }
    return QDir(folder).filePath(QFileInfo(path).fileName());
}

QString FileDialogs::ask(DialogKind kind, const QString& suggestion)
{
    try {
        QString fileName = suggestion.isEmpty() ? m_fileName : suggestion;
        if (kind == DialogKind::Save) {
            fileName = outsideScratch(fileName);
        }
        const std::optional<QString> chosen = m_backend.show(FileDialogRequest{
            kind, m_title, m_filter, m_flags, fileName, m_startFolder, m_defaultSuffix});
        if (!chosen) {
            // A cancel is no failure: nothing is shown and the last name is kept.
            return {};
        }
        m_fileName = *chosen;
        if (kind == DialogKind::Save) {
            m_saveFolder = QFileInfo(m_fileName).absolutePath();
        }
        return m_fileName;
    } catch (const Error& error) {
        if (m_showMessage) {
            m_showMessage(error.description());
        }
        return {};
    }
}

} // namespace pixelcast
