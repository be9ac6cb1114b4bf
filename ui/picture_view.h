#pragma once

#include "pixels/surface.h"

#include <QFrame>
#include <QImage>

namespace pixelcast {

// A picture view: a two-pixel sunken border around a drawing area that shows a surface.
// The surface is only read, at each repaint, so the view always shows the surface's
// current content; refresh() asks for a repaint after the surface was written.
// A surface of the drawing area's size is drawn pixel for pixel. Any other is drawn whole,
// centred and in its own proportions: a smaller one at the largest whole-number zoom that
// fits, its pixels kept sharp, a larger one scaled down to fit. The tooltip says which.
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
    // Where a picture of `picture`'s size is drawn inside `box`.
    [[nodiscard]] static QRect fitted(QSize picture, const QRect& box);
    // The picture brought to `size`: whole pixels repeated when it grows, averaged when it
    // shrinks.
    [[nodiscard]] static QImage scaledTo(const QImage& picture, QSize size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void describeScale();

    const Surface* m_surface = nullptr;
};

} // namespace pixelcast
