#include "gif_support.h"

#include <algorithm>
#include <cstring>

namespace pixelcast::gif {

int readMemory(GifFileType* gif, GifByteType* to, int length)
{
    auto* in = static_cast<MemoryInput*>(gif->UserData);
    if (length <= 0) {
        return 0;
    }
    const std::size_t left = in->bytes.size() - in->at;
    if (left == 0) {
        if (in->mend && length == 1 && !in->terminatorGiven) {
            in->terminatorGiven = true;
            in->mended = true;
            *to = 0;
            return 1;
        }
        return 0;
    }
    const std::size_t count = std::min(left, static_cast<std::size_t>(length));
    std::memcpy(to, in->bytes.data() + in->at, count);
    in->at += count;
    if (in->mend && in->inFrameData && length == 1 && *to > left - 1) {
        *to = static_cast<GifByteType>(left - 1);
        in->mended = true;
    }
    return static_cast<int>(count);
}

void throwError(int code)
{
    // giflib leaves the code unset when the file ends before a frame's code size.
    const char* text = GifErrorString(code == D_GIF_SUCCEEDED ? D_GIF_ERR_READ_FAILED : code);
    throw damagedPicture("GIF", text != nullptr ? QString::fromLatin1(text)
                                                : QStringLiteral("giflib error %1").arg(code));
}

std::array<Argb, 256> frameColours(const ColorMapObject* table, int tableSize, int transparent)
{
    std::array<Argb, 256> colours{};
    for (int i = 0; i < 256; ++i) {
        Argb c = 0;
        if (table != nullptr) {
            if (i < tableSize && i < table->ColorCount) {
                const GifColorType& entry = table->Colors[i];
                c = argb(255, entry.Red, entry.Green, entry.Blue);
            } else {
                c = kPastTheTable;
            }
        } else if (i > tableSize) {
            c = kPastTheTable;
        }
        if (i == transparent) {
            c &= ~kOpaque;
        }
        if (transparent < 0) {
            c |= kOpaque;
        }
        colours[static_cast<std::size_t>(i)] = c;
    }
    return colours;
}

} // namespace pixelcast::gif
