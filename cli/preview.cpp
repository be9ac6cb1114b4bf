#include "preview.h"

#include "conversion/error.h"

#include <QBuffer>

namespace pixelcast::cli {

QImage previewImage(const Surface& result)
{
    QImage image(result.width(), result.height(), QImage::Format_Mono);
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < result.height(); ++y) {
        for (int x = 0; x < result.width(); ++x) {
            image.setPixel(x, y, result.read(x, y) == kWhite ? 1U : 0U);
        }
    }
    return image;
}

QByteArray previewPng(const Surface& result)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!previewImage(result).save(&buffer, "PNG")) {
        throw Error(ErrorCode::PreviewNotWritten,
                    QStringLiteral("The preview picture could not be encoded as PNG."));
    }
    return bytes;
}

} // namespace pixelcast::cli
