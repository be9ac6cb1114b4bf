#include "modal_driver.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QPushButton>
#include <QTest>

namespace pixelcast::test {

void typeFileName(QFileDialog* dialog, const QString& name)
{
    auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, name);
    if (edit->completer() != nullptr && edit->completer()->popup() != nullptr) {
        edit->completer()->popup()->hide();
    }
}

QPushButton* acceptButton(QFileDialog* dialog)
{
    auto* box = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    if (box == nullptr) {
        return nullptr;
    }
    QPushButton* button = box->button(QDialogButtonBox::Open);
    return button != nullptr ? button : box->button(QDialogButtonBox::Save);
}

void chooseFile(QFileDialog* dialog, const QString& name)
{
    typeFileName(dialog, name);
    QPushButton* button = acceptButton(dialog);
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
}

void cancel(QFileDialog* dialog)
{
    auto* box = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(box->button(QDialogButtonBox::Cancel), Qt::LeftButton);
}

void answer(QMessageBox* box, QMessageBox::StandardButton button)
{
    QAbstractButton* target = box->button(button);
    ASSERT_NE(target, nullptr);
    QTest::mouseClick(target, Qt::LeftButton);
}

} // namespace pixelcast::test
