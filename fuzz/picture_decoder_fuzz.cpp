// Bytes in, the loader's whole path out: content sniffing, the size checks, decoding and
// compositing, then the stretch onto the 128 x 64 surface. Every input must end in a
// picture or a pixelcast::Error; anything else is a finding.
#include "conversion/error.h"
#include "conversion/picture_loader.h"
#include "conversion/stretch.h"

#include <QCoreApplication>

#include <cstddef>
#include <cstdint>

namespace {
int g_argc = 1;
char g_name[] = "fuzz_picture_decoder";
char* g_argv[] = {g_name, nullptr};
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The image format plugins are found through the application object.
    static QCoreApplication app(g_argc, g_argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace pixelcast;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        const Surface picture = decodePicture(bytes, kFaceColour);
        Surface scaled(kSurfaceWidth, kSurfaceHeight, kFaceColour);
        stretchOnto(picture, scaled, kFaceColour);
    } catch (const Error&) {
        // A numbered error is a proper answer to a bad file.
    }
    return 0;
}
