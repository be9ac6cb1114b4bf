// Bytes in, the metafile helper's parsing and drawing out, in process: the header walk,
// libwmf's parser with the painter device's callbacks, and the painting itself. Any exit
// code is a proper answer; a crash, a sanitizer report or a hang is a finding.
#include "metafile/helper/draw_metafile.h"
#include "pixels/colorref.h"

#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <new>

namespace {
int g_argc = 1;
char g_name[] = "fuzz_metafile_drawing";
char* g_argv[] = {g_name, nullptr};
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(g_argc, g_argv); // text needs the font database
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QImage canvas;
    try {
        (void)pixelcast::wmf::drawMetafile(
            QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)),
            pixelcast::kFaceColour, canvas);
    } catch (const std::bad_alloc&) {
        // The helper reports this as running out of memory.
    }
    return 0;
}
