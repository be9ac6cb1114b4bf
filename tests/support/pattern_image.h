#pragma once

#include <QImage>

namespace pixelcast::test {

// A picture whose every pixel differs from its neighbours in a way that names its place:
// red steps with x, green with y, blue with both. A pixel taken from the wrong place, or a
// row or column lost, shows.
inline QImage patternImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.setPixel(x, y, qRgb((x * 7) & 0xFF, (y * 13) & 0xFF, (x * y + 5) & 0xFF));
        }
    }
    return image;
}

} // namespace pixelcast::test
