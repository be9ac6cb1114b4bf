#include "help_guide.h"

#include "errors/error.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <array>

namespace pixelcast {

QString findUserGuide(const QString& programDir, const QString& sourceDir)
{
    const std::array<QString, 2> places{
        QDir(programDir).filePath(QStringLiteral("../share/doc/pixelcast/guide/index.html")),
        QDir(sourceDir).filePath(QStringLiteral("docs/guide/index.html"))};
    for (const QString& place : places) {
        // An empty source folder would make the second place relative to the working one.
        if (!QDir::isAbsolutePath(place) || !QFileInfo(place).isFile()) {
            continue;
        }
        return QDir::cleanPath(place);
    }
    throw Error(ErrorCode::UserGuideNotShown,
                QStringLiteral("The user's guide was not found. It was looked for as \"%1\" "
                               "and as \"%2\".")
                    .arg(QDir::cleanPath(places[0]), QDir::cleanPath(places[1])));
}

QString userGuide()
{
    return findUserGuide(QCoreApplication::applicationDirPath(),
                         QStringLiteral(PIXELCAST_SOURCE_DIR));
}

void openUserGuide()
{
    const QString guide = userGuide();
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(guide))) {
        throw Error(ErrorCode::UserGuideNotShown,
                    QStringLiteral("No web browser could be started to show the user's guide, "
                                   "\"%1\". Open it in one yourself.")
                        .arg(guide));
    }
}

} // namespace pixelcast
