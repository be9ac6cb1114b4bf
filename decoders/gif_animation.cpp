#include "gif_animation.h"

#include "decoders/byte_order.h"
#include "gif_support.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <gif_lib.h>
#include <memory>
#include <vector>

namespace pixelcast {

namespace {

using gif::frameColours;
using gif::kOpaque;
using GifHandle = gif::Handle;
constexpr Argb kTransparent = 0;

// What the graphic control block before a frame says about it.
struct FrameControl {
    int transparent = -1;
    int disposal = 0;
    int delayMs = kShortGifDelayMs;
};

FrameControl readControl(const GifByteType* block)
{
    FrameControl control;
    control.transparent = (block[1] & 0x01U) != 0 ? block[4] : -1;
    control.disposal = (block[1] >> 2U) & 0x07U;
    const auto centiseconds = static_cast<int>(le16({block, 4}, 2));
    control.delayMs = centiseconds <= 1 ? kShortGifDelayMs : centiseconds * 10;
    return control;
}

class Composer {
public:
    Composer(GifFileType* gif, int globalTableSize, int firstFrame, int lastFrame,
             const std::function<void(const GifCanvas&)>& shown)
        : m_gif(gif), m_globalTableSize(globalTableSize), m_firstFrame(firstFrame),
          m_lastFrame(lastFrame), m_shown(shown)
    {
    }

    GifAnimationInfo run()
    {
        FrameControl control;
        while (m_lastFrame < 0 || m_info.frames <= m_lastFrame) {
            GifRecordType type = UNDEFINED_RECORD_TYPE;
            // A failure here lies between records: a missing trailer or stray bytes.
            if (DGifGetRecordType(m_gif, &type) == GIF_ERROR) {
                return ended(false);
            }
            if (type == TERMINATE_RECORD_TYPE) {
                return ended(false);
            }
            if (type == IMAGE_DESC_RECORD_TYPE) {
                if (!frame(control)) {
                    return ended(true);
                }
                control = FrameControl{};
                continue;
            }
            if (!extension(control)) {
                return ended(true);
            }
        }
        return m_info;
    }

private:
    // The end of the animation; `early` when a frame, or the blocks before one, were cut
    // short or damaged.
    GifAnimationInfo ended(bool early)
    {
        if (m_info.frames == 0) {
            gif::throwError(m_gif->Error);
        }
        m_info.endedEarly = early;
        m_info.wholeFrames = early ? m_wholeFrames : 0;
        return m_info;
    }

    bool extension(FrameControl& control)
    {
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(m_gif, &code, &block) == GIF_ERROR) {
            return false;
        }
        if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
            control = readControl(block);
        }
        const bool netscape = code == APPLICATION_EXT_FUNC_CODE && block != nullptr &&
                              block[0] == 11 && std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0;
        while (block != nullptr) {
            if (DGifGetExtensionNext(m_gif, &block) == GIF_ERROR) {
                return false;
            }
            if (netscape && block != nullptr && block[0] >= 3 && block[1] == 1) {
                const auto count = static_cast<int>(le16({block, 4}, 2));
                m_info.plays = count == 0 ? 0 : std::min(count + 1, 0xFFFF);
            }
        }
        return true;
    }

    // The first frame fixes the canvas: the screen's size (a side of zero takes the
    // frame's extent) and what lies around the frame.
    void startCanvas(const GifImageDesc& desc, const std::array<Argb, 256>& colours,
                     int transparent)
    {
        m_width = m_gif->SWidth > 0 ? m_gif->SWidth : desc.Left + desc.Width;
        m_height = m_gif->SHeight > 0 ? m_gif->SHeight : desc.Top + desc.Height;
        checkPictureSize("GIF", m_width, m_height);
        Argb background = kOpaque;
        if (transparent >= 0) {
            background = colours[static_cast<std::size_t>(transparent)];
        } else if (m_gif->SColorMap != nullptr) {
            const auto index = static_cast<std::size_t>(m_gif->SBackGroundColor);
            background = desc.ColorMap == nullptr
                             ? colours[index]
                             : frameColours(m_gif->SColorMap, m_globalTableSize, -1)[index];
        }
        m_canvas.assign(canvasSize(), background);
    }

    [[nodiscard]] std::size_t canvasSize() const
    {
        return static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height);
    }

    // Charges a frame's work against the file's allowance before any of it is done.
    void charge(const GifImageDesc& desc)
    {
        if (m_info.frames >= kMaxGifFrames) {
            throw Error(
                ErrorCode::PictureTooLarge,
                QStringLiteral("The GIF animation has more than %1 frames.").arg(kMaxGifFrames));
        }
        // A frame of width zero still costs a read per row.
        const std::int64_t framePixels =
            static_cast<std::int64_t>(std::max(desc.Width, 1)) * desc.Height;
        if (framePixels > kMaxPicturePixels) {
            throw Error(ErrorCode::PictureTooLarge,
                        QStringLiteral("Frame %1 of the GIF animation declares %2 x %3 pixels; "
                                       "the largest this program reads is %4 million pixels.")
                            .arg(m_info.frames + 1)
                            .arg(desc.Width)
                            .arg(desc.Height)
                            .arg(kMaxPicturePixels / 1'000'000));
        }
        m_composed += framePixels + static_cast<std::int64_t>(canvasSize());
        if (m_composed > kMaxGifComposedPixels) {
            throw Error(ErrorCode::PictureTooLarge,
                        QStringLiteral("The GIF animation's frames come to more than %1 "
                                       "million pixels; the most this program composes is %1 "
                                       "million.")
                            .arg(kMaxGifComposedPixels / 1'000'000));
        }
    }

    // Reads, draws, shows and disposes of one frame. False when its data ends early: the
    // rows that arrived are shown and the animation ends.
    bool frame(const FrameControl& control)
    {
        if (DGifGetImageDesc(m_gif) == GIF_ERROR) {
            return false;
        }
        const GifImageDesc& desc = m_gif->Image;
        const ColorMapObject* table = desc.ColorMap != nullptr ? desc.ColorMap : m_gif->SColorMap;
        const int tableSize =
            desc.ColorMap != nullptr ? desc.ColorMap->ColorCount : m_globalTableSize;
        const std::array<Argb, 256> colours = frameColours(table, tableSize, control.transparent);
        if (m_info.frames == 0) {
            startCanvas(desc, colours, control.transparent);
        }
        charge(desc);

        if (control.disposal == 3) {
            m_saved = m_canvas;
        }
        const bool complete = draw(desc, colours);
        if (m_info.frames >= m_firstFrame) {
            m_shown(GifCanvas{m_info.frames, control.delayMs, m_width, m_height, m_canvas.data()});
        }
        ++m_info.frames;
        if (complete) {
            m_wholeFrames = m_info.frames;
        }
        if (control.disposal == 2) {
            clear(desc);
        } else if (control.disposal == 3) {
            std::swap(m_canvas, m_saved);
        }
        return complete;
    }

    // The frame's rows in the file's order (four passes when interlaced), each drawn where
    // it lies on the canvas; pixels of a transparent colour leave the canvas as it is.
    bool draw(const GifImageDesc& desc, const std::array<Argb, 256>& colours)
    {
        m_line.resize(static_cast<std::size_t>(std::max(desc.Width, 1)));
        const int left = std::min(desc.Left, m_width);
        const int right = std::min(desc.Left + desc.Width, m_width);
        constexpr std::array<int, 4> kStart{0, 4, 2, 1};
        constexpr std::array<int, 4> kStep{8, 8, 4, 2};
        const std::size_t passes = desc.Interlace ? kStart.size() : 1;
        for (std::size_t pass = 0; pass < passes; ++pass) {
            const int start = desc.Interlace ? kStart[pass] : 0;
            const int step = desc.Interlace ? kStep[pass] : 1;
            for (int r = start; r < desc.Height; r += step) {
                if (DGifGetLine(m_gif, m_line.data(), desc.Width) == GIF_ERROR) {
                    return false;
                }
                const int y = desc.Top + r;
                if (y >= m_height || left >= right) {
                    continue;
                }
                Argb* out = m_canvas.data() + static_cast<std::size_t>(y) * canvasWidth();
                for (int x = left; x < right; ++x) {
                    const Argb c = colours[m_line[static_cast<std::size_t>(x - desc.Left)]];
                    if (alphaOf(c) != 0) {
                        out[x] = c;
                    }
                }
            }
        }
        return true;
    }

    void clear(const GifImageDesc& desc)
    {
        const int right = std::min(desc.Left + desc.Width, m_width);
        const int bottom = std::min(desc.Top + desc.Height, m_height);
        for (int y = desc.Top; y < bottom; ++y) {
            Argb* row = m_canvas.data() + static_cast<std::size_t>(y) * canvasWidth();
            std::fill(row + std::min(desc.Left, right), row + right, kTransparent);
        }
    }

    [[nodiscard]] std::size_t canvasWidth() const { return static_cast<std::size_t>(m_width); }

    GifFileType* m_gif;
    int m_globalTableSize;
    int m_firstFrame;
    int m_lastFrame;
    const std::function<void(const GifCanvas&)>& m_shown;
    GifAnimationInfo m_info;
    int m_wholeFrames = 0;
    int m_width = 0;
    int m_height = 0;
    std::int64_t m_composed = 0;
    std::vector<Argb> m_canvas;
    std::vector<Argb> m_saved; // the one canvas a "restore previous" frame puts back
    std::vector<GifPixelType> m_line;
};

} // namespace

GifAnimationInfo decodeGifAnimation(std::span<const std::uint8_t> bytes, int firstFrame,
                                    int lastFrame,
                                    const std::function<void(const GifCanvas&)>& shown)
{
    constexpr std::size_t kHeaderSize = 13;
    if (bytes.size() < kHeaderSize || !isGifSignature(bytes)) {
        throw notAPicture("GIF");
    }
    gif::MemoryInput input{bytes};
    int error = D_GIF_SUCCEEDED;
    const GifHandle gif(DGifOpen(&input, gif::readMemory, &error));
    if (!gif) {
        gif::throwError(error);
    }
    if (gif->SWidth > 0 && gif->SHeight > 0) {
        checkPictureSize("GIF", gif->SWidth, gif->SHeight);
    }
    const int globalTableSize = 2 << (bytes[10] & 0x07U);
    Composer composer(gif.get(), globalTableSize, firstFrame, lastFrame, shown);
    return composer.run();
}

void deliverCanvas(const GifCanvas& canvas, PictureSink& sink)
{
    sink.begin(canvas.width, canvas.height);
    for (int y = 0; y < canvas.height; ++y) {
        if (sink.wants(y)) {
            sink.row(y, canvas.pixels +
                            static_cast<std::size_t>(y) * static_cast<std::size_t>(canvas.width));
        }
    }
}

} // namespace pixelcast
