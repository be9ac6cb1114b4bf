#pragma once

#include <QLocale>

class QCoreApplication;
class QTranslator;

namespace pixelcast {

// Installs Qt's own translations for `locale`, so the file dialogs' stock labels and
// buttons speak the user's language. Returns the installed translator (owned by `app`),
// or nullptr when Qt has none for that language.
QTranslator* installQtTranslations(QCoreApplication& app, const QLocale& locale);

} // namespace pixelcast
