#include "ui/translations.h"

#include <QCoreApplication>
#include <QTranslator>

#include <gtest/gtest.h>

namespace pixelcast::test {
namespace {

TEST(TranslationsTest, QtsOwnDialogTextsSpeakTheUsersLanguage)
{
    const QString english = QStringLiteral("&Open");
    ASSERT_EQ(QCoreApplication::translate("QFileDialog", "&Open"), english);

    QTranslator* russian =
        installQtTranslations(*QCoreApplication::instance(), QLocale(QLocale::Russian));
    ASSERT_NE(russian, nullptr) << "qtbase_ru.qm not found: is qt6-translations-l10n installed?";
    const QString translated = QCoreApplication::translate("QFileDialog", "&Open");
    QCoreApplication::removeTranslator(russian);
    delete russian;

    EXPECT_NE(translated, english);
    EXPECT_TRUE(translated.contains(QStringLiteral(u"Открыть"))) << translated.toStdString();
}

TEST(TranslationsTest, ALanguageWithoutQtTranslationsKeepsEnglish)
{
    EXPECT_EQ(installQtTranslations(*QCoreApplication::instance(), QLocale(QLocale::Zulu)),
              nullptr);
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "&Open"), QStringLiteral("&Open"));
}

} // namespace
} // namespace pixelcast::test
