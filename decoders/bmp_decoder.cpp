#include "decoders/bmp_decoder.h"

#include "decoders/byte_order.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

// BMP files and the bitmaps inside icons share one reader of the device-independent
// bitmap (DIB): its info header, its colour masks or palette, and its rows.
namespace pixelcast {

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::size_t kFileHeaderBytes = 14;

// Info header sizes: OS/2 1.x (16-bit sizes, three-byte palette entries), Windows 3
// (BITMAPINFOHEADER), its V2 and V3 extensions holding three or four colour masks, OS/2 2.x,
// and Windows V4 and V5.
constexpr std::uint32_t kCoreHeader = 12;
constexpr std::uint32_t kInfoHeader = 40;
constexpr std::uint32_t kV2Header = 52;
constexpr std::uint32_t kV3Header = 56;
constexpr std::uint32_t kOs2Header = 64;
constexpr std::uint32_t kV4Header = 108;
constexpr std::uint32_t kV5Header = 124;

constexpr std::uint32_t kUncompressed = 0;
constexpr std::uint32_t kRunLength8 = 1;
constexpr std::uint32_t kRunLength4 = 2;
constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kAlphaBitFields = 6;

constexpr Argb kOpaque = 0xFF000000U;
constexpr Argb kOpaqueWhite = 0xFFFFFFFFU;

// One channel of a bit-fields pixel. Its bits are widened to 0..255 by repeating them
// (5 bits abcde become abcdeabc), so the largest value is full intensity; a field wider
// than 8 bits keeps its top 8; a mask of zero reads as 0.
class Field {
public:
    Field() = default;
    explicit Field(std::uint32_t mask) : m_mask(mask)
    {
        if (mask == 0) {
            return;
        }
        const int low = std::countr_zero(mask);
        const int high = 31 - std::countl_zero(mask);
        m_shift = static_cast<unsigned>(std::max(low, high - 7));
        const unsigned width = static_cast<unsigned>(high) - m_shift + 1U;
        for (unsigned v = 0; v < 256U; ++v) {
            m_widened[v] = widen(v & ((1U << width) - 1U), width);
        }
    }
    [[nodiscard]] Argb operator()(std::uint32_t pixel) const
    {
        return m_widened[(pixel & m_mask) >> m_shift];
    }
    [[nodiscard]] std::uint32_t mask() const { return m_mask; }

private:
    [[nodiscard]] static std::uint8_t widen(unsigned value, unsigned width)
    {
        unsigned wide = value << (8U - width);
        for (unsigned filled = width; filled < 8U; filled *= 2U) {
            wide |= wide >> filled;
        }
        return static_cast<std::uint8_t>(wide);
    }

    std::uint32_t m_mask = 0;
    unsigned m_shift = 0;
    std::array<std::uint8_t, 256> m_widened{};
};

// How a stored row turns into pixels.
enum class PixelKind {
    Indexed,  // 1, 4 or 8 bits through the palette
    Fields16, // 16 bits through bit fields (5-5-5 when uncompressed)
    Bgr24,    // blue, green, red
    Bgrx32,   // blue, green, red, unused
    Bgra32,   // blue, green, red, alpha
    Fields32, // 32 bits through bit fields
};

// Everything the info header and the tables after it say about the pixels.
struct Dib {
    const char* format = "BMP";
    std::uint32_t headerBytes = 0;
    std::int64_t width = 0;
    std::int64_t declaredHeight = 0; // negative: stored top down
    unsigned bits = 0;
    std::uint32_t compression = kUncompressed;
    PixelKind kind = PixelKind::Indexed;
    // Indices the palette does not reach read as transparent, as Qt's indexed images do;
    // a one-bit picture with a palette of one colour shows white for its ones.
    std::array<Argb, 256> palette{};
    std::uint32_t colours = 0; // the palette's entries
    Field red;
    Field green;
    Field blue;
    Field alpha;               // mask zero: opaque
    std::size_t tablesEnd = 0; // where the masks or palette after the header end

    [[nodiscard]] bool runLength() const
    {
        return compression == kRunLength8 || compression == kRunLength4;
    }
};

[[nodiscard]] bool knownHeaderSize(std::uint32_t size)
{
    return size == kCoreHeader || size == kInfoHeader || size == kV2Header || size == kV3Header ||
           size == kOs2Header || size == kV4Header || size == kV5Header;
}

// The colour masks of a bit-fields picture: those the header holds (three in V2, four from
// V3 on; OS/2 2.x holds other fields there), the rest straight after the header.
void readMasks(Bytes bytes, std::size_t at, Dib& dib)
{
    const unsigned inHeader = dib.headerBytes == kV2Header                                   ? 3U
                              : dib.headerBytes == kV3Header || dib.headerBytes >= kV4Header ? 4U
                                                                                             : 0U;
    const unsigned needed = dib.compression == kAlphaBitFields ? 4U : 3U;
    const unsigned after = needed > inHeader ? needed - inHeader : 0U;
    dib.tablesEnd = at + dib.headerBytes + std::size_t{4} * after;
    if (dib.tablesEnd > bytes.size()) {
        throw damagedPicture(dib.format, QStringLiteral("the file ends inside its colour masks"));
    }
    std::array<std::uint32_t, 4> masks{};
    for (unsigned i = 0; i < std::max(needed, inHeader); ++i) {
        masks[i] = i < inHeader
                       ? le32(bytes, at + 40U + std::size_t{4} * i)
                       : le32(bytes, at + dib.headerBytes + std::size_t{4} * (i - inHeader));
    }
    dib.red = Field(masks[0]);
    dib.green = Field(masks[1]);
    dib.blue = Field(masks[2]);
    dib.alpha = Field(masks[3]);
    const bool standard = masks[0] == 0xFF0000U && masks[1] == 0xFF00U && masks[2] == 0xFFU;
    if (dib.bits == 16) {
        dib.kind = PixelKind::Fields16;
    } else if (standard && masks[3] == 0) {
        dib.kind = PixelKind::Bgrx32;
    } else if (standard && masks[3] == 0xFF000000U) {
        dib.kind = PixelKind::Bgra32;
    } else {
        dib.kind = PixelKind::Fields32;
    }
}

// The palette after the header. The core header declares no palette size: its palette
// runs from the header to the pixels (`pixelsAt`, 0 when not known), at most one entry for
// each pixel value.
void readPalette(Bytes bytes, std::size_t at, std::uint32_t coloursUsed, std::size_t pixelsAt,
                 Dib& dib)
{
    const bool core = dib.headerBytes == kCoreHeader;
    const std::size_t entryBytes = core ? 3U : 4U;
    const std::size_t start = at + dib.headerBytes;
    std::uint32_t colours = core || coloursUsed == 0 ? 1U << dib.bits : coloursUsed;
    if (core && pixelsAt >= start + entryBytes) {
        colours = static_cast<std::uint32_t>(
            std::min<std::size_t>(colours, (pixelsAt - start) / entryBytes));
    }
    if (colours > 256U) {
        throw damagedPicture(dib.format,
                             QStringLiteral("it declares a palette of %1 colours").arg(colours));
    }
    dib.tablesEnd = start + colours * entryBytes;
    if (dib.tablesEnd > bytes.size()) {
        throw damagedPicture(dib.format,
                             QStringLiteral("its palette runs past the end of the file"));
    }
    dib.colours = colours;
    dib.palette.fill(0);
    if (dib.bits == 1) {
        dib.palette[1] = kOpaqueWhite;
    }
    for (std::size_t i = 0; i < colours; ++i) {
        const std::size_t e = start + i * entryBytes;
        dib.palette[i] = argb(255, bytes[e + 2], bytes[e + 1], bytes[e]);
    }
    dib.kind = PixelKind::Indexed;
}

// Reads the info header at `at` and the masks or palette after it. `iconBitmap`: the
// bitmap of an icon, whose 32-bit pixels always carry alpha. `pixelsAt`: where the file
// header says the pixels start, 0 when there is no file header.
Dib readDib(Bytes bytes, std::size_t at, const char* format, bool iconBitmap,
            std::size_t pixelsAt = 0)
{
    Dib dib;
    dib.format = format;
    if (bytes.size() < at + 4U) {
        throw damagedPicture(format, QStringLiteral("the file ends inside its header"));
    }
    dib.headerBytes = le32(bytes, at);
    if (!knownHeaderSize(dib.headerBytes)) {
        throw notAPicture(format);
    }
    if (bytes.size() < at + dib.headerBytes) {
        throw damagedPicture(format, QStringLiteral("the file ends inside its header"));
    }
    std::uint32_t coloursUsed = 0;
    if (dib.headerBytes == kCoreHeader) {
        dib.width = le16(bytes, at + 4);
        dib.declaredHeight = le16(bytes, at + 6);
        dib.bits = le16(bytes, at + 10);
    } else {
        dib.width = static_cast<std::int32_t>(le32(bytes, at + 4));
        dib.declaredHeight = static_cast<std::int32_t>(le32(bytes, at + 8));
        dib.bits = le16(bytes, at + 14);
        dib.compression = le32(bytes, at + 16);
        coloursUsed = le32(bytes, at + 32);
    }

    const unsigned bits = dib.bits;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        throw damagedPicture(format, QStringLiteral("it has %1 bits per pixel").arg(bits));
    }
    const std::uint32_t c = dib.compression;
    const bool fits = c == kUncompressed || (c == kRunLength8 && bits == 8) ||
                      (c == kRunLength4 && bits == 4) ||
                      ((c == kBitFields || c == kAlphaBitFields) && (bits == 16 || bits == 32));
    if (!fits) {
        throw damagedPicture(
            format,
            QStringLiteral("it uses compression %1 with %2 bits per pixel").arg(c).arg(bits));
    }
    if (dib.runLength() && dib.declaredHeight < 0) {
        throw damagedPicture(format,
                             QStringLiteral("its run-length coded pixels are stored top down"));
    }

    if (bits <= 8) {
        readPalette(bytes, at, coloursUsed, pixelsAt, dib);
    } else if (c == kBitFields || c == kAlphaBitFields) {
        readMasks(bytes, at, dib);
    } else {
        dib.tablesEnd = at + dib.headerBytes;
        if (bits == 16) {
            dib.red = Field(0x7C00U);
            dib.green = Field(0x03E0U);
            dib.blue = Field(0x001FU);
            dib.kind = PixelKind::Fields16;
        } else if (bits == 24) {
            dib.kind = PixelKind::Bgr24;
        } else {
            // The alpha byte of uncompressed 32-bit pixels counts only in icons and where a
            // V3 or later header declares it with the mask 0xFF000000, as Qt reads them.
            const bool alphaDeclared =
                (dib.headerBytes == kV3Header || dib.headerBytes >= kV4Header) &&
                le32(bytes, at + 52) == 0xFF000000U;
            dib.kind = iconBitmap || alphaDeclared ? PixelKind::Bgra32 : PixelKind::Bgrx32;
        }
    }
    return dib;
}

[[nodiscard]] std::size_t storedRowBytes(std::int64_t width, unsigned bits)
{
    return static_cast<std::size_t>((width * bits + 31) / 32 * 4);
}
[[nodiscard]] std::size_t pixelBytes(std::int64_t width, unsigned bits)
{
    return static_cast<std::size_t>((width * bits + 7) / 8);
}

// How many whole rows of `rowBytes` (the last needing only its pixels, not its padding)
// the `size` bytes hold from `at`, at most `height`.
[[nodiscard]] int rowsPresent(std::size_t size, std::size_t at, std::size_t rowBytes,
                              std::size_t pixels, int height)
{
    if (at >= size || size - at < pixels) {
        return 0;
    }
    const std::size_t rows = (size - at - pixels) / rowBytes + 1U;
    return static_cast<int>(std::min<std::size_t>(rows, static_cast<std::size_t>(height)));
}

[[nodiscard]] Argb fieldsPixel(const Dib& dib, std::uint32_t v)
{
    const Argb a = dib.alpha.mask() != 0 ? dib.alpha(v) : 255U;
    return a << 24U | dib.red(v) << 16U | dib.green(v) << 8U | dib.blue(v);
}

// Turns one stored row into `width` pixels.
void convertRow(const Dib& dib, const std::uint8_t* src, Argb* out, int width)
{
    switch (dib.kind) {
    case PixelKind::Indexed:
        if (dib.bits == 8) {
            for (int x = 0; x < width; ++x) {
                out[x] = dib.palette[src[x]];
            }
        } else if (dib.bits == 4) {
            for (int x = 0; x < width; ++x) {
                const unsigned b = src[x / 2];
                out[x] = dib.palette[(x & 1) != 0 ? b & 0x0FU : b >> 4U];
            }
        } else {
            for (int x = 0; x < width; ++x) {
                out[x] = dib.palette[(src[x / 8] >> (7 - x % 8)) & 1U];
            }
        }
        break;
    case PixelKind::Fields16:
        for (int x = 0; x < width; ++x, src += 2) {
            out[x] = fieldsPixel(dib, le16(ByteSpan(src, 2), 0));
        }
        break;
    case PixelKind::Bgr24: {
        int x = 0;
        if constexpr (std::endian::native == std::endian::little) {
            // Eight pixels from three 64-bit words, written two at a time.
            constexpr std::uint64_t kTwoOpaque = 0xFF000000'FF000000U;
            constexpr std::uint64_t kLow = 0x00FFFFFFU;
            constexpr std::uint64_t kHigh = kLow << 32U;
            for (; x + 8 <= width; x += 8, src += 24) {
                std::uint64_t u0 = 0;
                std::uint64_t u1 = 0;
                std::uint64_t u2 = 0;
                std::memcpy(&u0, src, 8);      // B0 G0 R0 B1 G1 R1 B2 G2
                std::memcpy(&u1, src + 8, 8);  // R2 B3 G3 R3 B4 G4 R4 B5
                std::memcpy(&u2, src + 16, 8); // G5 R5 B6 G6 R6 B7 G7 R7
                const std::array<std::uint64_t, 4> pairs{
                    (u0 & kLow) | (u0 << 8U & kHigh),
                    u0 >> 48U | (u1 << 16U & 0xFF0000U) | (u1 << 24U & kHigh),
                    (u1 >> 32U & kLow) | (u1 >> 56U << 32U) | (u2 << 40U & kHigh),
                    (u2 >> 16U & kLow) | (u2 >> 40U << 32U),
                };
                for (std::size_t i = 0; i < pairs.size(); ++i) {
                    const std::uint64_t two = pairs[i] | kTwoOpaque;
                    std::memcpy(out + x + static_cast<std::ptrdiff_t>(i) * 2, &two, 8);
                }
            }
        }
        for (; x < width; ++x, src += 3) {
            out[x] = kOpaque | static_cast<Argb>(src[2]) << 16U | static_cast<Argb>(src[1]) << 8U |
                     src[0];
        }
        break;
    }
    case PixelKind::Bgrx32:
    case PixelKind::Bgra32:
        if constexpr (std::endian::native == std::endian::little) {
            // Stored as the pixels are held: copied, then made opaque where alpha is unused.
            std::memcpy(out, src, static_cast<std::size_t>(width) * 4U);
            if (dib.kind == PixelKind::Bgrx32) {
                for (int x = 0; x < width; ++x) {
                    out[x] |= kOpaque;
                }
            }
        } else {
            const Argb fill = dib.kind == PixelKind::Bgrx32 ? kOpaque : 0U;
            for (int x = 0; x < width; ++x, src += 4) {
                out[x] = fill | static_cast<Argb>(src[3]) << 24U |
                         static_cast<Argb>(src[2]) << 16U | static_cast<Argb>(src[1]) << 8U |
                         src[0];
            }
        }
        break;
    case PixelKind::Fields32:
        for (int x = 0; x < width; ++x, src += 4) {
            out[x] = fieldsPixel(dib, le32(ByteSpan(src, 4), 0));
        }
        break;
    }
}

// Whether a palette picture can hold indices its palette does not reach. One-bit pictures
// are left out: a palette of one colour reads white for the ones, as Qt reads it.
[[nodiscard]] bool paletteFallsShort(const Dib& dib)
{
    return dib.kind == PixelKind::Indexed && dib.bits > 1 && dib.colours < 1U << dib.bits;
}

// Whether a stored row of `width` palette indices holds one past the palette.
[[nodiscard]] bool indexPastPalette(const Dib& dib, const std::uint8_t* src, int width)
{
    for (int x = 0; x < width; ++x) {
        const unsigned index = dib.bits == 8  ? src[x]
                               : (x & 1) != 0 ? src[x / 2] & 0x0FU
                                              : src[x / 2] >> 4U;
        if (index >= dib.colours) {
            return true;
        }
    }
    return false;
}

// Delivers the rows of an uncompressed picture found by position, so the rows the sink
// does not want are never read. Of a file cut short only the whole rows are delivered.
// Pixels whose index the palette does not reach, in the rows read, are damaged data.
// `rowAt(at, n)` gives the n bytes of the file from `at`, whose `size` bytes all exist.
template <typename RowAt>
void deliverUncompressed(const Dib& dib, std::size_t size, const RowAt& rowAt, std::size_t dataAt,
                         int width, int height, PictureSink& sink)
{
    const bool topDown = dib.declaredHeight < 0;
    const std::size_t rowBytes = storedRowBytes(width, dib.bits);
    const std::size_t pixels = pixelBytes(width, dib.bits);
    const int present = rowsPresent(size, dataAt, rowBytes, pixels, height);
    if (present == 0) {
        throw damagedPicture(dib.format, QStringLiteral("the pixel data is missing"));
    }
    sink.begin(width, height);
    std::vector<Argb> row(static_cast<std::size_t>(width));
    const int first = topDown ? 0 : height - present;
    const int last = topDown ? present - 1 : height - 1;
    bool checkIndices = paletteFallsShort(dib);
    for (int y = first; y <= last; ++y) {
        if (!sink.wants(y)) {
            continue;
        }
        const int stored = topDown ? y : height - 1 - y;
        const std::uint8_t* src =
            rowAt(dataAt + static_cast<std::size_t>(stored) * rowBytes, pixels);
        if (checkIndices && indexPastPalette(dib, src, width)) {
            sink.foundDamage(Damage::DataSkipped);
            checkIndices = false;
        }
        convertRow(dib, src, row.data(), width);
        sink.row(y, row.data());
    }
}

// Run-length coded pixels, decoded into palette indices with the rows stored bottom up.
class RunLengthPicture {
public:
    static constexpr std::uint16_t kUntouched = 256; // skipped by a delta or a line end

    RunLengthPicture(int width, int height)
        : m_width(width), m_height(height),
          m_cells(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), kUntouched)
    {
    }

    // Decodes `data`; returns how many stored rows, from the bottom, it reached before the
    // end of the picture or of the data, 0 when the data holds no code at all. Pixels
    // outside the picture are dropped, and the codes that put them there are damage.
    [[nodiscard]] int decode(Bytes data, bool fourBits)
    {
        std::size_t at = 0;
        const auto ranOut = [&](std::size_t needed) {
            return data.size() - at < needed;
        };
        while (m_y < m_height) {
            if (ranOut(2)) {
                return at == 0 ? 0 : m_y + 1;
            }
            const unsigned count = data[at];
            const unsigned value = data[at + 1];
            at += 2;
            if (count > 0) {
                m_damaged = m_damaged || m_x + static_cast<int>(count) > m_width;
                for (unsigned i = 0; i < count && m_x < m_width; ++i) {
                    put(fourBits ? ((i & 1U) != 0 ? value & 0x0FU : value >> 4U) : value);
                }
                continue;
            }
            if (value == 0) { // end of line
                m_x = 0;
                ++m_y;
            } else if (value == 1) { // end of picture
                return m_height;
            } else if (value == 2) { // move right and up
                if (ranOut(2)) {
                    return m_y + 1;
                }
                m_damaged = m_damaged || m_x + data[at] > m_width || m_y + data[at + 1] >= m_height;
                m_x = std::min(m_x + data[at], m_width);
                m_y += data[at + 1];
                at += 2;
            } else { // `value` pixels as they are, padded to a whole number of 16-bit words
                const std::size_t stored = fourBits ? (value + 1U) / 2U : value;
                for (unsigned i = 0; i < value; ++i) {
                    const std::size_t byte = fourBits ? i / 2U : i;
                    if (ranOut(byte + 1)) {
                        return m_y + 1;
                    }
                    const unsigned b = data[at + byte];
                    put(fourBits ? ((i & 1U) != 0 ? b & 0x0FU : b >> 4U) : b);
                }
                at = std::min(data.size(), at + stored + (stored & 1U));
            }
        }
        // Past the top row only line ends and the picture's end may follow.
        for (; !ranOut(2) && data[at] == 0; at += 2) {
            if (data[at + 1] == 1) {
                return m_height;
            }
            if (data[at + 1] != 0) {
                break;
            }
        }
        m_damaged = m_damaged || !ranOut(2);
        return m_height;
    }

    // Whether a code put pixels outside the picture, or moved outside it.
    [[nodiscard]] bool damaged() const { return m_damaged; }

    [[nodiscard]] const std::uint16_t* storedRow(int stored) const
    {
        return m_cells.data() +
               static_cast<std::size_t>(stored) * static_cast<std::size_t>(m_width);
    }

private:
    void put(unsigned index)
    {
        if (m_x < m_width) {
            m_cells[static_cast<std::size_t>(m_y) * static_cast<std::size_t>(m_width) +
                    static_cast<std::size_t>(m_x)] = static_cast<std::uint16_t>(index);
            ++m_x;
        } else {
            m_damaged = true;
        }
    }

    int m_width = 0;
    int m_height = 0;
    int m_x = 0;
    int m_y = 0;
    bool m_damaged = false;
    std::vector<std::uint16_t> m_cells;
};

// Delivers a run-length coded picture: the rows its data reached, pixels it skipped
// transparent. A file cut short delivers the rows decoded before its end. Codes that reach
// outside the picture, and indices past the palette, are damaged data.
void deliverRunLength(const Dib& dib, Bytes bytes, std::size_t dataAt, int width, int height,
                      PictureSink& sink)
{
    RunLengthPicture picture(width, height);
    const int reached = dataAt < bytes.size()
                            ? picture.decode(bytes.subspan(dataAt), dib.compression == kRunLength4)
                            : 0;
    if (reached == 0) {
        throw damagedPicture(dib.format, QStringLiteral("the pixel data is missing"));
    }

    std::array<Argb, RunLengthPicture::kUntouched + 1> colours{};
    std::copy(dib.palette.begin(), dib.palette.end(), colours.begin());
    colours[RunLengthPicture::kUntouched] = 0;

    sink.begin(width, height);
    bool damaged = picture.damaged();
    std::vector<Argb> row(static_cast<std::size_t>(width));
    for (int y = height - reached; y < height; ++y) {
        if (!sink.wants(y)) {
            continue;
        }
        const std::uint16_t* cells = picture.storedRow(height - 1 - y);
        for (int x = 0; x < width; ++x) {
            damaged =
                damaged || (cells[x] >= dib.colours && cells[x] != RunLengthPicture::kUntouched);
            row[static_cast<std::size_t>(x)] = colours[cells[x]];
        }
        sink.row(y, row.data());
    }
    if (damaged) {
        sink.foundDamage(Damage::DataSkipped);
    }
}

// An icon's colours and its one-bit AND mask after them, both stored bottom up. A mask bit
// of 1 makes the pixel transparent. 32-bit colours carry their own alpha and the mask is
// not applied to them, unless every alpha byte is 0: such icons were made for the mask.
void deliverIconBitmap(const Dib& dib, Bytes bytes, int width, int height, PictureSink& sink)
{
    const std::size_t colourAt = dib.tablesEnd;
    const std::size_t rowBytes = storedRowBytes(width, dib.bits);
    const std::size_t maskAt = colourAt + rowBytes * static_cast<std::size_t>(height);
    const std::size_t maskRowBytes = storedRowBytes(width, 1);
    const int colourRows =
        rowsPresent(bytes.size(), colourAt, rowBytes, pixelBytes(width, dib.bits), height);
    const int maskRows =
        rowsPresent(bytes.size(), maskAt, maskRowBytes, pixelBytes(width, 1), height);

    bool useMask = dib.kind != PixelKind::Bgra32;
    if (!useMask) {
        useMask = true;
        for (int s = 0; s < colourRows && useMask; ++s) {
            const std::uint8_t* src =
                bytes.data() + colourAt + static_cast<std::size_t>(s) * rowBytes;
            for (int x = 0; x < width; ++x) {
                if (src[4 * x + 3] != 0) {
                    useMask = false;
                    break;
                }
            }
        }
    }
    const int present = useMask ? std::min(colourRows, maskRows) : colourRows;
    if (present == 0) {
        throw damagedPicture(dib.format, QStringLiteral("the pixel data is missing"));
    }

    sink.begin(width, height);
    std::vector<Argb> row(static_cast<std::size_t>(width));
    for (int y = height - present; y < height; ++y) {
        if (!sink.wants(y)) {
            continue;
        }
        const auto stored = static_cast<std::size_t>(height - 1 - y);
        convertRow(dib, bytes.data() + colourAt + stored * rowBytes, row.data(), width);
        if (useMask) {
            const std::uint8_t* mask = bytes.data() + maskAt + stored * maskRowBytes;
            for (int x = 0; x < width; ++x) {
                Argb& p = row[static_cast<std::size_t>(x)];
                p = ((mask[x / 8] >> (7 - x % 8)) & 1U) != 0 ? 0 : p | kOpaque;
            }
        }
        sink.row(y, row.data());
    }
}

} // namespace

void decodeBmp(std::span<const std::uint8_t> bytes, PictureSink& sink)
{
    if (bytes.size() < 2 || bytes[0] != 'B' || bytes[1] != 'M') {
        throw notAPicture("BMP");
    }
    if (bytes.size() < kFileHeaderBytes) {
        throw damagedPicture("BMP", QStringLiteral("the file ends inside its header"));
    }
    const Dib dib = readDib(bytes, kFileHeaderBytes, "BMP", false, le32(bytes, 10));
    const std::int64_t height = dib.declaredHeight < 0 ? -dib.declaredHeight : dib.declaredHeight;
    checkPictureSize("BMP", dib.width, height);

    // An offset into the header or the palette, or past the end of the file, cannot be
    // where the pixels are: they are then read from straight after the palette, as Qt
    // reads them.
    std::size_t dataAt = le32(bytes, 10);
    if (dataAt < dib.tablesEnd || dataAt >= bytes.size()) {
        dataAt = dib.tablesEnd;
    }
    const int w = static_cast<int>(dib.width);
    const int h = static_cast<int>(height);
    if (dib.runLength()) {
        deliverRunLength(dib, bytes, dataAt, w, h, sink);
    } else {
        deliverUncompressed(
            dib, bytes.size(),
            [bytes](std::size_t at, std::size_t /*n*/) { return bytes.data() + at; }, dataAt, w, h,
            sink);
    }
}

bool decodeBmpStreamed(const ByteReader& read, std::size_t fileSize, PictureSink& sink)
{
    // A BMP's headers, masks and palette take at most 14 + 124 + 1024 bytes.
    constexpr std::size_t kHeadBytes = std::size_t{64} * 1024;
    std::vector<std::uint8_t> head(std::min(fileSize, kHeadBytes));
    if (read(0, head) != head.size() || head.size() == fileSize) {
        return false;
    }
    const Bytes bytes(head);
    if (bytes.size() < kFileHeaderBytes || bytes[0] != 'B' || bytes[1] != 'M') {
        return false;
    }
    const Dib dib = readDib(bytes, kFileHeaderBytes, "BMP", false, le32(bytes, 10));
    if (dib.runLength()) {
        return false;
    }
    const std::int64_t height = dib.declaredHeight < 0 ? -dib.declaredHeight : dib.declaredHeight;
    checkPictureSize("BMP", dib.width, height);
    std::size_t dataAt = le32(bytes, 10);
    if (dataAt < dib.tablesEnd || dataAt >= fileSize) {
        dataAt = dib.tablesEnd;
    }
    const int w = static_cast<int>(dib.width);
    std::vector<std::uint8_t> row(pixelBytes(w, dib.bits));
    const auto rowAt = [&](std::size_t at, std::size_t n) {
        if (read(at, std::span(row).first(n)) != n) {
            throw damagedPicture("BMP", QStringLiteral("the file grew shorter while it was read"));
        }
        return static_cast<const std::uint8_t*>(row.data());
    };
    deliverUncompressed(dib, fileSize, rowAt, dataAt, w, static_cast<int>(height), sink);
    return true;
}

void decodeIconBitmap(std::span<const std::uint8_t> bytes, PictureSink& sink, const char* format)
{
    const Dib dib = readDib(bytes, 0, format, true);
    if (dib.compression != kUncompressed) {
        throw damagedPicture(format,
                             QStringLiteral("its bitmap uses compression %1").arg(dib.compression));
    }
    // The height counts the colours and the mask.
    checkPictureSize(format, dib.width, dib.declaredHeight / 2);
    deliverIconBitmap(dib, bytes, static_cast<int>(dib.width),
                      static_cast<int>(dib.declaredHeight / 2), sink);
}

void decodeIconBitmap(std::span<const std::uint8_t> bytes, PictureSink& sink)
{
    decodeIconBitmap(bytes, sink, "ICO");
}

} // namespace pixelcast
