#include "clip_reader.h"

#include "errors/error.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <QString>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdarg>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

namespace pixelcast::video {

namespace {

using Bytes = std::span<const std::uint8_t>;

std::uint32_t be32(Bytes bytes, std::size_t at)
{
    return std::uint32_t{bytes[at]} << 24U | std::uint32_t{bytes[at + 1]} << 16U |
           std::uint32_t{bytes[at + 2]} << 8U | std::uint32_t{bytes[at + 3]};
}

bool hasText(Bytes bytes, std::size_t at, const char* text)
{
    const std::size_t length = std::strlen(text);
    return bytes.size() >= at + length && std::memcmp(bytes.data() + at, text, length) == 0;
}

// The brands of HEIF and AVIF pictures, which the picture readers take.
bool isPictureBrand(Bytes bytes, std::size_t at)
{
    for (const char* brand :
         {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "avif", "avis"}) {
        if (hasText(bytes, at, brand)) {
            return true;
        }
    }
    return false;
}

// An ISO base media file begins with its ftyp box: size, "ftyp", the major brand, a
// version, then the compatible brands to the box's end.
Container isoContainer(Bytes bytes)
{
    if (bytes.size() < 16 || !hasText(bytes, 4, "ftyp")) {
        return Container::None;
    }
    const std::size_t boxEnd = std::min<std::size_t>(be32(bytes, 0), bytes.size());
    if (isPictureBrand(bytes, 8)) {
        return Container::None;
    }
    for (std::size_t at = 16; at + 4 <= boxEnd; at += 4) {
        if (isPictureBrand(bytes, at)) {
            return Container::None;
        }
    }
    return hasText(bytes, 8, "qt  ") ? Container::Mov : Container::Mp4;
}

// Matroska's EBML header, whose DocType (element 0x4282) says "webm" for WebM.
Container matroskaContainer(Bytes bytes)
{
    static constexpr std::array<std::uint8_t, 4> kEbml{0x1A, 0x45, 0xDF, 0xA3};
    if (bytes.size() < 4 || !std::equal(kEbml.begin(), kEbml.end(), bytes.begin())) {
        return Container::None;
    }
    for (std::size_t at = 4; at + 7 <= bytes.size(); ++at) {
        if (bytes[at] == 0x42 && bytes[at + 1] == 0x82) {
            return hasText(bytes, at + 3, "webm") ? Container::WebM : Container::Matroska;
        }
    }
    return Container::Matroska;
}

// An EBML variable-length number at `at`: false when it does not fit in `bytes`. `unknown`
// tells the reserved value of all ones, an element whose size is not given.
bool ebmlNumber(Bytes bytes, std::size_t at, std::uint64_t& value, std::size_t& length,
                bool& unknown)
{
    if (at >= bytes.size() || bytes[at] == 0) {
        return false;
    }
    length = static_cast<std::size_t>(std::countl_zero(bytes[at])) + 1;
    if (at + length > bytes.size()) {
        return false;
    }
    const auto mask = static_cast<std::uint8_t>(0xFFU >> length);
    value = bytes[at] & mask;
    unknown = value == mask;
    for (std::size_t i = 1; i < length; ++i) {
        value = value << 8U | bytes[at + i];
        unknown = unknown && bytes[at + i] == 0xFF;
    }
    return true;
}

// Whether a Matroska file's Segment declares more bytes than the file holds: the file was
// cut short (its demuxer ends quietly where the bytes do).
bool matroskaCutShort(Bytes head, std::uint64_t fileSize)
{
    std::uint64_t headerSize = 0;
    std::size_t length = 0;
    bool unknown = false;
    if (!ebmlNumber(head, 4, headerSize, length, unknown) || unknown || headerSize > head.size()) {
        return false;
    }
    const std::size_t segment = 4 + length + static_cast<std::size_t>(headerSize);
    static constexpr std::array<std::uint8_t, 4> kSegment{0x18, 0x53, 0x80, 0x67};
    std::uint64_t segmentSize = 0;
    if (segment + 4 > head.size() ||
        !std::equal(kSegment.begin(), kSegment.end(), head.begin() + static_cast<long>(segment)) ||
        !ebmlNumber(head, segment + 4, segmentSize, length, unknown) || unknown) {
        return false;
    }
    const std::uint64_t start = segment + 4 + length;
    return segmentSize > fileSize || start + segmentSize > fileSize;
}

// The demuxer each container is handed to, by name: nothing is probed.
const char* demuxerOf(Container container)
{
    switch (container) {
    case Container::Mp4:
    case Container::Mov:
        return "mov,mp4,m4a,3gp,3g2,mj2";
    case Container::Matroska:
    case Container::WebM:
        return "matroska,webm";
    case Container::Avi:
        return "avi";
    case Container::None:
        break;
    }
    return nullptr;
}

// Set while a clip is decoded on this thread: FFmpeg's errors about the data it reads (a
// demuxer that gives up on a damaged cluster, a macroblock that fails) mark the clip damaged.
thread_local bool* t_loggedError = nullptr;

void noteErrors(void* /*context*/, int level, const char* /*format*/, std::va_list /*args*/)
{
    if (level <= AV_LOG_ERROR && t_loggedError != nullptr) {
        *t_loggedError = true;
    }
}

// FFmpeg's messages are not shown: what went wrong comes back through the results. Set
// once for the process.
void silenceLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(&noteErrors); });
}

// Points t_loggedError at `flag` for its lifetime.
class LoggedErrors {
public:
    explicit LoggedErrors(bool& flag) : m_before(t_loggedError) { t_loggedError = &flag; }
    LoggedErrors(const LoggedErrors&) = delete;
    LoggedErrors& operator=(const LoggedErrors&) = delete;
    ~LoggedErrors() { t_loggedError = m_before; }

private:
    bool* m_before;
};

QString formatName(Container container)
{
    return QString::fromLatin1(containerName(container));
}

[[noreturn]] void throwDamaged(Container container, const QString& why)
{
    throw Error(ErrorCode::PictureDamaged,
                QStringLiteral("The %1 clip is damaged and cannot be decoded (%2).")
                    .arg(formatName(container), why));
}

[[noreturn]] void throwNoMemory()
{
    throw Error(ErrorCode::NotEnoughMemory,
                QStringLiteral("There is not enough memory to decode the clip."));
}

// The clip's bytes as FFmpeg's input: reads from `read`, seeks within `size`. An exception
// from `read` is kept and thrown once FFmpeg has returned.
struct Input {
    const ClipBytes* read = nullptr;
    std::uint64_t size = 0;
    std::uint64_t position = 0;
    std::exception_ptr failure;

    static int readPacket(void* opaque, std::uint8_t* buffer, int length)
    {
        auto& input = *static_cast<Input*>(opaque);
        if (input.position >= input.size || length <= 0) {
            return AVERROR_EOF;
        }
        const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(
            static_cast<std::uint64_t>(length), input.size - input.position));
        std::size_t got = 0;
        try {
            got = (*input.read)(input.position, {buffer, wanted});
        } catch (...) {
            input.failure = std::current_exception();
            return AVERROR(EIO);
        }
        if (got == 0) {
            return AVERROR_EOF;
        }
        input.position += got;
        return static_cast<int>(got);
    }

    static std::int64_t seek(void* opaque, std::int64_t offset, int whence)
    {
        auto& input = *static_cast<Input*>(opaque);
        const auto size = static_cast<std::int64_t>(input.size);
        if ((whence & AVSEEK_SIZE) != 0) {
            return size;
        }
        std::int64_t base = 0;
        switch (whence & ~AVSEEK_FORCE) {
        case SEEK_SET:
            break;
        case SEEK_CUR:
            base = static_cast<std::int64_t>(input.position);
            break;
        case SEEK_END:
            base = size;
            break;
        default:
            return AVERROR(EINVAL);
        }
        if (offset > std::numeric_limits<std::int64_t>::max() - base || base + offset < 0) {
            return AVERROR(EINVAL);
        }
        input.position = static_cast<std::uint64_t>(base + offset);
        return base + offset;
    }

    void rethrowFailure() const
    {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
};

// A demuxer may ask to open another file or URL (a QuickTime reference, a playlist's
// entry): it is refused whatever it names.
int refuseToOpen(AVFormatContext* /*context*/, AVIOContext** /*pb*/, const char* /*url*/,
                 int /*flags*/, AVDictionary** /*options*/)
{
    return AVERROR(EPERM);
}

constexpr int kInputBufferBytes = 64 * 1024;
constexpr std::size_t kScalerSlackPixels = 64;

// The demuxer over the clip's bytes, and everything FFmpeg took for it.
class Demuxer {
public:
    Demuxer(const ClipBytes& read, Container container, std::uint64_t size) : m_container(container)
    {
        silenceLibraries();
        m_input.read = &read;
        m_input.size = size;
        const char* name = demuxerOf(container);
        const AVInputFormat* format = name == nullptr ? nullptr : av_find_input_format(name);
        if (format == nullptr) {
            throw Error(ErrorCode::NotAPicture, QStringLiteral("The file is not a video clip."));
        }
        auto* buffer = static_cast<std::uint8_t*>(av_malloc(kInputBufferBytes));
        m_io = buffer == nullptr ? nullptr
                                 : avio_alloc_context(buffer, kInputBufferBytes, 0, &m_input,
                                                      &Input::readPacket, nullptr, &Input::seek);
        if (m_io == nullptr) {
            av_free(buffer);
            throwNoMemory();
        }
        try {
            open(format, name, container);
        } catch (...) {
            release();
            throw;
        }
    }
    Demuxer(const Demuxer&) = delete;
    Demuxer& operator=(const Demuxer&) = delete;
    ~Demuxer() { release(); }

    [[nodiscard]] AVStream* video() const { return m_video; }

    // Whether the container declares more bytes than the clip holds.
    [[nodiscard]] bool cutShort() const
    {
        if (m_container != Container::Matroska && m_container != Container::WebM) {
            return false;
        }
        std::array<std::uint8_t, 128> head{};
        const std::size_t got = (*m_input.read)(0, head);
        return matroskaCutShort(Bytes(head.data(), got), m_input.size);
    }

    // The next packet of the video stream into `packet`: false at the end of the clip, with
    // `failed` set when the data failed before it.
    bool next(AVPacket* packet, bool& failed)
    {
        for (;;) {
            const int got = av_read_frame(m_context, packet);
            if (got < 0) {
                m_input.rethrowFailure();
                failed = got != AVERROR_EOF;
                return false;
            }
            if (m_video != nullptr && packet->stream_index == m_video->index) {
                return true;
            }
            av_packet_unref(packet);
        }
    }

private:
    void open(const AVInputFormat* format, const char* name, Container container)
    {
        m_context = avformat_alloc_context();
        if (m_context == nullptr) {
            throwNoMemory();
        }
        m_context->pb = m_io;
        m_context->flags |= AVFMT_FLAG_CUSTOM_IO;
        m_context->io_open = &refuseToOpen;
        AVDictionary* options = nullptr;
        av_dict_set(&options, "protocol_whitelist", "none", 0);
        av_dict_set(&options, "format_whitelist", name, 0);
        av_dict_set(&options, "max_streams", "64", 0);
        const int opened = avformat_open_input(&m_context, nullptr, format, &options);
        av_dict_free(&options);
        if (opened < 0) {
            // avformat_open_input frees the context on failure.
            m_input.rethrowFailure();
            throwDamaged(container, QStringLiteral("its container cannot be read"));
        }
        for (unsigned i = 0; i < m_context->nb_streams; ++i) {
            AVStream* stream = m_context->streams[i];
            const bool picture = (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
            if (m_video == nullptr && !picture &&
                stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
                m_video = stream;
            } else {
                stream->discard = AVDISCARD_ALL;
            }
        }
    }

    void release()
    {
        avformat_close_input(&m_context);
        if (m_io != nullptr) {
            av_freep(&m_io->buffer);
            avio_context_free(&m_io);
        }
    }

    Container m_container;
    Input m_input;
    AVIOContext* m_io = nullptr;
    AVFormatContext* m_context = nullptr;
    AVStream* m_video = nullptr;
};

struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct CodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct ScalerFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using Packet = std::unique_ptr<AVPacket, PacketFree>;
using Frame = std::unique_ptr<AVFrame, FrameFree>;

Packet newPacket()
{
    Packet packet(av_packet_alloc());
    if (!packet) {
        throwNoMemory();
    }
    return packet;
}

Frame newFrame()
{
    Frame frame(av_frame_alloc());
    if (!frame) {
        throwNoMemory();
    }
    return frame;
}

// A field of an FFmpeg enum type as a number: a damaged clip can leave a value there that
// is none of the enum's, which C++ must not load as the enum.
template <typename Enum> int enumValue(const Enum& field)
{
    static_assert(sizeof(Enum) == sizeof(int));
    int value = 0;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

std::int64_t frameDuration(const AVFrame& frame)
{
#if LIBAVUTIL_VERSION_MAJOR >= 58
    return frame.duration;
#else
    return frame.pkt_duration;
#endif
}

// Decodes the video stream frame by frame, holding each until the next one's time is known.
class ClipDecoder {
public:
    ClipDecoder(Demuxer& demuxer, const ClipRequest& request)
        : m_demuxer(demuxer), m_request(request), m_stream(*demuxer.video())
    {
        const AVCodec* codec = avcodec_find_decoder(m_stream.codecpar->codec_id);
        if (codec == nullptr) {
            throw Error(
                ErrorCode::NotAPicture,
                QStringLiteral("The %1 clip's video is coded as %2, which this program "
                               "cannot decode.")
                    .arg(formatName(request.container),
                         QString::fromLatin1(avcodec_get_name(m_stream.codecpar->codec_id))));
        }
        m_codec.reset(avcodec_alloc_context3(codec));
        if (!m_codec || avcodec_parameters_to_context(m_codec.get(), m_stream.codecpar) < 0) {
            throwNoMemory();
        }
        m_codec->max_pixels = request.maxFramePixels;
        // One thread: the frames come in order on the caller's thread, and a damaged clip's
        // decoding never races; the converter's other stages are cheap beside it.
        m_codec->thread_count = 1;
        if (avcodec_open2(m_codec.get(), codec, nullptr) < 0) {
            throwDamaged(request.container, QStringLiteral("its video decoder cannot start"));
        }
        m_time = m_stream.time_base;
    }

    ClipFound run()
    {
        bool loggedError = false;
        const LoggedErrors logged(loggedError);
        const Packet packet = newPacket();
        const Frame frame = newFrame();
        m_waiting = newFrame();
        bool failed = false;
        std::int64_t packets = 0;
        // A packet seldom gives no frame (the second field of an interlaced frame, a codec's
        // header); a clip of nothing else is refused before its packets take long.
        const std::int64_t maxPackets = 4LL * m_request.maxFrames + 64;
        while (!m_done && m_demuxer.next(packet.get(), failed)) {
            if (++packets > maxPackets) {
                throw Error(ErrorCode::PictureTooLarge,
                            QStringLiteral("The %1 clip has more than %2 video packets.")
                                .arg(formatName(m_request.container))
                                .arg(maxPackets));
            }
            if ((packet->flags & AV_PKT_FLAG_CORRUPT) != 0) {
                m_found.dataSkipped = true;
            }
            const int sent = avcodec_send_packet(m_codec.get(), packet.get());
            av_packet_unref(packet.get());
            if (sent < 0 && sent != AVERROR(EAGAIN)) {
                m_found.dataSkipped = true;
            }
            receive(frame.get());
        }
        if (!m_done) {
            avcodec_send_packet(m_codec.get(), nullptr);
            receive(frame.get());
        }
        if (m_found.frames == 0) {
            throwDamaged(m_request.container, QStringLiteral("not one frame of it decodes"));
        }
        if (!m_done) {
            showWaiting(lastDelay());
        }
        m_found.dataSkipped = m_found.dataSkipped || loggedError;
        m_found.endedEarly =
            failed || (!m_done && m_stream.nb_frames > 0 && m_found.frames < m_stream.nb_frames) ||
            (!m_done && m_demuxer.cutShort());
        return m_found;
    }

private:
    void receive(AVFrame* frame)
    {
        while (!m_done) {
            const int got = avcodec_receive_frame(m_codec.get(), frame);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) {
                return;
            }
            if (got < 0) {
                m_found.dataSkipped = true;
                return;
            }
            decoded(frame);
        }
    }

    // A frame's presentation time in milliseconds from the first frame's.
    std::int64_t timeOf(const AVFrame& frame)
    {
        const std::int64_t stamp = frame.best_effort_timestamp;
        if (stamp == AV_NOPTS_VALUE) {
            return m_found.frames == 0 ? 0 : m_waitingMs + meanDelay();
        }
        if (m_found.frames == 0) {
            m_firstStamp = stamp;
        }
        return av_rescale_q(stamp - m_firstStamp, m_time, AVRational{1, 1000});
    }

    void decoded(AVFrame* frame)
    {
        if (frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0) {
            m_found.dataSkipped = true;
        }
        charge(*frame);
        const std::int64_t ms = timeOf(*frame);
        if (m_found.frames > 0) {
            showWaiting(ms - m_waitingMs);
        }
        if (m_found.frames >= m_request.maxFrames) {
            throw Error(ErrorCode::PictureTooLarge,
                        QStringLiteral("The %1 clip has more than %2 frames.")
                            .arg(formatName(m_request.container))
                            .arg(m_request.maxFrames));
        }
        av_frame_unref(m_waiting.get());
        av_frame_move_ref(m_waiting.get(), frame);
        m_waitingMs = ms;
        ++m_found.frames;
        m_done = m_request.lastFrame >= 0 && m_found.frames > m_request.lastFrame + 1;
    }

    // Charges a frame's pixels against the clip's allowance before they are converted.
    void charge(const AVFrame& frame)
    {
        const std::int64_t pixels = std::int64_t{frame.width} * frame.height;
        if (frame.width <= 0 || frame.height <= 0 || pixels > m_request.maxFramePixels) {
            throwDamaged(m_request.container, QStringLiteral("frame %1 declares %2 x %3 pixels")
                                                  .arg(m_found.frames + 1)
                                                  .arg(frame.width)
                                                  .arg(frame.height));
        }
        m_decodedPixels += pixels;
        if (m_decodedPixels > m_request.maxDecodedPixels) {
            throw Error(ErrorCode::PictureTooLarge,
                        QStringLiteral("The %1 clip's frames come to more than %2 million "
                                       "pixels.")
                            .arg(formatName(m_request.container))
                            .arg(m_request.maxDecodedPixels / 1'000'000));
        }
    }

    [[nodiscard]] std::int64_t meanDelay() const
    {
        if (m_found.frames >= 2 && m_waitingMs > 0) {
            return std::max<std::int64_t>(1, m_waitingMs / (m_found.frames - 1));
        }
        const AVRational rate = m_stream.avg_frame_rate;
        if (rate.num > 0 && rate.den > 0) {
            return std::max<std::int64_t>(1, av_rescale(1000, rate.den, rate.num));
        }
        return 100;
    }

    // The last frame's: its own duration, else the mean of the others.
    [[nodiscard]] std::int64_t lastDelay() const
    {
        const std::int64_t duration = frameDuration(*m_waiting);
        if (duration > 0) {
            const std::int64_t ms = av_rescale_q(duration, m_time, AVRational{1, 1000});
            if (ms > 0) {
                return ms;
            }
        }
        return meanDelay();
    }

    // The waiting frame, index frames - 1, shown for `delayMs` if it is asked for.
    void showWaiting(std::int64_t delayMs)
    {
        const int index = m_found.frames - 1;
        if (index < m_request.firstFrame ||
            (m_request.lastFrame >= 0 && index > m_request.lastFrame)) {
            return;
        }
        const AVFrame& frame = *m_waiting;
        if (m_pixels.empty()) {
            m_width = frame.width;
            m_height = frame.height;
            if (m_request.sized) {
                m_request.sized(m_width, m_height);
            }
            // swscale writes whole SIMD blocks: room past the last row's end for one.
            m_pixels.resize(static_cast<std::size_t>(m_width) * static_cast<std::size_t>(m_height) +
                            kScalerSlackPixels);
        }
        convert(frame);
        ClipFrame shown;
        shown.index = index;
        shown.delayMs = static_cast<int>(std::clamp<std::int64_t>(delayMs, 1, 3'600'000));
        shown.width = m_width;
        shown.height = m_height;
        shown.pixels = m_pixels.data();
        m_request.shown(shown);
    }

    // The frame in 0xAARRGGBB at the first frame's size.
    void convert(const AVFrame& frame)
    {
        if (frame.format < 0 || frame.format >= AV_PIX_FMT_NB) {
            throwDamaged(m_request.container,
                         QStringLiteral("frame %1 has no pixel format").arg(m_found.frames));
        }
        const auto format = static_cast<AVPixelFormat>(frame.format);
        m_scaler.reset(sws_getCachedContext(m_scaler.release(), frame.width, frame.height, format,
                                            m_width, m_height, AV_PIX_FMT_BGRA, SWS_BILINEAR,
                                            nullptr, nullptr, nullptr));
        if (!m_scaler) {
            throwDamaged(m_request.container,
                         QStringLiteral("frame %1 is in a pixel format that cannot be converted")
                             .arg(m_found.frames));
        }
        const int* table = sws_getCoefficients(
            enumValue(frame.colorspace) == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT);
        const int fullRange = enumValue(frame.color_range) == AVCOL_RANGE_JPEG ? 1 : 0;
        sws_setColorspaceDetails(m_scaler.get(), table, fullRange, table, 1, 0, 1 << 16, 1 << 16);
        std::array<std::uint8_t*, 4> planes{reinterpret_cast<std::uint8_t*>(m_pixels.data()),
                                            nullptr, nullptr, nullptr};
        std::array<int, 4> strides{m_width * 4, 0, 0, 0};
        sws_scale(m_scaler.get(), frame.data, frame.linesize, 0, frame.height, planes.data(),
                  strides.data());
    }

    Demuxer& m_demuxer;
    const ClipRequest& m_request;
    AVStream& m_stream;
    AVRational m_time{1, 1000};
    std::unique_ptr<AVCodecContext, CodecFree> m_codec;
    std::unique_ptr<SwsContext, ScalerFree> m_scaler;
    Frame m_waiting;
    std::int64_t m_firstStamp = 0;
    std::int64_t m_waitingMs = 0;
    std::int64_t m_decodedPixels = 0;
    int m_width = 0;
    int m_height = 0;
    std::vector<std::uint32_t> m_pixels;
    ClipFound m_found;
    bool m_done = false;
};

} // namespace

Container containerOf(std::span<const std::uint8_t> start)
{
    if (const Container iso = isoContainer(start); iso != Container::None) {
        return iso;
    }
    if (const Container matroska = matroskaContainer(start); matroska != Container::None) {
        return matroska;
    }
    if (hasText(start, 0, "RIFF") && hasText(start, 8, "AVI ")) {
        return Container::Avi;
    }
    return Container::None;
}

const char* containerName(Container container)
{
    switch (container) {
    case Container::Mp4:
        return "MP4";
    case Container::Mov:
        return "MOV";
    case Container::Matroska:
        return "MKV";
    case Container::WebM:
        return "WebM";
    case Container::Avi:
        return "AVI";
    case Container::None:
        break;
    }
    return "";
}

ClipFound readClip(const ClipBytes& read, const ClipRequest& request)
{
    Demuxer demuxer(read, request.container, request.size);
    if (demuxer.video() == nullptr) {
        throw Error(
            ErrorCode::NotAPicture,
            QStringLiteral("The %1 file holds no video.").arg(formatName(request.container)));
    }
    try {
        ClipDecoder decoder(demuxer, request);
        return decoder.run();
    } catch (const std::bad_alloc&) {
        throwNoMemory();
    }
}

int countClipFrames(const ClipBytes& read, Container container, std::uint64_t size)
{
    try {
        Demuxer demuxer(read, container, size);
        // A container with an index (MP4, MOV, AVI) lists its frames.
        if (demuxer.video() != nullptr && demuxer.video()->nb_frames > 0) {
            return static_cast<int>(std::min<std::int64_t>(demuxer.video()->nb_frames,
                                                           std::numeric_limits<int>::max()));
        }
        const Packet packet = newPacket();
        int count = 0;
        bool failed = false;
        while (demuxer.next(packet.get(), failed)) {
            av_packet_unref(packet.get());
            if (++count == std::numeric_limits<int>::max()) {
                break;
            }
        }
        return count;
    } catch (const Error&) {
        return 0;
    }
}

} // namespace pixelcast::video
