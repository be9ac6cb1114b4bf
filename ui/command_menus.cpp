#include "command_menus.h"

#include <QAbstractButton>
#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace pixelcast {

void CommandMenus::build(QMenuBar& bar, const std::vector<MenuSpec>& menus,
                         const std::function<QAbstractButton*(Button)>& buttonOf, QObject& context)
{
    for (const MenuSpec& section : menus) {
        QMenu* menu = bar.addMenu(section.title);
        if (section.fill) {
            section.fill(*menu);
        }
        for (const MenuItem& entry : section.items) {
            if (entry.text.isEmpty()) {
                menu->addSeparator();
                continue;
            }
            QAction* item = menu->addAction(entry.text);
            item->setObjectName(QString::fromLatin1(entry.name));
            item->setShortcut(entry.keys);
            if (entry.button) {
                QAbstractButton* button = buttonOf(*entry.button);
                item->setEnabled(button->isEnabled());
                QObject::connect(item, &QAction::triggered, button, &QAbstractButton::click);
                m_buttonItems[*entry.button] = item;
            } else if (entry.toggled) {
                item->setCheckable(true);
                QObject::connect(item, &QAction::triggered, &context, entry.toggled);
            } else {
                QObject::connect(item, &QAction::triggered, &context, entry.run);
            }
            if (entry.command) {
                item->setEnabled(false);
                m_commandItems[*entry.command] = item;
            }
        }
    }
}

QAction* CommandMenus::forButton(Button button) const
{
    const auto found = m_buttonItems.find(button);
    return found != m_buttonItems.end() ? found->second : nullptr;
}

QAction* CommandMenus::forCommand(Command command) const
{
    const auto found = m_commandItems.find(command);
    return found != m_commandItems.end() ? found->second : nullptr;
}

} // namespace pixelcast
