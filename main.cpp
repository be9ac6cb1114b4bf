// The Pixelcast window program.
#include "app/window_arguments.h"
#include "errors/error.h"
#include "ui/main_window.h"
#include "ui/translations.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    // The command line is read before the application exists: --help and --version need no
    // display (the manual page is made from --help).
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    pixelcast::WindowArguments parsed;
    try {
        parsed = pixelcast::parseWindowArguments(arguments);
    } catch (const pixelcast::Error& error) {
        std::fprintf(stderr, "%s\nTry \"pixelcast --help\" for more information.\n",
                     error.message().toLocal8Bit().constData());
        return 2;
    }
    switch (parsed.action) {
    case pixelcast::WindowArguments::Action::ShowHelp:
        std::fputs(pixelcast::windowUsageText().toLocal8Bit().constData(), stdout);
        return 0;
    case pixelcast::WindowArguments::Action::ShowVersion:
        std::fputs(pixelcast::windowVersionText().toLocal8Bit().constData(), stdout);
        return 0;
    case pixelcast::WindowArguments::Action::Run:
        break;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pixelcast"));
    pixelcast::installQtTranslations(app, QLocale::system());

    pixelcast::MainWindow window;
    QObject::connect(&window, &pixelcast::MainWindow::programEnded, &app, &QCoreApplication::quit);
    window.restoreSettings();
    window.startWith(parsed);
    return QApplication::exec();
}
