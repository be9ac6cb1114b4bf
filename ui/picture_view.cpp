#include "picture_view.h"

#include <QPainter>

namespace pixelcast {

namespace {

[[nodiscard]] QColor toQColor(ColorRef c)
{
    return QColor(redOf(c), greenOf(c), blueOf(c));
}

} // namespace

PictureView::PictureView(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(kBorder);
    QPalette face = palette();
    face.setColor(QPalette::Window, toQColor(kFaceColour));
    setPalette(face);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::NoFocus);
}

void PictureView::setSurface(const Surface* surface)
{
    m_surface = surface;
    update();
}

void PictureView::refresh()
{
    update();
}

QImage PictureView::toImage(const Surface& surface)
{
    QImage image(surface.width(), surface.height(), QImage::Format_RGB32);
    for (int y = 0; y < surface.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < surface.width(); ++x) {
            const ColorRef c = surface.read(x, y);
            line[x] = qRgb(redOf(c), greenOf(c), blueOf(c));
        }
    }
    return image;
}

void PictureView::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    if (m_surface == nullptr || m_surface->isEmpty()) {
        return;
    }
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setClipRect(area);
    painter.drawImage(area.topLeft(), toImage(*m_surface));
}

} // namespace pixelcast
