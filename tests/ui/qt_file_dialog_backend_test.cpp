#include "app/file_dialogs.h"
#include "modal_driver.h"
#include "support/test_files.h"
#include "ui/qt_file_dialog_backend.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace pixelcast::test {
namespace {

const QString kOpenFilter = QStringLiteral(
    u"Графические файлы  (*.gif;*jpg;*.bmp;*.wmf;*.ico;*.cur)|*.gif;*jpg;*.bmp;*.wmf;*.ico;*.cur|");
const QString kSaveFilter = QStringLiteral(u"Графические файлы  (*.bin;)|*.bin;|");

class QtFileDialogTest : public testing::Test {
protected:
    ScratchDir scratch;
    QtFileDialogBackend backend{nullptr};
    ModalDriver driver;

    QString touch(const QString& name)
    {
        const QString path = scratch.path(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
        return path;
    }

    static FileDialogRequest openRequest(const QString& fileName = {})
    {
        return {DialogKind::Open,
                QStringLiteral(u"Открыть графический файл"),
                kOpenFilter,
                kFileMustExist,
                fileName,
                {},
                {}};
    }
    static FileDialogRequest saveRequest(const QString& fileName = {})
    {
        return {DialogKind::Save,
                QStringLiteral(u"сохранить графический файл"),
                kSaveFilter,
                kOverwritePrompt,
                fileName,
                {},
                {}};
    }
};

TEST_F(QtFileDialogTest, OpenShowsTheExactTitleAndFileTypeAndReturnsTheTypedName)
{
    const QString picture = touch(QStringLiteral("cat.bmp"));
    QString title;
    QString fileType;
    driver.on<QFileDialog>([&](QFileDialog* dialog) {
        title = dialog->windowTitle();
        if (auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
            fileType = types->currentText();
        }
        chooseFile(dialog, picture);
    });

    EXPECT_EQ(backend.show(openRequest()), std::optional<QString>(picture));
    EXPECT_EQ(title, QStringLiteral(u"Открыть графический файл"));
    EXPECT_EQ(fileType, QStringLiteral(u"Графические файлы  (*.gif;*jpg;*.bmp;*.wmf;*.ico;*.cur)"));
}

TEST_F(QtFileDialogTest, OpenListsOnlyFilesTheFilterMatches)
{
    for (const char* name : {"a.gif", "b.jpg", "bjpg", "c.bmp", "d.wmf", "e.ico", "f.cur", "g.png",
                             "h.jpeg", "i.bin"}) {
        (void)touch(QString::fromLatin1(name));
    }
    QStringList listed;
    driver.on<QFileDialog>([&](QFileDialog* dialog) {
        auto* model = dialog->findChild<QFileSystemModel*>();
        ASSERT_NE(model, nullptr);
        const QModelIndex folder = model->index(scratch.root());
        // The model reads the folder in the background: wait for all ten files.
        (void)QTest::qWaitFor([&] { return model->rowCount(folder) >= 10; }, 5000);
        for (int row = 0; row < model->rowCount(folder); ++row) {
            const QModelIndex entry = model->index(row, 0, folder);
            if ((model->flags(entry) & Qt::ItemIsEnabled) != 0) {
                listed.append(model->fileName(entry));
            }
        }
        cancel(dialog);
    });
    (void)backend.show(openRequest(scratch.path(QStringLiteral("a.gif"))));

    listed.sort();
    EXPECT_EQ(listed, QStringList({"a.gif", "b.jpg", "bjpg", "c.bmp", "d.wmf", "e.ico", "f.cur"}));
}

TEST_F(QtFileDialogTest, CancelGivesNothing)
{
    driver.on<QFileDialog>([](QFileDialog* dialog) { cancel(dialog); });
    EXPECT_EQ(backend.show(openRequest()), std::nullopt);
}

TEST_F(QtFileDialogTest, OpenRefusesAFileThatDoesNotExist)
{
    bool acceptable = true;
    QString complaint;
    bool stillAsking = false;
    driver
        .on<QFileDialog>([&](QFileDialog* dialog) {
            typeFileName(dialog, scratch.path(QStringLiteral("missing.bmp")));
            QPushButton* open = acceptButton(dialog);
            acceptable = open != nullptr && open->isEnabled();
            QTest::keyClick(dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")),
                            Qt::Key_Return);
        })
        .on<QMessageBox>([&](QMessageBox* box) {
            complaint = box->text();
            answer(box, QMessageBox::Ok);
        })
        .on<QFileDialog>([&](QFileDialog* dialog) {
            stillAsking = dialog->isVisible();
            cancel(dialog);
        });

    EXPECT_EQ(backend.show(openRequest()), std::nullopt);
    EXPECT_FALSE(acceptable);
    EXPECT_TRUE(complaint.contains(QStringLiteral("missing.bmp"))) << complaint.toStdString();
    EXPECT_TRUE(stillAsking);
}

TEST_F(QtFileDialogTest, SaveShowsTheExactTitleAndFileTypeAndReturnsANewName)
{
    QString title;
    QString fileType;
    const QString target = scratch.path(QStringLiteral("new.bin"));
    driver.on<QFileDialog>([&](QFileDialog* dialog) {
        title = dialog->windowTitle();
        if (auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
            fileType = types->currentText();
        }
        chooseFile(dialog, target);
    });

    EXPECT_EQ(backend.show(saveRequest()), std::optional<QString>(target));
    EXPECT_EQ(title, QStringLiteral(u"сохранить графический файл"));
    EXPECT_EQ(fileType, QStringLiteral(u"Графические файлы  (*.bin;)"));
}

TEST_F(QtFileDialogTest, SaveAsksBeforeReplacingAndKeepsAskingOnNo)
{
    const QString existing = touch(QStringLiteral("old.bin"));
    QString question;
    driver.on<QFileDialog>([&](QFileDialog* dialog) { chooseFile(dialog, existing); })
        .on<QMessageBox>([&](QMessageBox* box) {
            question = box->text();
            answer(box, QMessageBox::No);
        })
        .on<QFileDialog>([&](QFileDialog* dialog) { chooseFile(dialog, existing); })
        .on<QMessageBox>([&](QMessageBox* box) { answer(box, QMessageBox::Yes); });

    EXPECT_EQ(backend.show(saveRequest()), std::optional<QString>(existing));
    EXPECT_TRUE(question.contains(QStringLiteral("old.bin"))) << question.toStdString();
}

TEST_F(QtFileDialogTest, TheSaveDialogOpensWithTheLastPicturePath)
{
    QStringList messages;
    FileDialogs dialogs{backend, [&](const QString& text) {
                            messages.append(text);
                        }};
    const QString picture = touch(QStringLiteral("cat.bmp"));
    QString prefilledName;
    QString prefilledFolder;
    driver.on<QFileDialog>([&](QFileDialog* dialog) { chooseFile(dialog, picture); })
        .on<QFileDialog>([&](QFileDialog* dialog) {
            prefilledName = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
            prefilledFolder = dialog->directory().absolutePath();
            cancel(dialog);
        });

    EXPECT_EQ(dialogs.askOpenImageFile(), picture);
    EXPECT_EQ(dialogs.askSaveArrayFile(), "");
    EXPECT_EQ(prefilledName, "cat.bmp");
    EXPECT_EQ(prefilledFolder, QDir(scratch.root()).absolutePath());
    EXPECT_TRUE(messages.isEmpty());
}

} // namespace
} // namespace pixelcast::test
