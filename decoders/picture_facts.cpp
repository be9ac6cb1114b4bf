#include "picture_facts.h"

#include "gif_support.h"

#include <algorithm>
#include <cstring>
#include <gif_lib.h>
#include <memory>

namespace pixelcast {

int countGifFrames(std::span<const std::uint8_t> bytes)
{
    gif::MemoryInput input{bytes};
    int error = D_GIF_SUCCEEDED;
    const gif::Handle gif(DGifOpen(&input, gif::readMemory, &error));
    if (!gif) {
        return 0;
    }
    int frames = 0;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR || type == TERMINATE_RECORD_TYPE) {
            return frames;
        }
        GifByteType* block = nullptr;
        if (type == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif.get()) == GIF_ERROR) {
                return frames;
            }
            ++frames;
            int codeSize = 0;
            if (DGifGetCode(gif.get(), &codeSize, &block) == GIF_ERROR) {
                return frames;
            }
            while (block != nullptr) {
                if (DGifGetCodeNext(gif.get(), &block) == GIF_ERROR) {
                    return frames;
                }
            }
        } else if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) {
                return frames;
            }
            while (block != nullptr) {
                if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) {
                    return frames;
                }
            }
        } else {
            return frames;
        }
    }
}

std::optional<PictureSize> jpegFrameSize(std::span<const std::uint8_t> bytes)
{
    // Markers after the start of image: each 0xFF, a code and (but for the stand-alone
    // ones) a big-endian length that includes itself. The frame headers are C0-CF but for
    // C4 (Huffman tables), C8 (reserved) and CC (arithmetic conditioning).
    std::size_t at = 2;
    while (at + 4 <= bytes.size()) {
        if (bytes[at] != 0xFF) {
            return std::nullopt;
        }
        const std::uint8_t code = bytes[at + 1];
        if (code == 0xFF) {
            ++at; // fill byte
            continue;
        }
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
            at += 2;
            continue;
        }
        const std::size_t length = static_cast<std::size_t>(bytes[at + 2]) << 8U | bytes[at + 3];
        const bool frame =
            code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
        if (frame && at + 9 <= bytes.size()) {
            return PictureSize{bytes[at + 7] << 8 | bytes[at + 8],
                               bytes[at + 5] << 8 | bytes[at + 6]};
        }
        if (code == 0xDA || length < 2) {
            return std::nullopt;
        }
        at += 2 + length;
    }
    return std::nullopt;
}

} // namespace pixelcast
