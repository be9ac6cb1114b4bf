#include "decoders/byte_order.h"
#include "decoding.h"
#include "gif_support.h"
#include "picture_facts.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <gif_lib.h>
#include <memory>
#include <vector>

// The first frame of a GIF, read with giflib's record-by-record interface, on a picture of
// the logical screen's size. The colours follow what Qt's GIF reader made of the same file,
// the reader this program used before: the screen outside the frame takes the transparent
// colour if the frame has one, else the background colour; indices past the colour table
// read as white (transparent when the frame has a transparent index); with no colour table
// at all they read as black.
namespace pixelcast {

namespace {

using gif::frameColours;
using gif::kOpaque;
using GifHandle = gif::Handle;

// The bytes giflib reads from. While a frame's data is read (`inFrameData`), every read of
// one byte is the length of the next data block: a block the file cuts short is given the
// length of what is left of it, so the rows its bytes hold still decode. Past the end, a
// read of one byte gets one zero byte, once: the terminator of the data blocks, so a file
// cut just before it still gives its last row. Any other read past the end comes back
// short and giflib reports the file cut.
struct MemoryInput {
    std::span<const std::uint8_t> bytes;
    std::size_t at = 0;
    bool inFrameData = false;
    bool terminatorGiven = false;
};

extern "C" {
static int readGifInput(GifFileType* gif, GifByteType* to, int length)
{
    auto* in = static_cast<MemoryInput*>(gif->UserData);
    if (length <= 0) {
        return 0;
    }
    const std::size_t left = in->bytes.size() - in->at;
    if (left == 0) {
        if (length == 1 && !in->terminatorGiven) {
            in->terminatorGiven = true;
            *to = 0;
            return 1;
        }
        return 0;
    }
    const std::size_t count = std::min(left, static_cast<std::size_t>(length));
    std::memcpy(to, in->bytes.data() + in->at, count);
    in->at += count;
    if (in->inFrameData && length == 1 && *to > left - 1) {
        *to = static_cast<GifByteType>(left - 1);
    }
    return static_cast<int>(count);
}
}

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
    GifReader(GifFileType* gif, PictureSink& sink, int width, int height, const Frame& frame,
              const std::array<Argb, 256>& colours, Argb background)
        : m_gif(gif), m_sink(sink), m_width(width), m_height(height), m_frame(frame),
          m_colours(colours), m_background(background),
          m_row(static_cast<std::size_t>(width), background),
          m_line(static_cast<std::size_t>(std::max(frame.width, 1)))
    {
    }

    void read()
    {
        if (m_frame.visibleRows <= 0 || m_frame.visibleRight <= m_frame.visibleLeft) {
            begin();
            deliverBackground(m_frame.top, m_height);
        } else if (m_frame.interlaced) {
            readInterlaced();
        } else {
            readSequential();
        }
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

    void readSequential()
    {
        for (int r = 0; r < m_frame.visibleRows; ++r) {
            if (!nextLine(r > 0)) {
                return;
            }
            if (r == 0) {
                begin();
            }
            deliverFrameRow(m_frame.top + r, m_line.data());
        }
        finish();
    }

    // Interlaced rows arrive in four passes (every 8th row from 0, every 8th from 4, every
    // 4th from 2, every 2nd from 1); they are gathered and then delivered top down. Reading
    // stops once every row inside the picture has arrived.
    void readInterlaced()
    {
        const auto visibleWidth =
            static_cast<std::size_t>(m_frame.visibleRight - m_frame.visibleLeft);
        std::vector<GifPixelType> rows(visibleWidth *
                                       static_cast<std::size_t>(m_frame.visibleRows));
        std::vector<bool> arrived(static_cast<std::size_t>(m_frame.visibleRows));
        int arrivedCount = 0;
        int linesRead = 0;
        constexpr std::array<int, 4> kStart{0, 4, 2, 1};
        constexpr std::array<int, 4> kStep{8, 8, 4, 2};
        bool complete = true;
        for (std::size_t pass = 0; pass < kStart.size() && arrivedCount < m_frame.visibleRows;
             ++pass) {
            for (int r = kStart[pass]; r < m_frame.height && arrivedCount < m_frame.visibleRows;
                 r += kStep[pass]) {
                if (!nextLine(linesRead > 0)) {
                    complete = false;
                    break;
                }
                ++linesRead;
                if (r < m_frame.visibleRows) {
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
            return; // nextLine has delivered the screen above the frame
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
        }
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
    std::vector<Argb> m_row;
    std::vector<GifPixelType> m_line;
};

} // namespace

void decodeGif(std::span<const std::uint8_t> bytes, PictureSink& sink)
{
    constexpr std::size_t kHeaderSize = 13; // signature and logical screen descriptor
    if (bytes.size() < kHeaderSize || !isGifSignature(bytes)) {
        throw notAPicture("GIF");
    }
    MemoryInput input{bytes};
    int error = D_GIF_SUCCEEDED;
    const GifHandle gif(DGifOpen(&input, readGifInput, &error));
    if (!gif) {
        gif::throwError(error);
    }
    int width = gif->SWidth;
    int height = gif->SHeight;
    if (width > 0 && height > 0) {
        checkPictureSize("GIF", width, height);
    }
    // The declared size of the global table, kept even when the table itself is left out.
    const int globalTableSize = 2 << (bytes[10] & 0x07U);

    // Extensions up to the first frame; the last graphic control block before it says which
    // index is transparent.
    int transparent = -1;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) {
            gif::throwError(gif->Error);
        }
        if (type == IMAGE_DESC_RECORD_TYPE) {
            break;
        }
        if (type == TERMINATE_RECORD_TYPE) {
            throw damagedPicture("GIF", QStringLiteral("it holds no picture"));
        }
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) {
            gif::throwError(gif->Error);
        }
        // block[0] is the block's length, the control block's fields follow it.
        if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
            transparent = (block[1] & 0x01U) != 0 ? block[4] : -1;
        }
        while (block != nullptr) {
            if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) {
                gif::throwError(gif->Error);
            }
        }
    }
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR) {
        gif::throwError(gif->Error);
    }

    const GifImageDesc& desc = gif->Image;
    Frame frame;
    frame.left = desc.Left;
    frame.top = desc.Top;
    frame.width = desc.Width;
    frame.height = desc.Height;
    frame.interlaced = desc.Interlace;
    // A screen with a side of zero takes the first frame's extent.
    if (width <= 0) {
        width = frame.left + frame.width;
    }
    if (height <= 0) {
        height = frame.top + frame.height;
    }
    checkPictureSize("GIF", width, height);
    frame.visibleLeft = std::min(frame.left, width);
    frame.visibleRight = std::min(frame.left + frame.width, width);
    frame.visibleRows = std::max(0, std::min(frame.top + frame.height, height) - frame.top);
    // LZW data cannot be skipped: every row read is decoded across the frame's whole width,
    // the part past the screen included, and an interlaced frame is read to its last pass.
    // A frame far larger than its screen would cost far more than the largest picture.
    const bool anyVisible = frame.visibleRows > 0 && frame.visibleRight > frame.visibleLeft;
    const std::int64_t decodedPixels =
        anyVisible ? static_cast<std::int64_t>(frame.width) *
                         (frame.interlaced ? frame.height : frame.visibleRows)
                   : 0;
    if (decodedPixels > kMaxPicturePixels) {
        throw Error(ErrorCode::PictureTooLarge,
                    QStringLiteral("The first frame of the GIF picture declares %1 x %2 pixels; "
                                   "the largest this program reads is %3 million pixels.")
                        .arg(frame.width)
                        .arg(frame.height)
                        .arg(kMaxPicturePixels / 1'000'000));
    }

    const ColorMapObject* table = desc.ColorMap != nullptr ? desc.ColorMap : gif->SColorMap;
    const int tableSize = desc.ColorMap != nullptr ? desc.ColorMap->ColorCount : globalTableSize;
    const std::array<Argb, 256> colours = frameColours(table, tableSize, transparent);

    // The screen outside the frame: the transparent colour, else the background colour of
    // the global table, else black.
    Argb background = kOpaque;
    if (transparent >= 0) {
        background = colours[static_cast<std::size_t>(transparent)];
    } else if (gif->SColorMap != nullptr) {
        const auto index = static_cast<std::size_t>(gif->SBackGroundColor);
        background = desc.ColorMap == nullptr
                         ? colours[index]
                         : frameColours(gif->SColorMap, globalTableSize, -1)[index];
    }

    input.inFrameData = true;
    GifReader reader(gif.get(), sink, width, height, frame, colours, background);
    reader.read();
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
