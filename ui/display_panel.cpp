#include "display_panel.h"

#include "display/display_size.h"
#include "picture_view.h"

#include <QCloseEvent>
#include <QPainter>

#include <algorithm>

namespace pixelcast {

namespace {

// The gap between pixels: none while they are small, then about a sixth of a pixel.
[[nodiscard]] int gapAt(int zoom)
{
    return zoom < 4 ? 0 : std::max(1, zoom / 6);
}

// The zoom a new panel opens at for the 128 x 64 module.
constexpr int kOpeningZoom = 5;

} // namespace

DisplayPanel::DisplayPanel(QWidget* owner) : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("displayPanel"));
    setWindowTitle(QStringLiteral("Display panel"));
    QPalette dark = palette();
    dark.setColor(QPalette::Window, QColor::fromRgb(kPanelColour));
    setPalette(dark);
    setAutoFillBackground(true);
    setMinimumSize(2 * kMargin + 64, 2 * kMargin + 32);
    resize(2 * kMargin + kOpeningZoom * kDisplayWidth, 2 * kMargin + kOpeningZoom * kDisplayHeight);
}

void DisplayPanel::setSurface(const Surface* surface)
{
    m_surface = surface;
    update();
}

void DisplayPanel::refresh()
{
    update();
}

void DisplayPanel::setModuleColour(ModuleColour colour)
{
    m_colour = colour;
    update();
}

QSize DisplayPanel::displaySize() const
{
    return m_surface == nullptr ? QSize() : QSize(m_surface->width(), m_surface->height());
}

int DisplayPanel::zoom() const
{
    const QSize size = displaySize();
    if (size.isEmpty()) {
        return 0;
    }
    return std::min((width() - 2 * kMargin) / size.width(),
                    (height() - 2 * kMargin) / size.height());
}

QPoint DisplayPanel::origin(int zoom) const
{
    const QSize size = displaySize();
    return {(width() - size.width() * zoom) / 2, (height() - size.height() * zoom) / 2};
}

QRect DisplayPanel::pixelRect(int x, int y) const
{
    const int z = zoom();
    if (z < 1) {
        return {};
    }
    const int side = z - gapAt(z);
    const QPoint corner = origin(z) + QPoint(x * z, y * z);
    return {corner, QSize(side, side)};
}

QImage DisplayPanel::moduleImage(const Surface& surface, ModuleColour colour)
{
    QImage image(surface.width(), surface.height(), QImage::Format_RGB32);
    for (int y = 0; y < surface.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const QRgb lit = litColour(colour, y);
        for (int x = 0; x < surface.width(); ++x) {
            line[x] = surface.read(x, y) == kWhite ? lit : kModuleDark;
        }
    }
    return image;
}

void DisplayPanel::paintEvent(QPaintEvent* /*event*/)
{
    if (m_surface == nullptr || m_surface->isEmpty()) {
        return;
    }
    QPainter painter(this);
    const QImage image = moduleImage(*m_surface, m_colour);
    const int z = zoom();
    if (z < 1) {
        // Too big for the window even at one screen pixel a pixel.
        const QRect box = rect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
        const QRect shown = PictureView::fitted(image.size(), box);
        painter.drawImage(shown.topLeft(), PictureView::scaledTo(image, shown.size()));
        return;
    }
    // Drawn as one image: a fill per pixel is slow for the big displays.
    const int side = z - gapAt(z);
    QImage cells(image.width() * z, image.height() * z, QImage::Format_RGB32);
    cells.fill(QColor::fromRgb(kPanelColour));
    for (int y = 0; y < image.height(); ++y) {
        const auto* source = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int row = y * z; row < y * z + side; ++row) {
            auto* line = reinterpret_cast<QRgb*>(cells.scanLine(row));
            for (int x = 0; x < image.width(); ++x) {
                std::fill_n(line + static_cast<std::ptrdiff_t>(x) * z, side, source[x]);
            }
        }
    }
    painter.drawImage(origin(z), cells);
}

void DisplayPanel::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    emit closed();
}

} // namespace pixelcast
