#pragma once

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>

// Readable QStrings in the failure messages of GoogleTest.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace pixelcast::test {

// Plays the user's part in modal dialogs that the code under test opens and waits on.
// Each step runs, in order, on the first modal window that its kind matches; it runs
// from the event loop, so the step itself may open or close further dialogs. A step that
// finds no such dialog within the time limit fails the test and the open dialogs are
// rejected, so that a test never hangs.
class ModalDriver : public QObject {
public:
    using Step = std::function<void(QWidget*)>;

    ModalDriver()
    {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, &ModalDriver::poll);
    }
    ~ModalDriver() override
    {
        EXPECT_TRUE(m_steps.empty()) << m_steps.size() << " dialog step(s) never ran";
    }

    template <typename Dialog> ModalDriver& on(std::function<void(Dialog*)> step)
    {
        m_steps.push_back({[](QWidget* w) { return qobject_cast<Dialog*>(w) != nullptr; },
                           [step](QWidget* w) {
                               step(qobject_cast<Dialog*>(w));
                           }});
        if (!m_timer.isActive()) {
            m_elapsed = 0;
            m_timer.start();
        }
        return *this;
    }

private:
    struct Entry {
        std::function<bool(QWidget*)> matches;
        Step run;
    };

    void poll()
    {
        m_elapsed += m_timer.interval();
        if (m_steps.empty()) {
            m_timer.stop();
            return;
        }
        QWidget* modal = QApplication::activeModalWidget();
        // A step still at work on this very dialog has not finished with it yet; one
        // waiting in a dialog that it opened lets the next step take that one.
        const bool busy = modal != nullptr && modal == m_workingOn;
        if (modal != nullptr && !busy && modal->isVisible() && m_steps.front().matches(modal)) {
            Entry entry = std::move(m_steps.front());
            m_steps.pop_front();
            m_elapsed = 0;
            m_workingOn = modal;
            QPointer<QWidget> target(modal);
            QTimer::singleShot(0, this, [this, entry = std::move(entry), target] {
                if (target) {
                    entry.run(target);
                }
                if (m_workingOn == target) {
                    m_workingOn = nullptr;
                }
            });
            return;
        }
        if (m_elapsed > 10000) {
            ADD_FAILURE() << "an expected dialog did not appear";
            m_steps.clear();
            m_timer.stop();
            while (QWidget* open = QApplication::activeModalWidget()) {
                if (auto* dialog = qobject_cast<QDialog*>(open)) {
                    dialog->reject();
                } else {
                    open->close();
                }
                QCoreApplication::processEvents();
            }
        }
    }

    QTimer m_timer;
    std::deque<Entry> m_steps;
    int m_elapsed = 0;
    QPointer<QWidget> m_workingOn;
};

// The window's menu item of that object name; a missing one fails the test.
inline QAction* menuItem(const QWidget& window, const char* name)
{
    auto* found = window.findChild<QAction*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

// Types `name` into the file dialog's file-name field, as a user does.
void typeFileName(QFileDialog* dialog, const QString& name);
// The dialog's accepting button ("Open" or "Save").
[[nodiscard]] QPushButton* acceptButton(QFileDialog* dialog);
// Types `name` and clicks the accepting button.
void chooseFile(QFileDialog* dialog, const QString& name);
// Clicks the dialog's Cancel button.
void cancel(QFileDialog* dialog);
// Clicks the message box's button of the given role.
void answer(QMessageBox* box, QMessageBox::StandardButton button);

} // namespace pixelcast::test
