#include "byte_order.h"
#include "decoding.h"
#include "webp_avif_heif.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>
#include <webp/decode.h>
#include <webp/demux.h>

// The WebP reader. A still picture goes through libwebp's incremental decoder, which tells
// how many rows it decoded from a file cut short; an animation through its demuxer and
// animation decoder, which compose each frame on the canvas (blending and disposal) as
// browsers do. An animation cut short is read up to its last whole frame.
namespace pixelcast {

namespace {

constexpr const char* kFormat = "WebP";
constexpr std::size_t kRiffHeaderSize = 12; // "RIFF", its size, "WEBP"

struct DemuxDeleter {
    void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
};
using Demuxer = std::unique_ptr<WebPDemuxer, DemuxDeleter>;

struct AnimDecoderDeleter {
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};
using AnimDecoder = std::unique_ptr<WebPAnimDecoder, AnimDecoderDeleter>;

struct IncrementalDeleter {
    void operator()(WebPIDecoder* decoder) const { WebPIDelete(decoder); }
};
using IncrementalDecoder = std::unique_ptr<WebPIDecoder, IncrementalDeleter>;

WebPBitstreamFeatures featuresOf(ByteSpan bytes)
{
    if (!isWebp(bytes)) {
        throw notAPicture(kFormat);
    }
    WebPBitstreamFeatures features{};
    const VP8StatusCode status = WebPGetFeatures(bytes.data(), bytes.size(), &features);
    if (status == VP8_STATUS_NOT_ENOUGH_DATA) {
        throw damagedPicture(kFormat, QStringLiteral("it ends inside its header"));
    }
    if (status != VP8_STATUS_OK) {
        throw notAPicture(kFormat);
    }
    return features;
}

// The picture of a still WebP on `canvas` (transparent where no row arrived); returns the
// rows that arrived from the top.
int decodeStill(ByteSpan bytes, const WebPBitstreamFeatures& features,
                std::unique_ptr<Argb[]>& canvas)
{
    checkPictureSize(kFormat, features.width, features.height);
    const auto width = static_cast<std::size_t>(features.width);
    const auto height = static_cast<std::size_t>(features.height);
    // Not cleared first: the decoder writes every row that arrives, and the rest is
    // cleared after it (a still's 48 MB at 12 megapixels would cost a pass of its own).
    canvas = std::make_unique_for_overwrite<Argb[]>(width * height);
    const IncrementalDecoder decoder(
        WebPINewRGB(MODE_BGRA, reinterpret_cast<std::uint8_t*>(canvas.get()),
                    width * height * sizeof(Argb), static_cast<int>(width * sizeof(Argb))));
    if (!decoder) {
        throw std::bad_alloc();
    }
    const VP8StatusCode status = WebPIUpdate(decoder.get(), bytes.data(), bytes.size());
    if (status == VP8_STATUS_OK) {
        return features.height;
    }
    int rows = 0;
    (void)WebPIDecGetRGB(decoder.get(), &rows, nullptr, nullptr, nullptr);
    if (status == VP8_STATUS_OUT_OF_MEMORY) {
        throw std::bad_alloc();
    }
    if (rows <= 0) {
        throw damagedPicture(kFormat, status == VP8_STATUS_SUSPENDED
                                          ? QStringLiteral("it ends before its first row")
                                          : QStringLiteral("its picture data is not valid"));
    }
    rows = std::min(rows, features.height);
    std::fill(canvas.get() + static_cast<std::size_t>(rows) * width, canvas.get() + width * height,
              Argb{0});
    return rows;
}

// Where the frame `iter` ends in `bytes`, its chunk's padding included.
std::size_t endOfFrame(ByteSpan bytes, const WebPIterator& iter)
{
    const auto end = static_cast<std::size_t>(iter.fragment.bytes - bytes.data()) +
                     iter.fragment.size + (iter.fragment.size & 1U);
    return std::min(end, bytes.size());
}

// An animation cut short: its bytes up to the end of its last whole frame, with the RIFF
// size set to match, so that the animation decoder reads the frames that arrived. Empty
// when not even the first frame arrived whole.
std::vector<std::uint8_t> wholeFramesOf(ByteSpan bytes)
{
    const WebPData data{bytes.data(), bytes.size()};
    WebPDemuxState state = WEBP_DEMUX_PARSING_HEADER;
    const Demuxer demux(WebPDemuxPartial(&data, &state));
    if (!demux || state < WEBP_DEMUX_PARSED_HEADER) {
        return {};
    }
    std::size_t end = 0;
    WebPIterator iter{};
    if (WebPDemuxGetFrame(demux.get(), 1, &iter) != 0) {
        do {
            if (iter.complete == 0) {
                break;
            }
            end = endOfFrame(bytes, iter);
        } while (WebPDemuxNextFrame(&iter) != 0);
        WebPDemuxReleaseIterator(&iter);
    }
    if (end <= kRiffHeaderSize) {
        return {};
    }
    std::vector<std::uint8_t> whole(bytes.begin(),
                                    bytes.begin() + static_cast<std::ptrdiff_t>(end));
    const auto riffSize = static_cast<std::uint32_t>(end - 8);
    for (std::size_t i = 0; i < 4; ++i) {
        whole[4 + i] = static_cast<std::uint8_t>(riffSize >> (8U * i));
    }
    return whole;
}

// Composes the frames of an animated WebP up to `lastFrame` (every one when negative).
AnimationInfo readAnimation(ByteSpan bytes, PictureSink* still, int lastFrame,
                            const FrameShown& shown)
{
    AnimationInfo info;
    WebPData data{bytes.data(), bytes.size()};
    std::vector<std::uint8_t> whole;
    {
        WebPDemuxState state = WEBP_DEMUX_PARSING_HEADER;
        const Demuxer demux(WebPDemuxPartial(&data, &state));
        if (!demux || state == WEBP_DEMUX_PARSE_ERROR) {
            throw damagedPicture(kFormat, QStringLiteral("its chunks are not valid"));
        }
        if (state < WEBP_DEMUX_PARSED_HEADER) {
            throw damagedPicture(kFormat, QStringLiteral("it ends inside its header"));
        }
        checkPictureSize(kFormat, WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH),
                         WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT));
        if (WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT) >
            static_cast<std::uint32_t>(kMaxFrames)) {
            throw Error(
                ErrorCode::PictureTooLarge,
                QStringLiteral("The WebP animation has more than %1 frames.").arg(kMaxFrames));
        }
        if (state != WEBP_DEMUX_DONE) {
            whole = wholeFramesOf(bytes);
            if (whole.empty()) {
                throw damagedPicture(kFormat, QStringLiteral("it ends inside its first frame"));
            }
            data = WebPData{whole.data(), whole.size()};
            info.endedEarly = true;
        }
    }
    WebPAnimDecoderOptions options;
    if (WebPAnimDecoderOptionsInit(&options) == 0) {
        throw std::bad_alloc();
    }
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const AnimDecoder decoder(WebPAnimDecoderNew(&data, &options));
    if (!decoder) {
        throw damagedPicture(kFormat, QStringLiteral("its animation is not valid"));
    }
    WebPAnimInfo anim{};
    if (WebPAnimDecoderGetInfo(decoder.get(), &anim) == 0) {
        throw damagedPicture(kFormat, QStringLiteral("its animation is not valid"));
    }
    info.plays = static_cast<int>(std::min<std::uint32_t>(anim.loop_count, 0xFFFF));
    const auto width = static_cast<int>(anim.canvas_width);
    const auto height = static_cast<int>(anim.canvas_height);
    const std::int64_t canvasPixels = static_cast<std::int64_t>(width) * height;
    std::int64_t composed = 0;
    int previousMs = 0;
    while ((lastFrame < 0 || info.frames <= lastFrame) &&
           WebPAnimDecoderHasMoreFrames(decoder.get()) != 0) {
        composed += canvasPixels;
        if (composed > kMaxComposedPixels) {
            throw Error(ErrorCode::PictureTooLarge,
                        QStringLiteral("The WebP animation's frames come to more than %1 "
                                       "million pixels; the most this program composes is %1 "
                                       "million.")
                            .arg(kMaxComposedPixels / 1'000'000));
        }
        std::uint8_t* pixels = nullptr;
        int timestampMs = 0;
        if (WebPAnimDecoderGetNext(decoder.get(), &pixels, &timestampMs) == 0) {
            if (info.frames == 0) {
                throw damagedPicture(kFormat, QStringLiteral("its first frame is not valid"));
            }
            info.endedEarly = true;
            break;
        }
        const FrameCanvas canvas{info.frames,
                                 playedDelayMs(static_cast<double>(timestampMs) - previousMs),
                                 width, height, reinterpret_cast<const Argb*>(pixels)};
        previousMs = timestampMs;
        if (info.frames == 0 && still != nullptr) {
            deliverCanvas(canvas, *still);
        }
        shown(canvas);
        ++info.frames;
    }
    // Frames that arrived were whole: a frame cut short is left out, not shown in part.
    info.wholeFrames = info.endedEarly ? info.frames : 0;
    return info;
}

AnimationInfo readWebp(ByteSpan bytes, PictureSink* still, int lastFrame, const FrameShown& shown)
{
    const WebPBitstreamFeatures features = featuresOf(bytes);
    if (features.has_animation != 0) {
        return readAnimation(bytes, still, lastFrame, shown);
    }
    std::unique_ptr<Argb[]> canvas;
    const int rows = decodeStill(bytes, features, canvas);
    const FrameCanvas frame{0, kShortDelayMs, features.width, features.height, canvas.get()};
    if (still != nullptr) {
        still->begin(frame.width, frame.height);
        for (int y = 0; y < rows; ++y) {
            if (still->wants(y)) {
                still->row(y, canvas.get() + static_cast<std::size_t>(y) *
                                                 static_cast<std::size_t>(frame.width));
            }
        }
    }
    shown(frame);
    AnimationInfo info;
    info.frames = 1;
    return info;
}

} // namespace

bool isWebp(ByteSpan bytes)
{
    return startsWith(bytes, "RIFF") && bytes.size() >= kRiffHeaderSize &&
           std::memcmp(bytes.data() + 8, "WEBP", 4) == 0;
}

void decodeWebp(ByteSpan bytes, PictureSink& sink)
{
    (void)readWebp(bytes, &sink, 0, [](const FrameCanvas&) {});
}

AnimationInfo decodeWebpFrames(ByteSpan bytes, PictureSink& still, int lastFrame,
                               const FrameShown& shown)
{
    return readWebp(bytes, &still, lastFrame, shown);
}

int countWebpFrames(ByteSpan bytes)
{
    if (!isWebp(bytes)) {
        return 0;
    }
    const WebPData data{bytes.data(), bytes.size()};
    WebPDemuxState state = WEBP_DEMUX_PARSING_HEADER;
    const Demuxer demux(WebPDemuxPartial(&data, &state));
    if (!demux || state < WEBP_DEMUX_PARSED_HEADER) {
        return 0;
    }
    return static_cast<int>(
        std::min<std::uint32_t>(WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT), kMaxFrames + 1));
}

} // namespace pixelcast
