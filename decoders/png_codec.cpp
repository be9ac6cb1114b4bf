#include "decoders/byte_order.h"
#include "decoding.h"

#include <algorithm>
#include <array>
#include <bit>
#include <csetjmp>
#include <cstring>
#include <png.h>
#include <vector>

// PNG reading and writing with libpng's classic interface. libpng reports errors by
// longjmp back to a setjmp point; the functions that set one hold no object with a
// destructor, and every C++ object they use was made by their caller before.
//
// The pixels are what Qt's PNG reader made of the same file, the reader this program used
// before: no gamma correction, 16-bit samples scaled to 8 bits with rounding, tRNS as
// alpha, palette indices past the palette read as index 0.
namespace pixelcast {

namespace {

// How a row looks once libpng has transformed it.
enum class RowLayout {
    Bgra,    // four bytes a pixel, already Argb in memory
    Indexed, // one byte a pixel (palette index or grey level), looked up in a table
};

// What the setjmp functions and libpng's callbacks share. The libpng structures are
// destroyed with it.
struct PngJob {
    PngJob() = default;
    PngJob(const PngJob&) = delete;
    PngJob& operator=(const PngJob&) = delete;
    ~PngJob()
    {
        if (png != nullptr) {
            png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
        }
    }

    std::span<const std::uint8_t> bytes;
    std::size_t at = 0;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::array<char, 160> message{};

    int width = 0;
    int height = 0;
    bool interlaced = false;
    RowLayout layout = RowLayout::Bgra;
    std::array<Argb, 256> colours{};

    int nextRow = 0;
    bool begun = false;
};

void keepMessage(std::array<char, 160>& to, const char* message)
{
    std::strncpy(to.data(), message != nullptr ? message : "libpng error", to.size() - 1);
    to.back() = '\0';
}

// What readPngBytes fails with when the file ends.
constexpr const char* kFileEndsEarly = "the file ends early";

extern "C" {
[[noreturn]] static void onPngReadError(png_structp png, png_const_charp message)
{
    keepMessage(static_cast<PngJob*>(png_get_error_ptr(png))->message, message);
    png_longjmp(png, 1);
}

static void onPngWarning(png_structp /*png*/, png_const_charp /*message*/) {}

static void readPngBytes(png_structp png, png_bytep to, std::size_t length)
{
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (length > job->bytes.size() - job->at) {
        png_error(png, kFileEndsEarly);
    }
    std::memcpy(to, job->bytes.data() + job->at, length);
    job->at += length;
}
}

// The colours of palette entries, or of grey levels of 1 to 8 bits.
void setPaletteColours(PngJob& job, int depth)
{
    png_colorp palette = nullptr;
    int entries = 0;
    png_get_PLTE(job.png, job.info, &palette, &entries);
    png_bytep alpha = nullptr;
    int alphas = 0;
    png_color_16p unused = nullptr;
    png_get_tRNS(job.png, job.info, &alpha, &alphas, &unused);
    for (int i = 0; i < entries; ++i) {
        const unsigned a = alpha != nullptr && i < alphas ? alpha[i] : 255U;
        job.colours[static_cast<std::size_t>(i)] =
            argb(a, palette[i].red, palette[i].green, palette[i].blue);
    }
    // An index past the palette reads as index 0, except with one bit a pixel, where Qt's
    // reader left its black and white table's white in place.
    const Argb past = depth == 1 ? 0xFFFFFFFFU : job.colours[0];
    std::fill(job.colours.begin() + std::max(entries, 1), job.colours.end(), past);
}

void setGreyColours(PngJob& job, int depth)
{
    const int levels = 1 << depth;
    for (int i = 0; i < levels; ++i) {
        const int c = i * 255 / (levels - 1);
        job.colours[static_cast<std::size_t>(i)] = argb(255, c, c, c);
    }
    png_bytep unused = nullptr;
    int count = 0;
    png_color_16p transparent = nullptr;
    if (png_get_tRNS(job.png, job.info, &unused, &count, &transparent) != 0 &&
        transparent != nullptr && transparent->gray < levels) {
        // The transparent level loses its colour too, except with one bit a pixel.
        Argb& c = job.colours[transparent->gray];
        c = depth == 1 ? (c & 0x00FFFFFFU) : 0;
    }
}

// Reads the header and sets the transformations. False, with job.message set, if libpng
// fails.
bool readHeader(PngJob& job)
{
    if (setjmp(png_jmpbuf(job.png)) != 0) {
        return false;
    }
    png_set_user_limits(job.png, kMaxPictureSide, kMaxPictureSide);
#if defined(PNG_SET_OPTION_SUPPORTED) && defined(PNG_MAXIMUM_INFLATE_WINDOW)
    // Accepts files whose deflate streams reach further back than their header says, as
    // Qt's reader does.
    png_set_option(job.png, PNG_MAXIMUM_INFLATE_WINDOW, PNG_OPTION_ON);
#endif
    png_set_read_fn(job.png, &job, readPngBytes);
    png_read_info(job.png, job.info);

    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int type = 0;
    int interlace = 0;
    png_get_IHDR(job.png, job.info, &width, &height, &depth, &type, &interlace, nullptr, nullptr);
    job.width = static_cast<int>(width);
    job.height = static_cast<int>(height);
    job.interlaced = interlace != PNG_INTERLACE_NONE;
    const bool hasTrns = png_get_valid(job.png, job.info, PNG_INFO_tRNS) != 0;

    if (type == PNG_COLOR_TYPE_PALETTE || (type == PNG_COLOR_TYPE_GRAY && depth <= 8)) {
        job.layout = RowLayout::Indexed;
        if (depth < 8) {
            png_set_packing(job.png);
        }
        if (type == PNG_COLOR_TYPE_PALETTE) {
            setPaletteColours(job, depth);
        } else {
            setGreyColours(job, depth);
        }
    } else {
        job.layout = RowLayout::Bgra;
        if (depth == 16) {
            png_set_scale_16(job.png);
        }
        if (hasTrns) {
            png_set_tRNS_to_alpha(job.png);
        }
        if ((type & PNG_COLOR_MASK_COLOR) == 0) {
            png_set_gray_to_rgb(job.png);
        }
        if constexpr (std::endian::native == std::endian::little) {
            png_set_bgr(job.png);
            if ((type & PNG_COLOR_MASK_ALPHA) == 0 && !hasTrns) {
                png_set_filler(job.png, 0xFF, PNG_FILLER_AFTER);
            }
        } else {
            png_set_swap_alpha(job.png);
            if ((type & PNG_COLOR_MASK_ALPHA) == 0 && !hasTrns) {
                png_set_filler(job.png, 0xFF, PNG_FILLER_BEFORE);
            }
        }
    }
    if (job.interlaced) {
        png_set_interlace_handling(job.png);
    }
    png_read_update_info(job.png, job.info);
    // The rows are read into buffers of exactly this size.
    const std::size_t bytesPerPixel = job.layout == RowLayout::Indexed ? 1 : 4;
    if (png_get_rowbytes(job.png, job.info) != bytesPerPixel * width) {
        png_error(job.png, "unexpected row layout");
    }
    return true;
}

void deliver(PngJob& job, PictureSink& sink, int y, const std::uint8_t* line, Argb* row)
{
    if (!job.begun) {
        sink.begin(job.width, job.height);
        job.begun = true;
    }
    if (!sink.wants(y)) {
        return;
    }
    if (job.layout == RowLayout::Indexed) {
        for (int x = 0; x < job.width; ++x) {
            row[x] = job.colours[line[x]];
        }
    }
    sink.row(y, row);
}

// After every row has been read, libpng checks the image data's checksum and what follows
// it. A failure there leaves the picture whole, but its data fails its checksum or is
// damaged beyond the rows; a file that merely ends after its rows is whole.
void tellFailureAfterTheRows(const PngJob& job, PictureSink& sink)
{
    if (std::strcmp(job.message.data(), kFileEndsEarly) == 0) {
        return;
    }
    sink.foundDamage(std::strstr(job.message.data(), "CRC") != nullptr ? Damage::ChecksumFailed
                                                                       : Damage::DataSkipped);
}

// Reads and delivers the rows of a non-interlaced file in order. False if libpng fails;
// the rows that arrived whole before have been delivered.
bool readRows(PngJob& job, PictureSink& sink, std::uint8_t* line, Argb* row)
{
    auto* target = job.layout == RowLayout::Indexed ? line : reinterpret_cast<png_bytep>(row);
    if (setjmp(png_jmpbuf(job.png)) != 0) {
        // libpng counts a row as read before it checks the end of the data after it.
        if (png_get_current_row_number(job.png) > static_cast<png_uint_32>(job.nextRow)) {
            deliver(job, sink, job.nextRow, line, row);
            ++job.nextRow;
        }
        if (job.nextRow == job.height) {
            tellFailureAfterTheRows(job, sink);
        }
        return false;
    }
    while (job.nextRow < job.height) {
        png_read_row(job.png, target, nullptr);
        deliver(job, sink, job.nextRow, line, row);
        ++job.nextRow;
    }
    return true;
}

// Reads a whole interlaced image. True if every pass arrived, even when libpng failed
// after the last row (`failedAfter` then set).
bool readImage(PngJob& job, png_bytepp rows, bool& failedAfter)
{
    if (setjmp(png_jmpbuf(job.png)) != 0) {
        constexpr png_byte kPassesDone = 7;
        failedAfter = png_get_current_pass_number(job.png) >= kPassesDone;
        return failedAfter;
    }
    png_read_image(job.png, rows);
    return true;
}

[[noreturn]] void throwPngError(const PngJob& job)
{
    throw damagedPicture("PNG", QString::fromLatin1(job.message.data()));
}

} // namespace

void decodePng(std::span<const std::uint8_t> bytes, PictureSink& sink)
{
    // Signature, then the IHDR chunk: length, type, width, height.
    constexpr std::size_t kSignatureSize = 8;
    constexpr std::size_t kSizeEnd = 24;
    if (bytes.size() < kSizeEnd || png_sig_cmp(bytes.data(), 0, kSignatureSize) != 0 ||
        std::memcmp(bytes.data() + 12, "IHDR", 4) != 0) {
        throw notAPicture("PNG");
    }
    checkPictureSize("PNG", be32(bytes, 16), be32(bytes, 20));

    PngJob job;
    job.bytes = bytes;
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, onPngReadError, onPngWarning);
    if (job.png != nullptr) {
        job.info = png_create_info_struct(job.png);
    }
    if (job.png == nullptr || job.info == nullptr) {
        throw std::bad_alloc();
    }
    if (!readHeader(job)) {
        throwPngError(job);
    }

    std::vector<Argb> row(static_cast<std::size_t>(job.width));
    if (!job.interlaced) {
        std::vector<std::uint8_t> line(
            job.layout == RowLayout::Indexed ? static_cast<std::size_t>(job.width) : 0);
        if (!readRows(job, sink, line.data(), row.data()) && !job.begun) {
            throwPngError(job);
        }
        return;
    }

    const std::size_t bytesPerPixel = job.layout == RowLayout::Indexed ? 1 : 4;
    const std::size_t rowBytes = bytesPerPixel * static_cast<std::size_t>(job.width);
    std::vector<std::uint8_t> image(rowBytes * static_cast<std::size_t>(job.height));
    std::vector<png_bytep> rows(static_cast<std::size_t>(job.height));
    for (std::size_t y = 0; y < rows.size(); ++y) {
        rows[y] = image.data() + y * rowBytes;
    }
    bool failedAfter = false;
    if (!readImage(job, rows.data(), failedAfter)) {
        throwPngError(job);
    }
    for (int y = 0; y < job.height; ++y) {
        const std::uint8_t* line = rows[static_cast<std::size_t>(y)];
        if (job.layout == RowLayout::Bgra) {
            std::memcpy(row.data(), line, rowBytes);
        }
        deliver(job, sink, y, line, row.data());
    }
    if (failedAfter) {
        tellFailureAfterTheRows(job, sink);
    }
}

} // namespace pixelcast
