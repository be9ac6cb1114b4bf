// Bytes in, the loader's two paths out: content sniffing, the size checks, decoding and
// compositing, then the stretch onto the 128 x 64 surface, once through the whole picture
// (the window) and once stretched as decoded (the converter). Every input must end in a
// picture or a pixelcast::Error, and both paths in the same one; anything else is a
// finding.
#include "decoders/picture_loader.h"
#include "errors/error.h"
#include "pixels/stretch.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace pixelcast;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    Surface whole(kSurfaceWidth, kSurfaceHeight, kBlack);
    int wholeError = 0;
    try {
        const Surface picture =
            decodePicture(bytes, kFaceColour, QSize(kSurfaceWidth, kSurfaceHeight));
        stretchOnto(picture, whole, kFaceColour);
    } catch (const Error& e) {
        // A numbered error is a proper answer to a bad file.
        wholeError = e.number();
    }
    Surface direct(kSurfaceWidth, kSurfaceHeight, kBlack);
    int directError = 0;
    try {
        decodePictureOnto(bytes, direct, kFaceColour);
    } catch (const Error& e) {
        directError = e.number();
    }
    if (directError != wholeError || (wholeError == 0 && !(direct == whole))) {
        std::abort();
    }
    return 0;
}
