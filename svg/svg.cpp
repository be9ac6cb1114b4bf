#include "svg.h"

#include "decoders/byte_order.h"
#include "errors/error.h"
#include "metafile/helper_process.h"
#include "svg/svg_protocol.h"

#include <QDir>

#include <cstring>
#include <string_view>
#include <zlib.h>

namespace pixelcast {

namespace {

// How far into a document its root element is looked for: past the longest prologue
// (comments, a document type with its entities) any real file has.
constexpr qsizetype kPrologueBytes = qsizetype{1024} * 1024;

bool startsWith(std::string_view text, std::size_t at, std::string_view prefix)
{
    return text.substr(at, prefix.size()) == prefix;
}

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Whether the document's first element is svg (with or without a namespace prefix).
bool rootIsSvg(std::string_view text)
{
    std::size_t at = startsWith(text, 0, "\xEF\xBB\xBF") ? 3 : 0;
    for (;;) {
        while (at < text.size() && isXmlSpace(text[at])) {
            ++at;
        }
        if (startsWith(text, at, "<?") || startsWith(text, at, "<!--")) {
            const std::string_view end = text[at + 1] == '?' ? "?>" : "-->";
            const std::size_t found = text.find(end, at + 2);
            if (found == std::string_view::npos) {
                return false;
            }
            at = found + end.size();
            continue;
        }
        if (startsWith(text, at, "<!DOCTYPE")) {
            // To its '>', past any internal subset and quoted strings.
            int depth = 0;
            char quote = 0;
            for (at += 9; at < text.size(); ++at) {
                const char c = text[at];
                if (quote != 0) {
                    quote = c == quote ? 0 : quote;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '[') {
                    ++depth;
                } else if (c == ']') {
                    --depth;
                } else if (c == '>' && depth <= 0) {
                    break;
                }
            }
            if (at >= text.size()) {
                return false;
            }
            ++at;
            continue;
        }
        if (!startsWith(text, at, "<")) {
            return false;
        }
        std::size_t end = at + 1;
        while (end < text.size() && !isXmlSpace(text[end]) && text[end] != '>' &&
               text[end] != '/') {
            ++end;
        }
        std::string_view name = text.substr(at + 1, end - at - 1);
        if (const std::size_t colon = name.rfind(':'); colon != std::string_view::npos) {
            name.remove_prefix(colon + 1);
        }
        return name == "svg" && end < text.size();
    }
}

// Unpacks gzip `bytes` up to `limit` bytes of output (one more shows the limit was passed).
// `whole` tells whether the stream ended properly with a right checksum.
QByteArray gunzip(const QByteArray& bytes, qsizetype limit, bool& whole)
{
    whole = false;
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
        throw Error(ErrorCode::NotEnoughMemory,
                    QStringLiteral("There is not enough memory to unpack the SVGZ file."));
    }
    QByteArray out;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    int status = Z_OK;
    while (status == Z_OK && out.size() <= limit) {
        const qsizetype have = out.size();
        const qsizetype room =
            std::min<qsizetype>(std::max<qsizetype>(have, qsizetype{64} * 1024), limit + 1 - have);
        out.resize(have + room);
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + have);
        stream.avail_out = static_cast<uInt>(room);
        status = inflate(&stream, Z_NO_FLUSH);
        out.resize(have + room - static_cast<qsizetype>(stream.avail_out));
        if (status == Z_BUF_ERROR && stream.avail_out != 0) {
            break; // the input ran out
        }
        if (status == Z_BUF_ERROR) {
            status = Z_OK;
        }
    }
    whole = status == Z_STREAM_END;
    inflateEnd(&stream);
    return out;
}

Error tooLarge()
{
    return Error(ErrorCode::PictureTooLarge,
                 QStringLiteral("The SVG document is larger than %1 MB, the largest this "
                                "program reads.")
                     .arg(svg::kMaxDocumentBytes / (std::int64_t{1024} * 1024)));
}

Error failed(const QString& why)
{
    return Error(ErrorCode::SvgFailed,
                 QStringLiteral("The SVG picture could not be drawn: %1.").arg(why));
}

Error timedOut(int seconds)
{
    return Error(ErrorCode::SvgTimedOut,
                 QStringLiteral("Drawing the SVG picture took longer than %1 seconds and was "
                                "stopped.")
                     .arg(seconds));
}

SvgDrawing decodeOutput(const QByteArray& out)
{
    if (out.size() < svg::kHeaderBytes || std::memcmp(out.constData(), svg::kMagic, 4) != 0) {
        throw failed(QStringLiteral("the drawing program gave no picture"));
    }
    SvgDrawing drawing;
    drawing.ownWidth = static_cast<int>(std::min<std::uint32_t>(le32(out, 4), 1U << 30U));
    drawing.ownHeight = static_cast<int>(std::min<std::uint32_t>(le32(out, 8), 1U << 30U));
    const std::uint32_t width = le32(out, 12);
    const std::uint32_t height = le32(out, 16);
    drawing.damaged = (le32(out, 20) & svg::kRepaired) != 0;
    if (width == 0 || height == 0 || width > svg::kMaxSide || height > svg::kMaxSide ||
        static_cast<qint64>(width) * height > svg::kMaxPixels) {
        throw failed(QStringLiteral("the drawing program gave a picture of an impossible size"));
    }
    const qint64 expected = svg::kHeaderBytes + static_cast<qint64>(width) * height * 4;
    if (out.size() != expected) {
        throw failed(QStringLiteral("the drawing program gave %1 bytes of picture instead of %2")
                         .arg(out.size() - svg::kHeaderBytes)
                         .arg(expected - svg::kHeaderBytes));
    }
    drawing.picture = Surface(static_cast<int>(width), static_cast<int>(height), kBlack);
    qint64 at = svg::kHeaderBytes;
    for (int y = 0; y < static_cast<int>(height); ++y) {
        for (int x = 0; x < static_cast<int>(width); ++x, at += 4) {
            drawing.picture.write(x, y, le32(out, at) & 0xFFFFFFU);
        }
    }
    return drawing;
}

} // namespace

bool isGzip(const QByteArray& bytes)
{
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1F &&
           static_cast<unsigned char>(bytes[1]) == 0x8B;
}

bool looksLikeSvg(const QByteArray& bytes)
{
    if (isGzip(bytes)) {
        bool whole = false;
        const QByteArray start = gunzip(bytes, kPrologueBytes, whole);
        return rootIsSvg(
            std::string_view(start.constData(), static_cast<std::size_t>(start.size())));
    }
    return rootIsSvg(std::string_view(
        bytes.constData(), static_cast<std::size_t>(std::min(bytes.size(), kPrologueBytes))));
}

QString defaultSvgHelper()
{
    return helperBesideProgram("PIXELCAST_SVG_HELPER", QStringLiteral("pixelcast-svg"));
}

QByteArray svgDocument(const QByteArray& bytes, bool& whole)
{
    whole = true;
    QByteArray document = isGzip(bytes) ? gunzip(bytes, svg::kMaxDocumentBytes, whole) : bytes;
    if (document.size() > svg::kMaxDocumentBytes) {
        throw tooLarge();
    }
    return document;
}

SvgDrawing renderSvg(const QByteArray& bytes, ColorRef background, QSize box, SvgFit fit,
                     const SvgLimits& limits)
{
    bool whole = true;
    const QByteArray document = svgDocument(bytes, whole);
    const QString helper = limits.helper.isEmpty() ? defaultSvgHelper() : limits.helper;
    HelperLimits run;
    run.memoryBytes = limits.memoryBytes;
    run.cpuSeconds = limits.cpuSeconds;
    run.wallMilliseconds = limits.wallMilliseconds;
    run.largestOutput = svg::kHeaderBytes + svg::kMaxPixels * 4;
    static constexpr const char* kFits[] = {"fill", "keep", "own"};
    const QSize drawn = fit == SvgFit::Own ? QSize(1, 1) : box;
    const HelperRun ran =
        runHelper(helper,
                  {QStringLiteral("%1").arg(background & 0xFFFFFFU, 6, 16, QLatin1Char('0')),
                   QString::number(drawn.width()), QString::number(drawn.height()),
                   QString::fromLatin1(kFits[static_cast<int>(fit)])},
                  document, run);
    switch (ran.end) {
    case HelperRun::End::Missing:
        throw Error(ErrorCode::SvgHelperMissing,
                    QStringLiteral("SVG pictures are drawn by the program \"%1\", which is "
                                   "missing; reinstall Pixelcast.")
                        .arg(QDir::toNativeSeparators(helper)));
    case HelperRun::End::NotStarted:
        throw Error(ErrorCode::SvgHelperMissing,
                    QStringLiteral("The SVG drawing program \"%1\" could not be started: %2.")
                        .arg(QDir::toNativeSeparators(helper), ran.why));
    case HelperRun::End::TimedOut:
        throw timedOut((limits.wallMilliseconds + 999) / 1000);
    case HelperRun::End::OverProcessorTime:
        throw timedOut(limits.cpuSeconds);
    case HelperRun::End::TooMuchOutput:
        throw failed(QStringLiteral("the drawing program gave more output than any picture"));
    case HelperRun::End::Crashed:
        throw failed(QStringLiteral("the drawing program stopped on signal %1 (%2)")
                         .arg(ran.status)
                         .arg(QString::fromLocal8Bit(::strsignal(ran.status))));
    case HelperRun::End::Exited:
        break;
    }
    switch (ran.status) {
    case svg::ExitDrawn: {
        SvgDrawing drawing = decodeOutput(ran.out);
        drawing.damaged = drawing.damaged || !whole;
        return drawing;
    }
    case svg::ExitNotReadable:
        throw failed(QStringLiteral("the file is damaged or is not an SVG document"));
    case svg::ExitNoMemory:
        throw failed(QStringLiteral("it needs more memory than a picture is allowed"));
    case svg::ExitNoSize:
        throw failed(QStringLiteral("it declares no size and draws nothing"));
    case svg::ExitNotDrawn:
        throw failed(QStringLiteral("the renderer gave up on it (too many elements or "
                                    "references, or a reference to itself)"));
    default:
        throw failed(QStringLiteral("the drawing program ended with code %1").arg(ran.status));
    }
}

} // namespace pixelcast
