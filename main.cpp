// The Pixelcast window program.
#include "ui/main_window.h"
#include "ui/translations.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pixelcast"));
    pixelcast::installQtTranslations(app, QLocale::system());

    pixelcast::MainWindow window;
    QObject::connect(&window, &pixelcast::MainWindow::programEnded, &app, &QCoreApplication::quit);
    window.start();
    return QApplication::exec();
}
