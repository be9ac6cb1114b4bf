#include "byte_order.h"
#include "decoding.h"
#include "webp_avif_heif.h"

#include <algorithm>
#include <array>
#include <libheif/heif.h>
#include <memory>
#include <new>
#include <vector>

// The HEIF reader (HEIC photos), on libheif with its HEVC decoder. libheif decodes the
// primary picture, its grid of tiles put together, and applies the clean aperture,
// rotation and mirroring the file declares, as every reader must; the picture's declared
// size is checked against the limits before anything is decoded.
namespace pixelcast {

namespace {

constexpr const char* kFormat = "HEIF";

struct ContextDeleter {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleDeleter {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageDeleter {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct OptionsDeleter {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

void check(const heif_error& error)
{
    if (error.code == heif_error_Ok) {
        return;
    }
    if (error.subcode == heif_suberror_Security_limit_exceeded) {
        throw Error(ErrorCode::PictureTooLarge,
                    QStringLiteral("The HEIF picture is larger than this program reads (%1).")
                        .arg(QString::fromUtf8(error.message).trimmed()));
    }
    // libheif also tells a box that claims more memory than it can have so: the sizes
    // that matter were checked before, so the file is at fault.
    throw damagedPicture(kFormat, QString::fromUtf8(error.message).trimmed());
}

} // namespace

void decodeHeif(ByteSpan bytes, PictureSink& sink)
{
    if (!isHeif(bytes)) {
        throw notAPicture(kFormat);
    }
    const std::unique_ptr<heif_context, ContextDeleter> context(heif_context_alloc());
    if (!context) {
        throw std::bad_alloc();
    }
    heif_context_set_maximum_image_size_limit(context.get(), kMaxPictureSide);
    check(heif_context_read_from_memory_without_copy(context.get(), bytes.data(), bytes.size(),
                                                     nullptr));
    heif_image_handle* rawHandle = nullptr;
    check(heif_context_get_primary_image_handle(context.get(), &rawHandle));
    const std::unique_ptr<heif_image_handle, HandleDeleter> handle(rawHandle);
    // The size after the declared cropping and turning, as the picture is shown; the
    // coded size (ispe) is checked too, as that is what is decoded.
    const int codedWidth = heif_image_handle_get_ispe_width(handle.get());
    const int codedHeight = heif_image_handle_get_ispe_height(handle.get());
    checkPictureSize(kFormat, codedWidth, codedHeight);
    // A grid of tiles declares its size again, and libheif takes the pixels for that size
    // before decoding: held near the checked size, a larger grid is refused as too large.
    // The margin is for what coding pads: HEVC codes whole blocks of up to 64 pixels, and a
    // grid's last tiles reach past its picture.
    constexpr int kCodingMargin = 1024;
    heif_context_set_maximum_image_size_limit(
        context.get(),
        std::min(std::max(codedWidth, codedHeight) + kCodingMargin, kMaxPictureSide));

    const std::unique_ptr<heif_decoding_options, OptionsDeleter> options(
        heif_decoding_options_alloc());
    if (!options) {
        throw std::bad_alloc();
    }
    options->convert_hdr_to_8bit = 1;
    heif_image* rawImage = nullptr;
    check(heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                            heif_chroma_interleaved_RGBA, options.get()));
    const std::unique_ptr<heif_image, ImageDeleter> image(rawImage);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    checkPictureSize(kFormat, width, height);
    int stride = 0;
    const std::uint8_t* plane =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (plane == nullptr || stride < width * 4) {
        throw damagedPicture(kFormat, QStringLiteral("its decoded picture has no pixels"));
    }

    sink.begin(width, height);
    std::array<heif_error, 1> warnings{};
    if (heif_image_get_decoding_warnings(image.get(), 0, warnings.data(), 1) > 0) {
        sink.foundDamage(Damage::DataSkipped);
    }
    std::vector<Argb> row(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        if (!sink.wants(y)) {
            continue;
        }
        const std::uint8_t* in = plane + static_cast<std::ptrdiff_t>(y) * stride;
        for (std::size_t x = 0; x < row.size(); ++x, in += 4) {
            row[x] = argb(in[3], in[0], in[1], in[2]);
        }
        sink.row(y, row.data());
    }
}

} // namespace pixelcast
