// Bytes in, the conversion's two roads out: content sniffing, the size checks, decoding and
// compositing, then the stretch onto the display, once through the whole picture (the
// window's road) and once stretched as decoded (the converter's). Every input must end in
// a picture or a pixelcast::Error, and both roads in the same one; anything else is a
// finding. The picture that comes is rendered and packed as the converter does, with the
// settings the input's last bytes choose (fuzz_settings.h).
#include "decoders/picture_loader.h"
#include "errors/error.h"
#include "fuzz/fuzz_settings.h"
#include "pipeline/conversion.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace pixelcast;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const ConversionSettings settings = fuzz::settingsFrom(data, size);
    const DisplaySize display = settings.display.size;
    Surface whole(display.width, display.height, kBlack);
    int wholeError = 0;
    try {
        // As the window loads a file: decoded whole on the transparency colour, reduced for
        // the display as the turned picture lies on it, then stretched.
        const RenderOptions& options = settings.options;
        const bool quarterTurn =
            options.rotation == Rotation::Quarter || options.rotation == Rotation::ThreeQuarters;
        const Surface picture = decodePicture(bytes, transparencyColour(options),
                                              quarterTurn ? QSize(display.height, display.width)
                                                          : QSize(display.width, display.height));
        restretch(picture, whole, options);
    } catch (const Error& e) {
        // A numbered error is a proper answer to a bad file.
        wholeError = e.number();
    }
    ConvertedPicture direct;
    int directError = 0;
    try {
        direct = convertBytes(bytes, settings);
    } catch (const Error& e) {
        directError = e.number();
    }
    if (directError != wholeError) {
        std::abort();
    }
    if (wholeError == 0) {
        const ConvertedFrame frame = convertFrame(whole, settings);
        if (!(frame.result == direct.frames.front().result) ||
            !(frame.array == direct.frames.front().array)) {
            std::abort();
        }
    }
    return 0;
}
