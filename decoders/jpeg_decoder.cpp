#include "decoders/byte_order.h"
#include "decoding.h"
#include "picture_facts.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <exception>
#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

namespace pixelcast {

namespace {

// A progressive file may hold any number of scans, each a pass over the whole picture;
// real encoders write about ten. More than this is a file built to keep the decoder busy.
constexpr int kMostScans = 500;
// A scan of a few bytes can still cost a pass over every block, so the passes a picture
// may take shrink as it grows: 64 scans at the largest size allowed.
constexpr std::int64_t kMostScanPixels = 64 * kMaxPicturePixels;

[[nodiscard]] int mostScans(const jpeg_decompress_struct& info)
{
    const std::int64_t pixels =
        std::max<std::int64_t>(1, static_cast<std::int64_t>(info.image_width) * info.image_height);
    return static_cast<int>(std::min<std::int64_t>(kMostScans, kMostScanPixels / pixels));
}

// libjpeg reports fatal errors through error_exit, which must not return; it jumps back
// into decodeJpeg. Warnings (a file cut short, a damaged entropy segment) are not
// printed: the decoder carries on and the picture shows what it could decode, and the
// warnings are kept to tell the sink what is missing.
struct ErrorManager {
    jpeg_error_mgr pub{};
    std::jmp_buf jump{};
    char message[JMSG_LENGTH_MAX] = {};
    // The row of blocks being read when the data ran out, or -1 while it has not.
    int endedAtBlockRow = -1;
    // The scans begun when the data ran out, and whether the last of them then still
    // wanted data: libjpeg reads ahead, and meets the end of a file cut just after a scan
    // inside that scan's last row of blocks, but says it hit a marker only when it needed
    // the data.
    int endedAtScan = -1;
    bool endedInsideScan = false;
    // Damaged entropy data was passed over.
    bool skippedDamage = false;
};

// Warnings that say damaged data was passed over: entropy-coded data that fails to decode,
// or stray bytes before a marker (a segment cut short, junk between segments).
[[nodiscard]] bool damagedData(int code)
{
    switch (code) {
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
    case JWRN_EXTRANEOUS_DATA:
        return true;
    default:
        return false;
    }
}

[[noreturn]] void onError(j_common_ptr info)
{
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->jump, 1);
}

void onMessage(j_common_ptr info, int level)
{
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    if (level >= 0 || !info->is_decompressor) {
        return;
    }
    const auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    const int code = info->err->msg_code;
    if (code == JWRN_JPEG_EOF) {
        if (manager->endedAtBlockRow < 0) {
            manager->endedAtBlockRow = static_cast<int>(decompress->input_iMCU_row);
            manager->endedAtScan = decompress->input_scan_number;
        }
    } else if (manager->endedAtScan >= 0) {
        // Past the end of the data, libjpeg's own end marker is all there is to hit.
        manager->endedInsideScan = manager->endedInsideScan || code == JWRN_HIT_MARKER;
    } else if (damagedData(code)) {
        manager->skippedDamage = true;
    }
}

void onProgress(j_common_ptr info)
{
    auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    const int most = mostScans(*decompress);
    if (decompress->input_scan_number > most) {
        auto* manager = reinterpret_cast<ErrorManager*>(info->err);
        std::snprintf(manager->message, sizeof manager->message, "it holds more than %d scans",
                      most);
        std::longjmp(manager->jump, 1);
    }
}

// Whether every coefficient of every component of a progressive picture has had its last
// refinement: the picture is then whole, whatever followed its last scan.
[[nodiscard]] bool everyCoefficientRefined(const jpeg_decompress_struct& info)
{
    if (info.coef_bits == nullptr) {
        return false;
    }
    for (int c = 0; c < info.num_components; ++c) {
        for (int k = 0; k < DCTSIZE2; ++k) {
            if (info.coef_bits[c][k] != 0) {
                return false;
            }
        }
    }
    return true;
}

// Owns the decompressor, so that it is destroyed on every way out.
class Decompressor {
public:
    Decompressor()
    {
        m_info.err = jpeg_std_error(&m_errors.pub);
        m_errors.pub.error_exit = onError;
        m_errors.pub.emit_message = onMessage;
        m_progress.progress_monitor = onProgress;
    }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
    ~Decompressor()
    {
        if (m_created) {
            jpeg_destroy_decompress(&m_info);
        }
    }

    // Called after setjmp, from the frame that set it.
    void create()
    {
        jpeg_create_decompress(&m_info);
        m_created = true;
        m_info.progress = &m_progress;
    }

    jpeg_decompress_struct& info() { return m_info; }
    ErrorManager& errors() { return m_errors; }

private:
    jpeg_decompress_struct m_info{};
    ErrorManager m_errors;
    jpeg_progress_mgr m_progress{};
    bool m_created = false;
};

// Adobe writes CMYK JPEGs inverted (0 is full ink); every CMYK JPEG a user meets is one.
void cmykToArgb(const JSAMPLE* in, Argb* out, JDIMENSION width)
{
    for (JDIMENSION x = 0; x < width; ++x, in += 4) {
        const unsigned k = in[3];
        out[x] = argb(255, in[0] * k / 255, in[1] * k / 255, in[2] * k / 255);
    }
}

// A libjpeg source that reads the file a piece at a time, giving libjpeg the very bytes
// jpeg_mem_src would: at the end of the file an end-of-image marker and a warning, however
// often it is asked for more. A failure to read is kept and ends the decoding.
struct ReaderSource {
    static constexpr std::size_t kPiece = std::size_t{64} * 1024;

    jpeg_source_mgr pub{};
    const ByteReader* read = nullptr;
    std::size_t at = 0;
    std::vector<JOCTET> piece;
    std::exception_ptr failure;
};

void startSource(j_decompress_ptr /*info*/) {}
void endSource(j_decompress_ptr /*info*/) {}

boolean fillFromReader(j_decompress_ptr info)
{
    auto* source = reinterpret_cast<ReaderSource*>(info->src);
    std::size_t got = 0;
    try {
        got = (*source->read)(source->at, std::span(source->piece));
    } catch (...) {
        source->failure = std::current_exception();
    }
    if (source->failure) {
        ERREXIT(info, JERR_FILE_READ);
    }
    if (got == 0) {
        static const JOCTET kEndOfImage[] = {0xFF, JPEG_EOI};
        WARNMS(info, JWRN_JPEG_EOF);
        source->pub.next_input_byte = kEndOfImage;
        source->pub.bytes_in_buffer = sizeof kEndOfImage;
        return TRUE;
    }
    source->at += got;
    source->pub.next_input_byte = source->piece.data();
    source->pub.bytes_in_buffer = got;
    return TRUE;
}

// As jpeg_mem_src skips: through the pieces, so that the end of the file shows alike.
void skipInReader(j_decompress_ptr info, long count)
{
    if (count <= 0) {
        return;
    }
    auto bytes = static_cast<std::size_t>(count);
    while (bytes > info->src->bytes_in_buffer) {
        bytes -= info->src->bytes_in_buffer;
        (void)fillFromReader(info);
    }
    info->src->next_input_byte += bytes;
    info->src->bytes_in_buffer -= bytes;
}

void useReader(jpeg_decompress_struct& info, ReaderSource& source, const ByteReader& read)
{
    source.read = &read;
    source.pub.init_source = startSource;
    source.pub.fill_input_buffer = fillFromReader;
    source.pub.skip_input_data = skipInReader;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = endSource;
    info.src = &source.pub;
}

// decodeJpeg from the whole file in memory, or else from `read`; `own` gets the size the
// JPEG declares once its header is read.
void decodeJpegFrom(std::span<const std::uint8_t> bytes, const ByteReader* read, PictureSink& sink,
                    int reduceForWidth, int reduceForHeight, PictureSize* own)
{
    Decompressor decompressor;
    jpeg_decompress_struct& info = decompressor.info();
    // Allocated before setjmp: nothing that needs destroying is made after it.
    std::vector<Argb> pixels;
    std::vector<JSAMPLE> cmyk;
    ReaderSource source;
    if (read != nullptr) {
        source.piece.resize(ReaderSource::kPiece);
    }
    // Read after a jump back, so kept in memory rather than a register.
    volatile bool begun = false;

    if (setjmp(decompressor.errors().jump) != 0) {
        if (source.failure) {
            std::rethrow_exception(source.failure);
        }
        // Judged by the rows the decoder got through, delivered or skipped, so that the
        // window's whole decode and the converter's skipping one give the same answer.
        if (!begun || info.output_scanline == 0) {
            throw damagedPicture("JPEG", QString::fromLocal8Bit(decompressor.errors().message));
        }
        // Rows already delivered stay; the rest stays transparent.
        return;
    }
    decompressor.create();
    if (read != nullptr) {
        useReader(info, source, *read);
    } else {
        jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    }
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        throw notAPicture("JPEG");
    }
    own->width = static_cast<int>(info.image_width);
    own->height = static_cast<int>(info.image_height);
    const int reduction =
        jpegReduction(static_cast<int>(info.image_width), static_cast<int>(info.image_height),
                      reduceForWidth, reduceForHeight);
    // The limits apply to what is decoded: a picture in one scan is decoded a band of
    // blocks at a time, straight to its reduced size; one in several scans keeps every
    // block's coefficients of the whole picture until its last scan.
    if (reduction > 1 && jpeg_has_multiple_scans(&info) == FALSE) {
        checkPictureSize("JPEG", (info.image_width + reduction - 1) / reduction,
                         (info.image_height + reduction - 1) / reduction);
    } else {
        checkPictureSize("JPEG", info.image_width, info.image_height);
    }
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned>(reduction);
    if (reduction > 1) {
        // Reduced pictures are only ever stretched smaller still: the faster integer
        // transform and plain chroma replication lose nothing that survives that.
        info.dct_method = JDCT_IFAST;
        info.do_fancy_upsampling = FALSE;
    }
    const bool inkColours = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = inkColours ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg_start_decompress(&info);

    const JDIMENSION width = info.output_width;
    const JDIMENSION height = info.output_height;
    pixels.resize(width);
    if (inkColours) {
        cmyk.resize(static_cast<std::size_t>(width) * 4);
    }
    sink.begin(static_cast<int>(width), static_cast<int>(height));
    begun = true;

    JSAMPROW line = inkColours ? cmyk.data() : reinterpret_cast<JSAMPROW>(pixels.data());
    // Rows are made a row group at a time (the rows of one band of blocks: 16 for a 4:2:0
    // picture at its own size, 2 at an eighth), and a skip that starts or ends inside a
    // group can give rows that differ from the whole decode's: such rows are decoded and
    // dropped instead.
    const auto group = static_cast<JDIMENSION>(info.max_v_samp_factor * info.min_DCT_scaled_size);
    while (info.output_scanline < height) {
        const JDIMENSION y = info.output_scanline;
        JDIMENSION unwanted = 0;
        while (y + unwanted < height && !sink.wants(static_cast<int>(y + unwanted))) {
            ++unwanted;
        }
        const JDIMENSION skip = y % group == 0 ? unwanted - (y + unwanted) % group : 0;
        if (skip > 0 && y + unwanted < height) {
            jpeg_skip_scanlines(&info, skip);
            continue;
        }
        if (unwanted > 0 && y + unwanted == height) {
            break; // nothing more is wanted
        }
        if (jpeg_read_scanlines(&info, &line, 1) != 1) {
            break;
        }
        if (unwanted > 0) {
            continue;
        }
        if (inkColours) {
            cmykToArgb(cmyk.data(), pixels.data(), width);
        }
        sink.row(static_cast<int>(y), pixels.data());
    }
    // The rest of the file (trailing markers, a damaged end) does not change the rows.
    const bool scans = jpeg_has_multiple_scans(&info) != FALSE;
    const bool refined = info.progressive_mode != FALSE && everyCoefficientRefined(info);
    jpeg_abort_decompress(&info);
    const ErrorManager& errors = decompressor.errors();
    if (errors.skippedDamage) {
        sink.foundDamage(Damage::DataSkipped);
    }
    if (scans) {
        // Each scan goes over the whole picture: every row came, with the detail of the
        // scans that arrived whole, and the row the data ran out in says nothing.
        // (libjpeg counts a coefficient refined as its scan begins.)
        if (errors.endedAtScan >= 0 && (!refined || errors.endedInsideScan)) {
            sink.endedAfterScans(errors.endedAtScan - (errors.endedInsideScan ? 1 : 0));
        }
    } else if (const int blockRow = errors.endedAtBlockRow;
               blockRow >= 0 && static_cast<JDIMENSION>(blockRow) * group < height) {
        sink.endedBefore(static_cast<int>(static_cast<JDIMENSION>(blockRow) * group));
    }
}

} // namespace

int jpegReduction(int width, int height, int reduceForWidth, int reduceForHeight)
{
    if (reduceForWidth <= 0 || reduceForHeight <= 0) {
        return 1;
    }
    int reduction = 1;
    for (const int d : {2, 4, 8}) {
        if (width / d < 2 * reduceForWidth || height / d < 2 * reduceForHeight) {
            break;
        }
        reduction = d;
    }
    return reduction;
}

void decodeJpeg(std::span<const std::uint8_t> bytes, PictureSink& sink, int reduceForWidth,
                int reduceForHeight)
{
    PictureSize own;
    decodeJpegFrom(bytes, nullptr, sink, reduceForWidth, reduceForHeight, &own);
}

PictureSize decodeJpegStreamed(const ByteReader& read, PictureSink& sink, int reduceForWidth,
                               int reduceForHeight)
{
    PictureSize own;
    decodeJpegFrom({}, &read, sink, reduceForWidth, reduceForHeight, &own);
    return own;
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
        const std::size_t length = be16(bytes, at + 2);
        const bool frame =
            code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
        if (frame && at + 9 <= bytes.size()) {
            return PictureSize{static_cast<int>(be16(bytes, at + 7)),
                               static_cast<int>(be16(bytes, at + 5))};
        }
        if (code == 0xDA || length < 2) {
            return std::nullopt;
        }
        at += 2 + length;
    }
    return std::nullopt;
}

} // namespace pixelcast
