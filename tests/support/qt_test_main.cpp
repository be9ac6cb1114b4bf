// The main() of every test program: GoogleTest inside a Qt application, so that tests can
// decode pictures, draw text and show real widgets. CTest sets QT_QPA_PLATFORM=offscreen;
// the same default here lets the test list be read at build time, with no screen. Each run
// keeps its settings and runtime files in a temporary folder of its own, so that nothing
// is left behind in the user's home. The AVIF and HEIF readers are loaded from the build.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The AVIF and HEIF readers' library, which the programs find beside themselves.
    if (qEnvironmentVariableIsEmpty("PIXELCAST_PHOTO_READERS")) {
        qputenv("PIXELCAST_PHOTO_READERS", PIXELCAST_PHOTO_READERS_FILE);
    }
    const QTemporaryDir home;
    if (home.isValid()) {
        QDir(home.path()).mkpath(QStringLiteral("config"));
        QDir(home.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.filePath(QStringLiteral("runtime"))));
    }
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
