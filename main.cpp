// The Pixelcast window program.
#include "ui/form1.h"
#include "ui/translations.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pixelcast"));
    pixelcast::installQtTranslations(app, QLocale::system());

    pixelcast::Form1 form;
    QObject::connect(&form, &pixelcast::Form1::programEnded, &app, &QCoreApplication::quit);
    form.start();
    return QApplication::exec();
}
