#pragma once

#include "display/display_array.h"
#include "pixels/render_options.h"

#include <QObject>

#include <utility>
#include <vector>

class QAction;
class QActionGroup;
class QMenu;

namespace pixelcast {

// The choices of the Picture and Display menus: the rendering, the stretch, the display's
// size and its layout. Each item carries the value it stands for, so that what is checked
// is what the options say. Setting the menus from options runs none of the handlers; a
// choice of the user's reaches `renderOptionsChosen` or `displayChosen` once the menu holds
// one checked item in each group.
class ChoiceMenus : public QObject {
    Q_OBJECT

public:
    explicit ChoiceMenus(QObject* parent);

    // Adds the Picture menu's choices to `menu`: the dithers, then the stretch and the
    // inversion, then the background, rotation and mirror submenus.
    void fillPicture(QMenu& menu);
    // Adds the display's sizes, then its layouts, to `menu`.
    void fillDisplay(QMenu& menu);

    [[nodiscard]] RenderOptions renderOptions() const;
    void setRenderOptions(const RenderOptions& options);
    // A size the menu does not list is added to it.
    [[nodiscard]] DisplayFormat displayFormat() const;
    void setDisplayFormat(const DisplayFormat& display);

signals:
    void renderOptionsChosen(const RenderOptions& options);
    void displayChosen(const DisplayFormat& display);

private:
    template <typename Value> using Choices = std::vector<std::pair<QAction*, Value>>;

    QAction* addSize(DisplaySize size);
    void onPictureChanged();
    void onDisplayChanged();

    Choices<Dither> m_dithers;
    Choices<Background> m_backgrounds;
    Choices<Rotation> m_rotations;
    Choices<Flip> m_flips;
    QAction* m_smooth = nullptr;
    QAction* m_keepAspect = nullptr;
    QAction* m_invert = nullptr;
    QMenu* m_displayMenu = nullptr;
    QActionGroup* m_sizeGroup = nullptr;
    QAction* m_sizeSeparator = nullptr;
    Choices<DisplaySize> m_sizes;
    Choices<const ByteLayout*> m_layouts;
    // Set while the menus are being set from options, so that their handlers stay quiet.
    // The items' signals are not blocked instead: an exclusive group learns its checked
    // item from them, and a group left unaware keeps two items checked after the next
    // choice.
    bool m_applying = false;
};

} // namespace pixelcast
