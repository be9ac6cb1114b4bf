#include "picture_formats.h"

#include "decoders/byte_order.h"
#include "decoders/clip_frames.h"
#include "decoders/gif_animation.h"
#include "decoders/photo_readers.h"
#include "decoders/picture_facts.h"
#include "decoders/webp_avif_heif.h"

#include <array>

namespace pixelcast {

namespace {

bool isJpeg(ByteSpan bytes)
{
    return startsWith(bytes, kJpegSignature);
}

bool isBmp(ByteSpan bytes)
{
    return startsWith(bytes, kBmpSignature);
}

bool isPng(ByteSpan bytes)
{
    return startsWith(bytes, kPngSignature);
}

// Icon and cursor directories: reserved 0, type 1 (icon) or 2 (cursor), entries > 0.
bool isIconDirectory(ByteSpan bytes, std::uint32_t type)
{
    return bytes.size() >= 6 && le16(bytes, 0) == 0 && le16(bytes, 2) == type && le16(bytes, 4) > 0;
}

bool isIcon(ByteSpan bytes)
{
    return isIconDirectory(bytes, 1);
}

bool isCursor(ByteSpan bytes)
{
    return isIconDirectory(bytes, 2);
}

void readJpeg(ByteSpan bytes, PictureSink& sink, QSize reduceFor)
{
    decodeJpeg(bytes, sink, reduceFor.width(), reduceFor.height());
}

// A reader that decodes at the picture's own size only.
template <void (*Decode)(ByteSpan, PictureSink&)>
void readWhole(ByteSpan bytes, PictureSink& sink, QSize /*reduceFor*/)
{
    Decode(bytes, sink);
}

// AVIF and HEIF through their library, loaded on first use (see photo_readers.h).
void readAvif(ByteSpan bytes, PictureSink& sink, QSize /*reduceFor*/)
{
    photoReaders().decodeAvif(bytes, sink);
}

AnimationInfo readAvifFrames(ByteSpan bytes, PictureSink& still, int lastFrame,
                             const FrameShown& shown)
{
    return photoReaders().decodeAvifFrames(bytes, still, lastFrame, shown);
}

int countAvifFramesOf(ByteSpan bytes)
{
    return photoReaders().countAvifFrames(bytes);
}

void readHeif(ByteSpan bytes, PictureSink& sink, QSize /*reduceFor*/)
{
    photoReaders().decodeHeif(bytes, sink);
}

// A video clip's readers, one set per container, reading through readClipFrames.
template <video::Container C> bool isClip(ByteSpan bytes)
{
    return video::containerOf(bytes) == C;
}

template <video::Container C>
AnimationInfo streamClip(const ByteReader& read, std::size_t size, PictureSink* still,
                         int firstFrame, int lastFrame, const FrameShown& shown)
{
    return readClipFrames(C, read, size, still, firstFrame, lastFrame, shown);
}

template <video::Container C> int countStreamedClip(const ByteReader& read, std::size_t size)
{
    return video::countClipFrames(
        [&read](std::uint64_t at, std::span<std::uint8_t> into) {
            return read(static_cast<std::size_t>(at), into);
        },
        C, size);
}

template <video::Container C>
void readClipStill(ByteSpan bytes, PictureSink& sink, QSize /*reduceFor*/)
{
    readClipFrames(C, readerOver(bytes), bytes.size(), &sink, 0, 0, [](const FrameCanvas&) {});
}

template <video::Container C>
AnimationInfo readClip(ByteSpan bytes, PictureSink& still, int lastFrame, const FrameShown& shown)
{
    return readClipFrames(C, readerOver(bytes), bytes.size(), &still, 0, lastFrame, shown);
}

template <video::Container C> int countClip(ByteSpan bytes)
{
    return countStreamedClip<C>(readerOver(bytes), bytes.size());
}

template <video::Container C>
AnimationInfo readClipFrom(ByteSpan bytes, int firstFrame, int lastFrame, const FrameShown& shown)
{
    return readClipFrames(C, readerOver(bytes), bytes.size(), nullptr, firstFrame, lastFrame,
                          shown);
}

template <video::Container C> RasterFormat clipFormat()
{
    return RasterFormat{
        video::containerName(C), isClip<C>, readClipStill<C>, readClip<C>,         countClip<C>,
        readClipFrom<C>,         nullptr,   streamClip<C>,    countStreamedClip<C>};
}

const std::array kFormats{
    RasterFormat{"GIF", isGifSignature, readWhole<decodeGif>, decodeGifFrames, countGifFrames,
                 decodeGifAnimation},
    RasterFormat{"JPEG", isJpeg, readJpeg, nullptr, nullptr, nullptr, jpegFrameSize},
    RasterFormat{"BMP", isBmp, readWhole<decodeBmp>},
    RasterFormat{"PNG", isPng, readWhole<decodePng>},
    RasterFormat{"ICO", isIcon, readWhole<decodeIcon>},
    RasterFormat{"CUR", isCursor, readWhole<decodeIcon>},
    RasterFormat{"WebP", isWebp, readWhole<decodeWebp>, decodeWebpFrames, countWebpFrames},
    // Before HEIF: an AVIF may carry a general HEIF brand (mif1) as its major brand.
    RasterFormat{"AVIF", isAvif, readAvif, readAvifFrames, countAvifFramesOf},
    RasterFormat{"HEIF", isHeif, readHeif},
    clipFormat<video::Container::Mp4>(),
    clipFormat<video::Container::Mov>(),
    clipFormat<video::Container::Matroska>(),
    clipFormat<video::Container::WebM>(),
    clipFormat<video::Container::Avi>(),
};

} // namespace

const RasterFormat* rasterFormatOf(ByteSpan bytes)
{
    for (const RasterFormat& format : kFormats) {
        if (format.matches(bytes)) {
            return &format;
        }
    }
    return nullptr;
}

const RasterFormat* rasterFormatOf(const QByteArray& bytes)
{
    return rasterFormatOf(byteSpan(bytes));
}

} // namespace pixelcast
