#include "app/file_dialogs.h"
#include "errors/error.h"
#include "fake_window.h"

#include <gtest/gtest.h>

namespace pixelcast::test {
namespace {

struct FilterRow {
    const char* name;
    QString filter;
    std::vector<NameFilter> expected;
};

void PrintTo(const FilterRow& row, std::ostream* out)
{
    *out << row.name;
}

class ParseFilterTest : public testing::TestWithParam<FilterRow> {};

TEST_P(ParseFilterTest, KeepsDescriptionsAndSplitsPatterns)
{
    EXPECT_EQ(parseFilter(GetParam().filter), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, ParseFilterTest,
    testing::Values(
        FilterRow{"open",
                  QStringLiteral(u"Графические файлы  (*.gif;*jpg;*.bmp;*.wmf;*.ico;*.cur)|"
                                 u"*.gif;*jpg;*.bmp;*.wmf;*.ico;*.cur|"),
                  {{QStringLiteral(u"Графические файлы  (*.gif;*jpg;*.bmp;*.wmf;*.ico;*.cur)"),
                    {"*.gif", "*jpg", "*.bmp", "*.wmf", "*.ico", "*.cur"}}}},
        FilterRow{"save",
                  QStringLiteral(u"Графические файлы  (*.bin;)|*.bin;|"),
                  {{QStringLiteral(u"Графические файлы  (*.bin;)"), {"*.bin"}}}},
        FilterRow{"twoEntriesNoTrailingBar",
                  QStringLiteral("Text|*.txt|All|*.*"),
                  {{"Text", {"*.txt"}}, {"All", {"*.*"}}}},
        FilterRow{"descriptionWithoutPatterns",
                  QStringLiteral("No patterns||Text|*.txt; *.md|"),
                  {{"Text", {"*.txt", "*.md"}}}},
        FilterRow{"empty", QString(), {}}),
    [](const testing::TestParamInfo<FilterRow>& row) { return std::string(row.param.name); });

class FileDialogsTest : public testing::Test {
protected:
    FakeDialogBackend backend;
    QStringList messages;
    FileDialogs dialog{backend, [this](const QString& text) {
                           messages.append(text);
                       }};
};

TEST_F(FileDialogsTest, OpenAsksForAnExistingPictureWithTheRussianTexts)
{
    backend.answers.push_back(QStringLiteral("/pictures/cat.bmp"));
    EXPECT_EQ(dialog.askOpenImageFile(), "/pictures/cat.bmp");

    ASSERT_EQ(backend.requests.size(), 1U);
    const FileDialogRequest& request = backend.requests.front();
    EXPECT_EQ(request.kind, DialogKind::Open);
    EXPECT_EQ(request.title, QStringLiteral(u"Открыть графический файл"));
    EXPECT_EQ(request.filter,
              QStringLiteral(u"Графические файлы  (*.gif;*jpg;*.bmp;*.wmf;*.ico;"
                             u"*.cur)|*.gif;*jpg;*.bmp;*.wmf;*.ico;*.cur|"
                             u"All pictures (*.gif *.jpg *.jpeg *.jpe *.bmp *.dib *.wmf *.ico "
                             u"*.cur *.png *.webp *.avif *.avifs *.heic *.heif *.hif *.svg "
                             u"*.svgz)|*.gif;*.jpg;*.jpeg;*.jpe;*.bmp;*.dib;*.wmf;*.ico;*.cur;"
                             u"*.png;*.webp;*.avif;*.avifs;*.heic;*.heif;*.hif;*.svg;*.svgz|"
                             u"Video clips (*.mp4 *.m4v *.mov *.mkv *.webm *.avi)|"
                             u"*.mp4;*.m4v;*.mov;*.mkv;*.webm;*.avi|All files (*)|*|"));
    EXPECT_EQ(request.flags, 0x1000);
    EXPECT_EQ(request.fileName, "");
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(FileDialogsTest, SaveAsksToConfirmReplacingWithTheRussianTexts)
{
    backend.answers.push_back(QStringLiteral("/arrays/cat.bin"));
    EXPECT_EQ(dialog.askSaveArrayFile(), "/arrays/cat.bin");

    ASSERT_EQ(backend.requests.size(), 1U);
    const FileDialogRequest& request = backend.requests.front();
    EXPECT_EQ(request.kind, DialogKind::Save);
    EXPECT_EQ(request.title, QStringLiteral(u"сохранить графический файл"));
    EXPECT_EQ(request.filter, QStringLiteral(u"Графические файлы  (*.bin;)|*.bin;|"));
    EXPECT_EQ(request.flags, 0x2);
}

TEST_F(FileDialogsTest, BothDialogsOpenWithTheNameChosenLast)
{
    backend.answers = {QStringLiteral("/pictures/cat.bmp"), QStringLiteral("/arrays/cat.bin"),
                       QStringLiteral("/pictures/dog.gif")};
    (void)dialog.askOpenImageFile();
    (void)dialog.askSaveArrayFile();
    (void)dialog.askOpenImageFile();

    ASSERT_EQ(backend.requests.size(), 3U);
    EXPECT_EQ(backend.requests[0].fileName, "");
    EXPECT_EQ(backend.requests[1].fileName, "/pictures/cat.bmp");
    EXPECT_EQ(backend.requests[2].fileName, "/arrays/cat.bin");
    EXPECT_EQ(dialog.fileName(), "/pictures/dog.gif");
}

TEST_F(FileDialogsTest, CancelGivesTheEmptyNameSilentlyAndKeepsTheLastName)
{
    backend.answers = {QStringLiteral("/pictures/cat.bmp"), std::nullopt, std::nullopt};
    (void)dialog.askOpenImageFile();

    EXPECT_EQ(dialog.askOpenImageFile(), "");
    EXPECT_EQ(dialog.askSaveArrayFile(), "");
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(backend.requests.back().fileName, "/pictures/cat.bmp");
    EXPECT_EQ(dialog.fileName(), "/pictures/cat.bmp");
}

TEST_F(FileDialogsTest, AFailingDialogShowsOnlyItsDescriptionAndGivesTheEmptyName)
{
    backend.failure =
        Error(ErrorCode::FileUnreadable, QStringLiteral("The folder cannot be read."));

    EXPECT_EQ(dialog.askOpenImageFile(), "");
    EXPECT_EQ(dialog.askSaveArrayFile(), "");
    EXPECT_EQ(messages, QStringList({QStringLiteral("The folder cannot be read."),
                                     QStringLiteral("The folder cannot be read.")}));
}

} // namespace
} // namespace pixelcast::test
