#pragma once

#include "pixels/surface.h"

#include <QFrame>
#include <QImage>

namespace pixelcast {

// A picture view: a two-pixel sunken border around a drawing area that shows a surface.
// The surface is only read, at each repaint, so the view always shows the surface's
// current content; refresh() asks for a repaint after the surface was written.
class PictureView : public QFrame {
    Q_OBJECT

public:
    static constexpr int kBorder = 2;

    explicit PictureView(QWidget* parent = nullptr);

    // The surface shown; it must outlive the view, or be replaced first.
    void setSurface(const Surface* surface);
    void refresh();

    // The surface's pixels as an image of its size.
    [[nodiscard]] static QImage toImage(const Surface& surface);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const Surface* m_surface = nullptr;
};

} // namespace pixelcast
