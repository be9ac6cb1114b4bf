#include "output/png_encoder.h"

#include "errors/error.h"

#include <QString>

#include <array>
#include <csetjmp>
#include <cstring>
#include <png.h>

namespace pixelcast {

namespace {

// The largest side libpng is asked to write.
constexpr int kMaxPreviewSide = 32767;

void keepMessage(std::array<char, 160>& to, const char* message)
{
    std::strncpy(to.data(), message != nullptr ? message : "libpng error", to.size() - 1);
    to.back() = '\0';
}

extern "C" {
static void onPngWarning(png_structp /*png*/, png_const_charp /*message*/) {}
}

} // namespace

namespace {

struct PngWriteJob {
    std::vector<std::uint8_t>* out = nullptr;
    std::array<char, 160> message{};
};

extern "C" {
[[noreturn]] static void onPngWriteError(png_structp png, png_const_charp message)
{
    keepMessage(static_cast<PngWriteJob*>(png_get_error_ptr(png))->message, message);
    png_longjmp(png, 1);
}

static void writePngBytes(png_structp png, png_bytep data, std::size_t length)
{
    auto* job = static_cast<PngWriteJob*>(png_get_io_ptr(png));
    bool failed = false;
    try {
        job->out->insert(job->out->end(), data, data + length);
    } catch (...) {
        failed = true;
    }
    // Raised outside the try block: libpng's frames are left by longjmp, not by unwinding.
    if (failed) {
        png_error(png, "out of memory");
    }
}

static void flushPngBytes(png_structp /*png*/) {}
}

bool writeRgb(PngWriteJob& job, png_structp png, png_infop info, int width, int height,
              const std::uint8_t* rgb)
{
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_write_fn(png, &job, writePngBytes, flushPngBytes);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
        png_write_row(png, rgb + static_cast<std::size_t>(y) * rowBytes);
    }
    png_write_end(png, nullptr);
    return true;
}

} // namespace

std::vector<std::uint8_t> encodePngRgb(int width, int height, std::span<const std::uint8_t> rgb)
{
    if (width <= 0 || height <= 0 || width > kMaxPreviewSide || height > kMaxPreviewSide ||
        rgb.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3) {
        throw Error(ErrorCode::PreviewNotWritten,
                    QStringLiteral("A preview of %1 x %2 pixels cannot be made from %3 bytes.")
                        .arg(width)
                        .arg(height)
                        .arg(rgb.size()));
    }
    std::vector<std::uint8_t> out;
    PngWriteJob job;
    job.out = &out;
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, onPngWriteError, onPngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    const bool written = info != nullptr && writeRgb(job, png, info, width, height, rgb.data());
    png_destroy_write_struct(&png, &info);
    if (!written) {
        throw Error(ErrorCode::PreviewNotWritten,
                    QStringLiteral("The preview could not be encoded as PNG (%1).")
                        .arg(QString::fromLatin1(job.message[0] != '\0' ? job.message.data()
                                                                        : "out of memory")));
    }
    return out;
}

} // namespace pixelcast
