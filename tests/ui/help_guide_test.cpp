// Where Help finds the user's guide: installed beside the program, or in the source tree of a
// program run from its build folder; neither is a numbered error that says where it looked.
#include "errors/error.h"
#include "support/test_files.h"
#include "ui/help_guide.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <optional>

namespace pixelcast::test {
namespace {

TEST(HelpGuide, TheInstalledGuideComesFirstThenTheSourceTreesElseAnErrorSaysWhere)
{
    struct Row {
        const char* name;
        QStringList guides;     // files made under the scratch folder
        const char* programDir; // the folder the program runs from
        std::optional<QString> found;
    };
    const QString installed = QStringLiteral("usr/share/doc/pixelcast/guide/index.html");
    const QString source = QStringLiteral("src/docs/guide/index.html");
    const Row rows[] = {
        {"installed", {installed}, "usr/bin", installed},
        {"build tree", {source}, "src/build/dev", source},
        {"both", {installed, source}, "usr/bin", installed},
        {"none", {QStringLiteral("usr/share/doc/pixelcast/index.html")}, "usr/bin", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ScratchDir scratch;
        for (const QString& guide : row.guides) {
            ASSERT_TRUE(QDir().mkpath(QFileInfo(scratch.path(guide)).path()));
            scratch.write(guide, "<html></html>");
        }
        const QString programDir = scratch.path(QString::fromLatin1(row.programDir));
        ASSERT_TRUE(QDir().mkpath(programDir));
        const QString sourceDir = scratch.path(QStringLiteral("src"));
        if (row.found) {
            EXPECT_EQ(findUserGuide(programDir, sourceDir), scratch.path(*row.found));
            continue;
        }
        try {
            (void)findUserGuide(programDir, sourceDir);
            ADD_FAILURE() << "no error";
        } catch (const Error& error) {
            EXPECT_EQ(error.number(), 5001);
            EXPECT_TRUE(error.description().contains(scratch.path(installed)))
                << error.description().toStdString();
            EXPECT_TRUE(error.description().contains(scratch.path(source)))
                << error.description().toStdString();
        }
    }
}

} // namespace
} // namespace pixelcast::test
