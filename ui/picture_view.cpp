#include "picture_view.h"

#include <QPainter>

#include <algorithm>

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
    refresh();
}

void PictureView::refresh()
{
    describeScale();
    update();
}

void PictureView::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    describeScale();
}

void PictureView::describeScale()
{
    QString text;
    if (m_surface != nullptr && !m_surface->isEmpty()) {
        const QSize size(m_surface->width(), m_surface->height());
        const QRect shown = fitted(size, contentsRect());
        if (shown.size() != size) {
            text = QStringLiteral(u"%1 × %2 pixels, shown at %3 %")
                       .arg(size.width())
                       .arg(size.height())
                       .arg(qRound(100.0 * shown.width() / size.width()));
        }
    }
    if (toolTip() != text) {
        setToolTip(text);
    }
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

QRect PictureView::fitted(QSize picture, const QRect& box)
{
    const int w = picture.width();
    const int h = picture.height();
    if (w <= 0 || h <= 0 || box.isEmpty()) {
        return {box.topLeft(), QSize(0, 0)};
    }
    QSize size;
    if (w <= box.width() && h <= box.height()) {
        const int zoom = std::min(box.width() / w, box.height() / h);
        size = QSize(w * zoom, h * zoom);
    } else if (static_cast<qint64>(box.width()) * h <= static_cast<qint64>(box.height()) * w) {
        // The width limits: the height follows, rounded, never below one pixel.
        const auto height = (static_cast<qint64>(h) * box.width() + w / 2) / w;
        size = QSize(box.width(), std::max(1, static_cast<int>(height)));
    } else {
        const auto width = (static_cast<qint64>(w) * box.height() + h / 2) / h;
        size = QSize(std::max(1, static_cast<int>(width)), box.height());
    }
    return {box.left() + (box.width() - size.width()) / 2,
            box.top() + (box.height() - size.height()) / 2, size.width(), size.height()};
}

QImage PictureView::scaledTo(const QImage& picture, QSize size)
{
    if (picture.size() == size) {
        return picture;
    }
    const bool grows = size.width() >= picture.width() && size.height() >= picture.height();
    return picture.scaled(size, Qt::IgnoreAspectRatio,
                          grows ? Qt::FastTransformation : Qt::SmoothTransformation);
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
    const QImage image = toImage(*m_surface);
    const QRect shown = fitted(image.size(), area);
    painter.drawImage(shown.topLeft(), scaledTo(image, shown.size()));
}

} // namespace pixelcast
