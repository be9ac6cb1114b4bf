#include "panel_menu_items.h"

#include "display_panel.h"
#include "window_settings.h"

#include <QAction>
#include <QActionGroup>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>

#include <algorithm>

namespace pixelcast {

namespace {

// Puts a new panel beside the window, on the side with more room on the screen, narrowed
// to fit there, so that it covers none of the form; the window itself stays where it is.
// Where neither side has room for a useful panel, the window manager places it.
void placeBeside(QWidget& panel, const QWidget& window)
{
    constexpr int kGap = 8;
    const QScreen* screen = window.screen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->availableGeometry();
    const QRect frame = window.frameGeometry();
    const int roomRight = area.right() - frame.right() - kGap;
    const int roomLeft = frame.left() - area.left() - kGap;
    const int width = std::min(panel.width(), std::max(roomRight, roomLeft));
    if (width < panel.minimumWidth()) {
        return;
    }
    const int height = std::min(
        area.height(), std::max(panel.minimumHeight(), panel.height() * width / panel.width()));
    panel.resize(width, height);
    const int left = roomRight >= roomLeft ? frame.right() + 1 + kGap : frame.left() - kGap - width;
    panel.move(left, std::clamp(frame.top(), area.top(), area.bottom() + 1 - height));
}

} // namespace

PanelMenuItems::PanelMenuItems(QMenu& menu, const Surface& rendering, QWidget& window)
    : QObject(&window), m_rendering(rendering), m_window(window)
{
    menu.addSeparator();
    m_panelAction = menu.addAction(QStringLiteral("Display panel"));
    m_panelAction->setObjectName(QStringLiteral("displayPanelAction"));
    m_panelAction->setCheckable(true);
    m_panelAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+D")));
    connect(m_panelAction, &QAction::toggled, this, [this](bool on) { showPanel(on); });

    QMenu* colours = menu.addMenu(QStringLiteral("Module colour"));
    auto* group = new QActionGroup(this);
    group->setExclusive(true);
    for (const ModuleColourEntry& entry : kModuleColours) {
        QAction* item = colours->addAction(QString::fromLatin1(entry.menuText));
        item->setObjectName(QString::fromLatin1(entry.objectName));
        item->setCheckable(true);
        item->setChecked(entry.colour == m_colour);
        group->addAction(item);
        const ModuleColour colour = entry.colour;
        connect(item, &QAction::toggled, this, [this, colour](bool on) {
            if (on) {
                onColourChosen(colour);
            }
        });
        m_colourActions.emplace_back(item, colour);
    }
}

void PanelMenuItems::restore(ModuleColour colour)
{
    // Checked through the group's ordinary road (no signal blocker), so that the group
    // knows its new entry and unchecks the old one.
    m_savesSettings = false;
    for (const auto& [item, itemColour] : m_colourActions) {
        if (itemColour == colour) {
            item->setChecked(true);
        }
    }
    m_savesSettings = true;
}

void PanelMenuItems::refresh()
{
    if (m_panel != nullptr && m_panel->isVisible()) {
        m_panel->refresh();
    }
}

void PanelMenuItems::onColourChosen(ModuleColour colour)
{
    m_colour = colour;
    if (m_panel != nullptr) {
        m_panel->setModuleColour(colour);
    }
    if (m_savesSettings) {
        saveModuleColour(colour);
    }
}

void PanelMenuItems::showPanel(bool shown)
{
    if (!shown) {
        if (m_panel != nullptr) {
            m_panel->hide();
        }
        return;
    }
    if (m_panel == nullptr) {
        m_panel = new DisplayPanel(&m_window);
        m_panel->setSurface(&m_rendering);
        m_panel->setModuleColour(m_colour);
        connect(m_panel, &DisplayPanel::closed, m_panelAction,
                [this] { m_panelAction->setChecked(false); });
        placeBeside(*m_panel, m_window);
    }
    m_panel->show();
    m_panel->raise();
}

} // namespace pixelcast
