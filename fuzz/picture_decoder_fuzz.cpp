// Bytes in, the conversion's two roads for a still picture out: content sniffing, the size
// checks, decoding and compositing, then the stretch onto the display, once through the
// whole picture (the window's road, which keeps it for the source view) and once stretched
// as decoded (the converter's). Every input must end in a picture or a pixelcast::Error,
// and both roads in the same one; anything else is a finding. The picture is rendered and
// packed with the settings the input's last bytes choose (fuzz_settings.h).
#include "errors/error.h"
#include "fuzz/fuzz_settings.h"
#include "pipeline/conversion.h"
#include "pipeline/loaded_picture.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace pixelcast;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const ConversionSettings settings = fuzz::settingsFrom(data, size);
    LoadedPicture window(bytes);
    int windowError = 0;
    try {
        Surface source;
        (void)window.loadStill(settings.options, settings.display.size, source);
    } catch (const Error& e) {
        // A numbered error is a proper answer to a bad file.
        windowError = e.number();
    }
    ConvertedPicture direct;
    int directError = 0;
    try {
        direct = convertBytes(bytes, settings);
    } catch (const Error& e) {
        directError = e.number();
    }
    if (directError != windowError) {
        std::abort();
    }
    if (windowError == 0) {
        const ConvertedFrame frame = window.convert(0, settings);
        if (!(frame.result == direct.frames.front().result) ||
            !(frame.array == direct.frames.front().array)) {
            std::abort();
        }
    }
    return 0;
}
