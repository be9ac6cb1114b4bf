#pragma once

#include "module_colour.h"
#include "pixels/surface.h"

#include <QObject>

#include <utility>
#include <vector>

class QAction;
class QMenu;
class QWidget;

namespace pixelcast {

class DisplayPanel;

// The Display menu's last items: "Display panel" opens and closes the panel that shows the
// rendering as the module does, and "Module colour" chooses the colour it lights. The colour is
// saved in the user's settings once restore() has taken the remembered one.
class PanelMenuItems : public QObject {
    Q_OBJECT

public:
    // Adds the items to `menu`; the panel shows `rendering` and belongs to `window`.
    PanelMenuItems(QMenu& menu, const Surface& rendering, QWidget& window);

    void restore(ModuleColour colour);
    // The rendering changed: an open panel shows it now.
    void refresh();

    [[nodiscard]] ModuleColour moduleColour() const { return m_colour; }

private:
    void showPanel(bool shown);
    void onColourChosen(ModuleColour colour);

    const Surface& m_rendering;
    QWidget& m_window;
    DisplayPanel* m_panel = nullptr;
    QAction* m_panelAction = nullptr;
    std::vector<std::pair<QAction*, ModuleColour>> m_colourActions;
    ModuleColour m_colour = ModuleColour::White;
    // Off while the remembered colour is being checked, so that only the user's choices
    // are saved.
    bool m_savesSettings = false;
};

} // namespace pixelcast
