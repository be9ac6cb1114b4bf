#pragma once

#include <QString>

#include <memory>

class QByteArray;
class QImage;
class QMimeData;
class QTemporaryDir;

namespace pixelcast {

// The one local file a drag carries, or empty when it carries anything else.
[[nodiscard]] QString draggedFile(const QMimeData* data);
// The local file the clipboard names: a file's URL, or its path or URL as text; else empty.
[[nodiscard]] QString clipboardFile(const QMimeData* data);

// Pasted image data kept as files, each paste "pasted.png" (or the encoded picture as it
// came, see keepEncoded) in a folder of its own (so
// that a paste never writes over the picture shown, which would reload it), all under one
// temporary folder removed with this object.
class PastedPictures {
public:
    PastedPictures();
    ~PastedPictures();
    PastedPictures(const PastedPictures&) = delete;
    PastedPictures& operator=(const PastedPictures&) = delete;

    // The file `image` was saved to. Throws Error(PreviewNotWritten) when it cannot be.
    [[nodiscard]] QString keep(const QImage& image);
    // The file an SVG document was saved to, as it is.
    [[nodiscard]] QString keepSvg(const QByteArray& document);
    // Pasted data of a picture format that Qt's image readers may not know (image/webp,
    // image/avif, image/heic, image/heif), kept as it came in "pasted.webp", ... for the
    // program's own readers; empty when `data` holds none of them.
    [[nodiscard]] QString keepEncoded(const QMimeData* data);
    // The folder every pasted picture is kept under, made on the first paste; empty before.
    [[nodiscard]] QString folder() const;

private:
    QString keepBytes(const QByteArray& bytes, const QString& name);

    std::unique_ptr<QTemporaryDir> m_folder;
    int m_pastes = 0;
};

} // namespace pixelcast
