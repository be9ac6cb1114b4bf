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
    form.start();
    return QApplication::exec();
}
