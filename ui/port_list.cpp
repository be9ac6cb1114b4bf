#include "port_list.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <QWheelEvent>

namespace pixelcast {

PortList::PortList(QWidget* parent) : QComboBox(parent)
{
    setEditable(true);
    // Typed text never becomes an entry.
    setInsertPolicy(QComboBox::NoInsert);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { m_typedOver = true; });
    // Return in the field also reports an entry as activated when the text spells one;
    // only the choices flagged below count.
    connect(this, &QComboBox::activated, this, &PortList::onActivated);
}

int PortList::selectedIndex() const
{
    return m_typedOver ? -1 : currentIndex();
}

void PortList::hidePopup()
{
    QComboBox::hidePopup();
    // Set after the base call: hiding may run a short event loop of its own.
    m_popupJustHidden = true;
    QTimer::singleShot(0, this, [this] { m_popupJustHidden = false; });
}

void PortList::leaveKeysToCommands(const QList<QKeySequence>& keys)
{
    m_commandKeys = keys;
    installEventFilter(this);
    lineEdit()->installEventFilter(this);
}

bool PortList::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == this || watched == lineEdit()) &&
        (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (m_commandKeys.contains(QKeySequence(key->keyCombination()))) {
            // An override left unaccepted lets the window's shortcut run; the key itself,
            // which comes when its command is disabled, is dropped.
            event->setAccepted(event->type() == QEvent::KeyPress);
            return true;
        }
    }
    return QComboBox::eventFilter(watched, event);
}

void PortList::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        m_stepping = (event->modifiers() & Qt::AltModifier) == 0;
        break;
    default:
        break;
    }
    QComboBox::keyPressEvent(event);
    m_stepping = false;
}

void PortList::wheelEvent(QWheelEvent* event)
{
    m_stepping = true;
    QComboBox::wheelEvent(event);
    m_stepping = false;
}

void PortList::onActivated()
{
    if (m_popupJustHidden || m_stepping) {
        m_typedOver = false;
    }
    m_popupJustHidden = false;
}

} // namespace pixelcast
