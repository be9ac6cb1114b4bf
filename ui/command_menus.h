#pragma once

#include "app/app_state.h"

#include <QKeySequence>
#include <QString>

#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

class QAbstractButton;
class QAction;
class QMenu;
class QMenuBar;
class QObject;

namespace pixelcast {

// One item of a menu. An item of a button runs through the button, so that both share one
// handler and one enabled state; an item of a command is enabled by the state's rule for
// that command (disabled until the controller says); any other is always enabled. An item
// that toggles carries a check mark and is told its new state. An item without text is a
// separator.
struct MenuItem {
    QString text;
    const char* name = nullptr;
    QKeySequence keys;
    std::function<void()> run;
    std::optional<Button> button;
    std::optional<Command> command;
    std::function<void(bool)> toggled;

    [[nodiscard]] static MenuItem action(QString text, const char* name, const QKeySequence& keys,
                                         std::function<void()> run)
    {
        return {std::move(text), name, keys, std::move(run), {}, {}, {}};
    }
    [[nodiscard]] static MenuItem ofButton(QString text, const char* name, const QKeySequence& keys,
                                           Button button)
    {
        return {std::move(text), name, keys, {}, button, {}, {}};
    }
    [[nodiscard]] static MenuItem ofCommand(QString text, const char* name,
                                            const QKeySequence& keys, Command command,
                                            std::function<void()> run)
    {
        return {std::move(text), name, keys, std::move(run), {}, command, {}};
    }
    [[nodiscard]] static MenuItem toggle(QString text, const char* name, const QKeySequence& keys,
                                         std::function<void(bool)> toggled)
    {
        return {std::move(text), name, keys, {}, {}, {}, std::move(toggled)};
    }
    [[nodiscard]] static MenuItem separator() { return {}; }
};

struct MenuSpec {
    QString title;
    // Adds items of its own (groups of choices) before `items`, when set.
    std::function<void(QMenu&)> fill;
    std::vector<MenuItem> items;
};

// The menu bar's menus, built from one table, and their items found by what enables them.
class CommandMenus {
public:
    // Adds `menus` to `bar` in order; `buttonOf` gives the button an item of a button runs.
    void build(QMenuBar& bar, const std::vector<MenuSpec>& menus,
               const std::function<QAbstractButton*(Button)>& buttonOf, QObject& context);

    // The item of a button or of a command, or nullptr when no menu has one.
    [[nodiscard]] QAction* forButton(Button button) const;
    [[nodiscard]] QAction* forCommand(Command command) const;

private:
    std::map<Button, QAction*> m_buttonItems;
    std::map<Command, QAction*> m_commandItems;
};

} // namespace pixelcast
