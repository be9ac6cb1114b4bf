#include "decoders/byte_order.h"
#include "decoding.h"
#include "gif_animation.h"
#include "gif_support.h"
#include "picture_facts.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <gif_lib.h>
#include <memory>
#include <vector>

// The one GIF reader, with giflib's record-by-record interface over one in-memory input.
// It reads the first frame as a still picture (decodeGif), composes every frame of an
// animation (decodeGifAnimation), or both in one pass (decodeGifFrames).
//
// The still is a picture of the logical screen's size. Its colours follow what Qt's GIF
// reader made of the same file, the reader this program used before: the screen outside
// the frame takes the transparent colour if the frame has one, else the background colour;
// indices past the colour table read as white (transparent when the frame has a
// transparent index); with no colour table at all they read as black. A file cut short in
// the first frame gives the rows it holds (see gif::MemoryInput's mending).
namespace pixelcast {

namespace {

using gif::frameColours;
using gif::kOpaque;
using GifHandle = gif::Handle;
constexpr Argb kTransparent = 0;
constexpr std::size_t kHeaderSize = 13; // signature and logical screen descriptor
// Interlaced rows arrive in four passes: every 8th row from 0, every 8th from 4, every 4th
// from 2, every 2nd from 1.
constexpr std::array<int, 4> kInterlaceStart{0, 4, 2, 1};
constexpr std::array<int, 4> kInterlaceStep{8, 8, 4, 2};

// The first frame and where it lands on the picture.
struct Frame {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool interlaced = false;
    // The part inside the picture: columns [visibleLeft, visibleRight) and frame rows
    // [0, visibleRows).
    int visibleLeft = 0;
    int visibleRight = 0;
    int visibleRows = 0;
};

class GifReader {
public:
    // With a `canvas` of width x height, every row of the frame that lies on it is drawn
    // there too, as the animation's composer draws it.
    GifReader(GifFileType* gif, PictureSink& sink, int width, int height, const Frame& frame,
              const std::array<Argb, 256>& colours, Argb background, Argb* canvas)
        : m_gif(gif), m_sink(sink), m_width(width), m_height(height), m_frame(frame),
          m_colours(colours), m_background(background), m_canvas(canvas),
          m_row(static_cast<std::size_t>(width), background),
          m_line(static_cast<std::size_t>(std::max(frame.width, 1)))
    {
    }

    // False when the file failed before every row of the frame on the picture arrived.
    bool read()
    {
        if (m_frame.visibleRows <= 0 || m_frame.visibleRight <= m_frame.visibleLeft) {
            begin();
            deliverBackground(m_frame.top, m_height);
            return true;
        }
        return m_frame.interlaced ? readInterlaced() : readSequential();
    }

    // Reads the rest of the frame's rows, those off the picture, as the composer reads every
    // row before the next frame; false when one fails.
    bool drain()
    {
        for (; m_linesRead < m_frame.height; ++m_linesRead) {
            if (DGifGetLine(m_gif, m_line.data(), m_frame.width) == GIF_ERROR) {
                return false;
            }
        }
        return true;
    }

private:
    void begin()
    {
        m_sink.begin(m_width, m_height);
        deliverBackground(0, m_frame.top);
    }

    void deliverBackground(int from, int to)
    {
        for (int y = std::max(from, 0); y < std::min(to, m_height); ++y) {
            if (m_sink.wants(y)) {
                m_sink.row(y, m_row.data());
            }
        }
    }

    // Reads the next row of the frame, in the file's order, into m_line. When the file fails
    // before any row of the frame arrived, the picture is the screen above the frame; with
    // nothing above it, nothing arrived at all and the file is damaged.
    bool nextLine(bool anyRowYet)
    {
        if (DGifGetLine(m_gif, m_line.data(), m_frame.width) == GIF_OK) {
            ++m_linesRead;
            return true;
        }
        if (!anyRowYet) {
            if (m_frame.top == 0) {
                gif::throwError(m_gif->Error);
            }
            begin();
        }
        return false;
    }

    // Row r of the frame, just read into m_line, drawn through its transparent colour.
    void drawOnCanvas(int r)
    {
        if (m_canvas == nullptr) {
            return;
        }
        Argb* out = m_canvas +
                    static_cast<std::size_t>(m_frame.top + r) * static_cast<std::size_t>(m_width);
        for (int x = m_frame.visibleLeft; x < m_frame.visibleRight; ++x) {
            const Argb c = m_colours[m_line[static_cast<std::size_t>(x - m_frame.left)]];
            if (alphaOf(c) != 0) {
                out[x] = c;
            }
        }
    }

    void deliverFrameRow(int y, const GifPixelType* indices)
    {
        if (!m_sink.wants(y)) {
            return;
        }
        Argb* out = m_row.data() + m_frame.visibleLeft;
        const int count = m_frame.visibleRight - m_frame.visibleLeft;
        for (int x = 0; x < count; ++x) {
            out[x] = m_colours[indices[x]];
        }
        m_sink.row(y, m_row.data());
    }

    bool readSequential()
    {
        for (int r = 0; r < m_frame.visibleRows; ++r) {
            if (!nextLine(r > 0)) {
                return false;
            }
            if (r == 0) {
                begin();
            }
            drawOnCanvas(r);
            deliverFrameRow(m_frame.top + r, m_line.data());
        }
        finish();
        return true;
    }

    // Interlaced rows arrive in four passes (every 8th row from 0, every 8th from 4, every
    // 4th from 2, every 2nd from 1); they are gathered and then delivered top down. Reading
    // stops once every row inside the picture has arrived.
    bool readInterlaced()
    {
        const auto visibleWidth =
            static_cast<std::size_t>(m_frame.visibleRight - m_frame.visibleLeft);
        std::vector<GifPixelType> rows(visibleWidth *
                                       static_cast<std::size_t>(m_frame.visibleRows));
        std::vector<bool> arrived(static_cast<std::size_t>(m_frame.visibleRows));
        int arrivedCount = 0;
        int linesRead = 0;
        bool complete = true;
        for (std::size_t pass = 0;
             pass < kInterlaceStart.size() && arrivedCount < m_frame.visibleRows; ++pass) {
            for (int r = kInterlaceStart[pass];
                 r < m_frame.height && arrivedCount < m_frame.visibleRows;
                 r += kInterlaceStep[pass]) {
                if (!nextLine(linesRead > 0)) {
                    complete = false;
                    break;
                }
                ++linesRead;
                if (r < m_frame.visibleRows) {
                    drawOnCanvas(r);
                    std::copy_n(m_line.begin(), visibleWidth,
                                rows.begin() + static_cast<std::ptrdiff_t>(
                                                   visibleWidth * static_cast<std::size_t>(r)));
                    arrived[static_cast<std::size_t>(r)] = true;
                    ++arrivedCount;
                }
            }
            if (!complete) {
                break;
            }
        }
        if (linesRead == 0) {
            return false; // nextLine has delivered the screen above the frame
        }
        begin();
        for (int r = 0; r < m_frame.visibleRows; ++r) {
            if (arrived[static_cast<std::size_t>(r)]) {
                deliverFrameRow(m_frame.top + r,
                                rows.data() + visibleWidth * static_cast<std::size_t>(r));
            }
        }
        if (arrivedCount == m_frame.visibleRows) {
            finish();
            return true;
        }
        return false;
    }

    // The rows below the frame, once the whole frame has arrived.
    void finish()
    {
        std::fill(m_row.begin() + m_frame.visibleLeft, m_row.begin() + m_frame.visibleRight,
                  m_background);
        deliverBackground(m_frame.top + m_frame.visibleRows, m_height);
    }

    GifFileType* m_gif = nullptr;
    PictureSink& m_sink;
    int m_width = 0;
    int m_height = 0;
    Frame m_frame;
    std::array<Argb, 256> m_colours{};
    Argb m_background = 0;
    Argb* m_canvas = nullptr;
    std::vector<Argb> m_row;
    std::vector<GifPixelType> m_line;
    int m_linesRead = 0;
};

// What the graphic control block before a frame says about it.
struct FrameControl {
    int transparent = -1;
    int disposal = 0;
    int delayMs = kShortDelayMs;
};

FrameControl readControl(const GifByteType* block)
{
    FrameControl control;
    control.transparent = (block[1] & 0x01U) != 0 ? block[4] : -1;
    control.disposal = (block[1] >> 2U) & 0x07U;
    const auto centiseconds = static_cast<int>(le16({block, 4}, 2));
    control.delayMs = centiseconds <= 1 ? kShortDelayMs : centiseconds * 10;
    return control;
}

class Composer {
public:
    // With `still`, the first frame is read as decodeGif reads it, into `still`; with
    // `composing` too, the frames are composed as well, the first from the rows `still` got.
    Composer(GifFileType* gif, gif::MemoryInput& input, int globalTableSize, PictureSink* still,
             bool composing, int firstFrame, int lastFrame, const FrameShown& shown)
        : m_gif(gif), m_input(input), m_globalTableSize(globalTableSize), m_still(still),
          m_composing(composing), m_firstFrame(firstFrame), m_lastFrame(lastFrame), m_shown(shown)
    {
    }

    AnimationInfo run()
    {
        FrameControl control;
        while (m_lastFrame < 0 || m_info.frames <= m_lastFrame) {
            GifRecordType type = UNDEFINED_RECORD_TYPE;
            // A failure here lies between records: a missing trailer or stray bytes.
            if (DGifGetRecordType(m_gif, &type) == GIF_ERROR) {
                return ended(false);
            }
            if (type == TERMINATE_RECORD_TYPE) {
                if (m_still != nullptr && m_info.frames == 0) {
                    throw damagedPicture("GIF", QStringLiteral("it holds no picture"));
                }
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
    AnimationInfo ended(bool early)
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
        startScreen(desc);
        m_canvas.assign(canvasSize(), backgroundOf(desc, colours, transparent));
    }

    void startScreen(const GifImageDesc& desc)
    {
        m_width = m_gif->SWidth > 0 ? m_gif->SWidth : desc.Left + desc.Width;
        m_height = m_gif->SHeight > 0 ? m_gif->SHeight : desc.Top + desc.Height;
        checkPictureSize("GIF", m_width, m_height);
    }

    // What lies around the first frame: its transparent colour, else the background colour
    // of the global table, else black.
    [[nodiscard]] Argb backgroundOf(const GifImageDesc& desc, const std::array<Argb, 256>& colours,
                                    int transparent) const
    {
        if (transparent >= 0) {
            return colours[static_cast<std::size_t>(transparent)];
        }
        if (m_gif->SColorMap != nullptr) {
            const auto index = static_cast<std::size_t>(m_gif->SBackGroundColor);
            return desc.ColorMap == nullptr
                       ? colours[index]
                       : frameColours(m_gif->SColorMap, m_globalTableSize, -1)[index];
        }
        return kOpaque;
    }

    // The first frame as decodeGif reads it, into the still's sink, and on the canvas when
    // composing. LZW data cannot be skipped: every row read is decoded across the frame's
    // whole width, the part past the screen included, and an interlaced frame is read to
    // its last pass, so a frame far larger than its screen would cost far more than the
    // largest picture. The composer goes on only when the frame arrived whole without the
    // still's mending of a cut file, as it would have read it.
    bool firstFrame(const FrameControl& control, const std::array<Argb, 256>& colours)
    {
        const GifImageDesc& desc = m_gif->Image;
        startScreen(desc);
        Frame frame;
        frame.left = desc.Left;
        frame.top = desc.Top;
        frame.width = desc.Width;
        frame.height = desc.Height;
        frame.interlaced = desc.Interlace;
        frame.visibleLeft = std::min(frame.left, m_width);
        frame.visibleRight = std::min(frame.left + frame.width, m_width);
        frame.visibleRows = std::max(0, std::min(frame.top + frame.height, m_height) - frame.top);
        const bool anyVisible = frame.visibleRows > 0 && frame.visibleRight > frame.visibleLeft;
        const std::int64_t decodedPixels =
            anyVisible ? static_cast<std::int64_t>(frame.width) *
                             (frame.interlaced ? frame.height : frame.visibleRows)
                       : 0;
        if (decodedPixels > kMaxPicturePixels) {
            throw Error(ErrorCode::PictureTooLarge,
                        QStringLiteral("The first frame of the GIF picture declares %1 x %2 "
                                       "pixels; the largest this program reads is %3 million "
                                       "pixels.")
                            .arg(frame.width)
                            .arg(frame.height)
                            .arg(kMaxPicturePixels / 1'000'000));
        }
        const Argb background = backgroundOf(desc, colours, control.transparent);
        // Mended already: the composer's own read of the descriptor would have failed.
        const bool mendedBefore = m_input.mended;
        if (m_composing) {
            m_canvas.assign(canvasSize(), background);
            if (control.disposal == 3) {
                m_saved = m_canvas;
            }
        }
        m_input.inFrameData = true;
        GifReader reader(m_gif, *m_still, m_width, m_height, frame, colours, background,
                         m_composing ? m_canvas.data() : nullptr);
        bool complete = reader.read();
        m_input.inFrameData = false;
        if (!m_composing) {
            ++m_info.frames;
            return complete;
        }
        // Shown as soon as its rows are in: whatever the composer finds next, the first
        // frame is there.
        show(control);
        if (mendedBefore) {
            gif::throwError(D_GIF_ERR_READ_FAILED);
        }
        charge(desc);
        complete = complete && !m_input.mended;
        m_input.mend = false;
        complete = complete && reader.drain();
        return disposeOf(desc, control, complete);
    }

    [[nodiscard]] std::size_t canvasSize() const
    {
        return static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height);
    }

    // Charges a frame's work against the file's allowance before any of it is done.
    void charge(const GifImageDesc& desc)
    {
        if (m_info.frames >= kMaxFrames) {
            throw Error(
                ErrorCode::PictureTooLarge,
                QStringLiteral("The GIF animation has more than %1 frames.").arg(kMaxFrames));
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
        if (m_info.frames == 0 && m_still != nullptr) {
            return firstFrame(control, colours);
        }
        if (m_info.frames == 0) {
            startCanvas(desc, colours, control.transparent);
        }
        charge(desc);

        if (control.disposal == 3) {
            m_saved = m_canvas;
        }
        const bool complete = draw(desc, colours);
        show(control);
        return disposeOf(desc, control, complete);
    }

    // The canvas of the frame drawn now handed on.
    void show(const FrameControl& control)
    {
        if (m_info.frames >= m_firstFrame) {
            m_shown(
                FrameCanvas{m_info.frames, control.delayMs, m_width, m_height, m_canvas.data()});
        }
    }

    // Counts the frame drawn (`complete` when it arrived whole) and disposes of it.
    bool disposeOf(const GifImageDesc& desc, const FrameControl& control, bool complete)
    {
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
        const std::size_t passes = desc.Interlace ? kInterlaceStart.size() : 1;
        for (std::size_t pass = 0; pass < passes; ++pass) {
            const int start = desc.Interlace ? kInterlaceStart[pass] : 0;
            const int step = desc.Interlace ? kInterlaceStep[pass] : 1;
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
    gif::MemoryInput& m_input;
    int m_globalTableSize;
    PictureSink* m_still;
    bool m_composing;
    int m_firstFrame;
    int m_lastFrame;
    const FrameShown& m_shown;
    AnimationInfo m_info;
    int m_wholeFrames = 0;
    int m_width = 0;
    int m_height = 0;
    std::int64_t m_composed = 0;
    std::vector<Argb> m_canvas;
    std::vector<Argb> m_saved; // the one canvas a "restore previous" frame puts back
    std::vector<GifPixelType> m_line;
};

// Opens `bytes` and runs the composer over them (see Composer).
AnimationInfo readGif(std::span<const std::uint8_t> bytes, PictureSink* still, bool composing,
                      int firstFrame, int lastFrame, const FrameShown& shown)
{
    if (bytes.size() < kHeaderSize || !isGifSignature(bytes)) {
        throw notAPicture("GIF");
    }
    gif::MemoryInput input{bytes, still != nullptr};
    int error = D_GIF_SUCCEEDED;
    const GifHandle gif(DGifOpen(&input, gif::readMemory, &error));
    if (!gif) {
        gif::throwError(error);
    }
    if (gif->SWidth > 0 && gif->SHeight > 0) {
        checkPictureSize("GIF", gif->SWidth, gif->SHeight);
    }
    // The declared size of the global table, kept even when the table itself is left out.
    const int globalTableSize = 2 << (bytes[10] & 0x07U);
    Composer composer(gif.get(), input, globalTableSize, still, composing, firstFrame, lastFrame,
                      shown);
    return composer.run();
}

} // namespace

void decodeGif(std::span<const std::uint8_t> bytes, PictureSink& sink)
{
    (void)readGif(bytes, &sink, false, 1, 0, {});
}

AnimationInfo decodeGifAnimation(std::span<const std::uint8_t> bytes, int firstFrame, int lastFrame,
                                 const FrameShown& shown)
{
    return readGif(bytes, nullptr, true, firstFrame, lastFrame, shown);
}

AnimationInfo decodeGifFrames(std::span<const std::uint8_t> bytes, PictureSink& still,
                              int lastFrame, const FrameShown& shown)
{
    return readGif(bytes, &still, true, 0, lastFrame, shown);
}

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

} // namespace pixelcast
