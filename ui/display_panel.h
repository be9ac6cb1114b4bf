#pragma once

#include "module_colour.h"
#include "pixels/surface.h"

#include <QImage>
#include <QWidget>

namespace pixelcast {

// A window of its own that shows a black-and-white rendering as the display module shows
// it: white pixels lit in the module's colour, the others near black, on a dark panel. The
// pixels are drawn at the largest whole-number zoom that fits the window, with a dark gap
// between them once they are big enough; a display larger than the window is scaled down
// to fit. As with PictureView, the surface is read at each repaint.
class DisplayPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMargin = 12;
    static constexpr QRgb kPanelColour = 0xFF08090B;

    // `owner` is the window the panel belongs to; the panel never blocks it.
    explicit DisplayPanel(QWidget* owner);

    // The surface shown; it must outlive the panel, or be replaced first.
    void setSurface(const Surface* surface);
    void refresh();
    void setModuleColour(ModuleColour colour);
    [[nodiscard]] ModuleColour moduleColour() const { return m_colour; }

    // The zoom the pixels are drawn at now, 0 while they are scaled down to fit, and the
    // square a pixel of the display lights at that zoom.
    [[nodiscard]] int zoom() const;
    [[nodiscard]] QRect pixelRect(int x, int y) const;

    // The rendering coloured as the module lights it, one image pixel a display pixel.
    [[nodiscard]] static QImage moduleImage(const Surface& surface, ModuleColour colour);

signals:
    // The user closed the panel.
    void closed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    [[nodiscard]] QSize displaySize() const;
    // The top left corner of the pixels drawn at `zoom`, centred in the panel.
    [[nodiscard]] QPoint origin(int zoom) const;

    const Surface* m_surface = nullptr;
    ModuleColour m_colour = ModuleColour::White;
};

} // namespace pixelcast
