#pragma once

#include <QComboBox>
#include <QKeySequence>
#include <QList>

namespace pixelcast {

// The port list: an editable list of "Com1" to "Com4" whose selection only the user's
// choice of an entry makes. Text typed into its field is never a choice, even when it
// spells an entry's name and Qt makes that entry current on Return or on leaving the
// field; the list then has no selection until an entry is chosen from the popup, or
// stepped to with the arrow keys or the wheel.
class PortList : public QComboBox {
    Q_OBJECT

public:
    explicit PortList(QWidget* parent = nullptr);

    // The chosen entry's index, or -1 when there is none.
    [[nodiscard]] int selectedIndex() const;

    void hidePopup() override;

    // Keys that belong to the window's commands (single keys such as K): they never type
    // into the field, and their commands run while it has the focus.
    void leaveKeysToCommands(const QList<QKeySequence>& keys);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void onActivated();

    bool m_typedOver = false;
    // Set while a choice can follow: Qt hides the popup just before it reports the entry
    // chosen there, and reports a step of the keys or wheel from within their handlers.
    bool m_popupJustHidden = false;
    bool m_stepping = false;
    QList<QKeySequence> m_commandKeys;
};

} // namespace pixelcast
