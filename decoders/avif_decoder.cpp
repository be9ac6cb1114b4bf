#include "byte_order.h"
#include "decoding.h"
#include "picture_loader.h"
#include "webp_avif_heif.h"

#include <algorithm>
#include <avif/avif.h>
#include <memory>
#include <new>
#include <vector>

// The AVIF reader, on libavif (AV1 decoding by dav1d or libaom, as Debian builds it). A
// still is the primary picture; an image sequence plays its pictures with their durations.
// libavif hands the samples as coded: the irot and imir properties, which every reader
// must apply, are applied here (irot first, then imir, the order HEIF gives them).
namespace pixelcast {

namespace {

constexpr const char* kFormat = "AVIF";

struct DecoderDeleter {
    void operator()(avifDecoder* decoder) const { avifDecoderDestroy(decoder); }
};
using Decoder = std::unique_ptr<avifDecoder, DecoderDeleter>;

[[nodiscard]] QString why(avifResult result, const avifDecoder& decoder)
{
    const QString detail = QString::fromUtf8(decoder.diag.error).trimmed();
    const QString said = QString::fromUtf8(avifResultToString(result));
    return detail.isEmpty() ? said : said + QStringLiteral(": ") + detail;
}

[[noreturn]] void fail(avifResult result, const avifDecoder& decoder)
{
    if (result == AVIF_RESULT_OUT_OF_MEMORY) {
        throw std::bad_alloc();
    }
    throw damagedPicture(kFormat, why(result, decoder));
}

// The picture libavif decoded last, as 8-bit samples, turned and mirrored onto `canvas`;
// `width` and `height` become the canvas's.
void orientedPixels(const avifImage& image, std::vector<Argb>& samples, std::vector<Argb>& canvas,
                    int& width, int& height)
{
    const auto w = static_cast<std::size_t>(image.width);
    const auto h = static_cast<std::size_t>(image.height);
    samples.resize(w * h);
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, &image);
    rgb.format = AVIF_RGB_FORMAT_BGRA; // B, G, R, A in memory: Argb on a little-endian machine
    rgb.depth = 8;
    rgb.pixels = reinterpret_cast<std::uint8_t*>(samples.data());
    rgb.rowBytes = static_cast<std::uint32_t>(w * sizeof(Argb));
    const avifResult converted = avifImageYUVToRGB(&image, &rgb);
    if (converted != AVIF_RESULT_OK) {
        throw damagedPicture(kFormat, QString::fromUtf8(avifResultToString(converted)));
    }
    const unsigned angle =
        (image.transformFlags & AVIF_TRANSFORM_IROT) != 0 ? image.irot.angle % 4U : 0;
    const bool mirrors = (image.transformFlags & AVIF_TRANSFORM_IMIR) != 0;
    const bool swapped = angle % 2 == 1;
    const std::size_t ow = swapped ? h : w;
    const std::size_t oh = swapped ? w : h;
    width = static_cast<int>(ow);
    height = static_cast<int>(oh);
    if (angle == 0 && !mirrors) {
        canvas.swap(samples);
        return;
    }
    canvas.resize(ow * oh);
    for (std::size_t y = 0; y < oh; ++y) {
        for (std::size_t x = 0; x < ow; ++x) {
            // Mirroring comes after turning: undo it first to find the turned pixel.
            std::size_t tx = x;
            std::size_t ty = y;
            if (mirrors && image.imir.mode == 1) {
                tx = ow - 1 - x;
            } else if (mirrors) {
                ty = oh - 1 - y;
            }
            // irot's angle counts quarter turns anticlockwise.
            std::size_t sx = tx;
            std::size_t sy = ty;
            switch (angle) {
            case 1:
                sx = w - 1 - ty;
                sy = tx;
                break;
            case 2:
                sx = w - 1 - tx;
                sy = h - 1 - ty;
                break;
            case 3:
                sx = ty;
                sy = h - 1 - tx;
                break;
            default:
                break;
            }
            canvas[y * ow + x] = samples[sy * w + sx];
        }
    }
}

// The file in memory as libavif reads it. Reads past its end give what there is, so that
// a sequence cut short inside its media data parses, and its pictures before the cut decode
// (libavif's own memory reader refuses the whole file); the bound libavif allocates by is
// the largest picture file read.
struct MemoryInput {
    explicit MemoryInput(ByteSpan file) : bytes(file)
    {
        io.read = &MemoryInput::read;
        io.sizeHint = static_cast<std::uint64_t>(kMaxPictureFileBytes);
        io.persistent = AVIF_TRUE;
        io.data = this;
    }

    static avifResult read(avifIO* io, std::uint32_t /*flags*/, std::uint64_t offset,
                           std::size_t size, avifROData* out)
    {
        const ByteSpan file = static_cast<MemoryInput*>(io->data)->bytes;
        const std::size_t at =
            offset < file.size() ? static_cast<std::size_t>(offset) : file.size();
        out->data = file.data() + at;
        out->size = std::min(size, file.size() - at);
        return AVIF_RESULT_OK;
    }

    ByteSpan bytes;
    avifIO io{};
};

// A file parsed, its first picture not yet decoded.
struct Parsed {
    explicit Parsed(ByteSpan bytes) : input(bytes) {}
    MemoryInput input;
    Decoder decoder;
};

std::unique_ptr<Parsed> parsed(ByteSpan bytes)
{
    if (!isAvif(bytes)) {
        throw notAPicture(kFormat);
    }
    auto file = std::make_unique<Parsed>(bytes);
    file->decoder.reset(avifDecoderCreate());
    avifDecoder* decoder = file->decoder.get();
    if (decoder == nullptr) {
        throw std::bad_alloc();
    }
    decoder->maxThreads = 1;
    decoder->ignoreExif = AVIF_TRUE;
    decoder->ignoreXMP = AVIF_TRUE;
    // The declared size is checked here after parsing, to be refused as too large rather
    // than as damaged; the AV1 decoder is then held to the limits before it decodes.
    decoder->imageSizeLimit = AVIF_DEFAULT_IMAGE_SIZE_LIMIT;
    decoder->imageDimensionLimit = 0;
    decoder->imageCountLimit = static_cast<std::uint32_t>(kMaxFrames) + 1;
    // Files from encoders that leave out the pixi or an alpha picture's ispe property are
    // read, as browsers read them; a clean aperture that cannot be cut is refused.
    decoder->strictFlags = AVIF_STRICT_CLAP_VALID;
    avifDecoderSetIO(decoder, &file->input.io);
    const avifResult result = avifDecoderParse(decoder);
    if (result != AVIF_RESULT_OK) {
        fail(result, *decoder);
    }
    checkPictureSize(kFormat, decoder->image->width, decoder->image->height);
    if (decoder->imageCount > kMaxFrames) {
        throw Error(
            ErrorCode::PictureTooLarge,
            QStringLiteral("The AVIF image sequence has more than %1 pictures.").arg(kMaxFrames));
    }
    return file;
}

AnimationInfo readAvif(ByteSpan bytes, PictureSink* still, int lastFrame, const FrameShown& shown)
{
    const std::unique_ptr<Parsed> file = parsed(bytes);
    const Decoder& decoder = file->decoder;
    AnimationInfo info;
    // A sequence plays for ever, as browsers play one without an edit list.
    info.plays = decoder->imageCount > 1 ? 0 : 1;
    std::vector<Argb> samples;
    std::vector<Argb> canvas;
    std::int64_t composed = 0;
    int firstWidth = 0;
    int firstHeight = 0;
    while ((lastFrame < 0 || info.frames <= lastFrame) && info.frames < decoder->imageCount) {
        const avifResult result = avifDecoderNextImage(decoder.get());
        if (result != AVIF_RESULT_OK) {
            if (info.frames == 0) {
                fail(result, *decoder);
            }
            info.endedEarly = true;
            break;
        }
        const avifImage& image = *decoder->image;
        checkPictureSize(kFormat, image.width, image.height);
        composed += static_cast<std::int64_t>(image.width) * image.height;
        if (composed > kMaxComposedPixels) {
            throw Error(ErrorCode::PictureTooLarge,
                        QStringLiteral("The AVIF image sequence's pictures come to more than %1 "
                                       "million pixels; the most this program reads is %1 "
                                       "million.")
                            .arg(kMaxComposedPixels / 1'000'000));
        }
        int width = 0;
        int height = 0;
        orientedPixels(image, samples, canvas, width, height);
        // Every picture of a sequence has the first one's size; one that has not ends it.
        if (info.frames > 0 && (width != firstWidth || height != firstHeight)) {
            info.endedEarly = true;
            break;
        }
        firstWidth = width;
        firstHeight = height;
        const FrameCanvas frame{info.frames, playedDelayMs(decoder->imageTiming.duration * 1000.0),
                                width, height, canvas.data()};
        if (info.frames == 0 && still != nullptr) {
            deliverCanvas(frame, *still);
        }
        shown(frame);
        ++info.frames;
    }
    info.wholeFrames = info.endedEarly ? info.frames : 0;
    return info;
}

} // namespace

void decodeAvif(ByteSpan bytes, PictureSink& sink)
{
    (void)readAvif(bytes, &sink, 0, [](const FrameCanvas&) {});
}

AnimationInfo decodeAvifFrames(ByteSpan bytes, PictureSink& still, int lastFrame,
                               const FrameShown& shown)
{
    return readAvif(bytes, &still, lastFrame, shown);
}

int countAvifFrames(ByteSpan bytes)
{
    try {
        return parsed(bytes)->decoder->imageCount;
    } catch (const Error&) {
        return 0;
    }
}

} // namespace pixelcast
