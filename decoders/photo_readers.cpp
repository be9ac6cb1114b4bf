#include "photo_readers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <dlfcn.h>
#include <mutex>

namespace pixelcast {

namespace {

constexpr const char* kLibrary = "pixelcast-photos.so";

QStringList candidates()
{
    if (const QString named = qEnvironmentVariable("PIXELCAST_PHOTO_READERS"); !named.isEmpty()) {
        return {named};
    }
    // The converter runs without an application object; the kernel knows where it is.
    const QDir folder(QCoreApplication::instance() != nullptr
                          ? QCoreApplication::applicationDirPath()
                          : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath());
    const QString name = QString::fromLatin1(kLibrary);
    return {folder.filePath(name),
            folder.filePath(QStringLiteral("../" PIXELCAST_PHOTOS_DIR "/") + name)};
}

const PhotoReaders* load(QString& why)
{
    for (const QString& path : candidates()) {
        if (!QFileInfo::exists(path)) {
            why = QStringLiteral("\"%1\" is missing").arg(path);
            continue;
        }
        void* library = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            why = QStringLiteral("\"%1\" cannot be loaded: %2")
                      .arg(path, QString::fromLocal8Bit(dlerror()));
            return nullptr;
        }
        using Entry = const PhotoReaders* (*)();
        const auto entry = reinterpret_cast<Entry>(dlsym(library, "pixelcast_photo_readers"));
        if (entry == nullptr) {
            why = QStringLiteral("\"%1\" is not Pixelcast's library of picture readers").arg(path);
            return nullptr;
        }
        // Kept loaded for the life of the program.
        return entry();
    }
    return nullptr;
}

} // namespace

const PhotoReaders& photoReaders()
{
    static std::once_flag once;
    static const PhotoReaders* readers = nullptr;
    static QString why;
    std::call_once(once, [] { readers = load(why); });
    if (readers == nullptr) {
        throw Error(ErrorCode::PictureReaderMissing,
                    QStringLiteral("AVIF and HEIF pictures are read by Pixelcast's library %1, "
                                   "which cannot be used (%2); reinstall Pixelcast.")
                        .arg(QString::fromLatin1(kLibrary), why));
    }
    return *readers;
}

} // namespace pixelcast
