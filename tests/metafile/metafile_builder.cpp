#include "metafile_builder.h"

#include "support/le_bytes.h"

namespace pixelcast::test {

namespace {

std::vector<std::uint16_t> colourWords(ColorRef c)
{
    return {static_cast<std::uint16_t>(c & 0xFFFFU), static_cast<std::uint16_t>(c >> 16U)};
}

} // namespace

MetafileBuilder MetafileBuilder::placeable(QRect frame, int unitsPerInch)
{
    MetafileBuilder b;
    b.m_placeable = true;
    b.m_frame = frame;
    b.m_unitsPerInch = unitsPerInch;
    return b;
}

MetafileBuilder MetafileBuilder::bare()
{
    return {};
}

MetafileBuilder& MetafileBuilder::record(std::uint16_t function, std::initializer_list<int> words)
{
    std::vector<std::uint16_t> v;
    for (int w : words) {
        v.push_back(static_cast<std::uint16_t>(w));
    }
    return record(function, v);
}

MetafileBuilder& MetafileBuilder::record(std::uint16_t function,
                                         const std::vector<std::uint16_t>& words)
{
    const auto size = static_cast<std::uint32_t>(3 + words.size());
    appendLe32(m_records, size);
    appendLe16(m_records, function);
    for (std::uint16_t w : words) {
        appendLe16(m_records, w);
    }
    m_largestRecord = std::max(m_largestRecord, size);
    return *this;
}

MetafileBuilder& MetafileBuilder::selectNew(std::uint16_t function,
                                            const std::vector<std::uint16_t>& words)
{
    record(function, words);
    return record(0x012D, {m_objects++}); // SELECTOBJECT
}

MetafileBuilder& MetafileBuilder::mapMode(int mode)
{
    return record(0x0103, {mode});
}

MetafileBuilder& MetafileBuilder::windowOrigin(int x, int y)
{
    return record(0x020B, {y, x});
}

MetafileBuilder& MetafileBuilder::windowExtent(int x, int y)
{
    return record(0x020C, {y, x});
}

MetafileBuilder& MetafileBuilder::polyFillMode(int mode)
{
    return record(0x0106, {mode});
}

MetafileBuilder& MetafileBuilder::backgroundMode(int mode)
{
    return record(0x0102, {mode});
}

MetafileBuilder& MetafileBuilder::textColour(ColorRef colour)
{
    return record(0x0209, colourWords(colour));
}

MetafileBuilder& MetafileBuilder::solidBrush(ColorRef colour)
{
    std::vector<std::uint16_t> w{0}; // BS_SOLID
    for (auto c : colourWords(colour)) {
        w.push_back(c);
    }
    w.push_back(0);
    return selectNew(0x02FC, w);
}

MetafileBuilder& MetafileBuilder::hatchedBrush(ColorRef colour, int hatch)
{
    std::vector<std::uint16_t> w{2}; // BS_HATCHED
    for (auto c : colourWords(colour)) {
        w.push_back(c);
    }
    w.push_back(static_cast<std::uint16_t>(hatch));
    return selectNew(0x02FC, w);
}

MetafileBuilder& MetafileBuilder::nullBrush()
{
    return selectNew(0x02FC, {1, 0, 0, 0});
}

MetafileBuilder& MetafileBuilder::pen(int style, int width, ColorRef colour)
{
    std::vector<std::uint16_t> w{static_cast<std::uint16_t>(style),
                                 static_cast<std::uint16_t>(width), 0};
    for (auto c : colourWords(colour)) {
        w.push_back(c);
    }
    return selectNew(0x02FA, w);
}

MetafileBuilder& MetafileBuilder::font(int height, const QString& face)
{
    // LOGFONT16: height, width, escapement, orientation, weight, then eight bytes of
    // italic, underline, strike-out, charset, precisions, quality and pitch, then the
    // NUL-terminated face name padded to whole words.
    std::vector<std::uint16_t> w{static_cast<std::uint16_t>(height), 0, 0, 0, 400, 0, 0, 0, 0};
    QByteArray name = face.toLatin1();
    name.append('\0');
    if (name.size() % 2 != 0) {
        name.append('\0');
    }
    for (qsizetype i = 0; i < name.size(); i += 2) {
        w.push_back(static_cast<std::uint16_t>(static_cast<std::uint8_t>(name[i]) |
                                               static_cast<std::uint8_t>(name[i + 1]) << 8U));
    }
    return selectNew(0x02FB, w);
}

MetafileBuilder& MetafileBuilder::rectangle(QRect r)
{
    return record(0x041B, {r.bottom() + 1, r.right() + 1, r.top(), r.left()});
}

MetafileBuilder& MetafileBuilder::ellipse(QRect r)
{
    return record(0x0418, {r.bottom() + 1, r.right() + 1, r.top(), r.left()});
}

MetafileBuilder& MetafileBuilder::moveTo(int x, int y)
{
    return record(0x0214, {y, x});
}

MetafileBuilder& MetafileBuilder::lineTo(int x, int y)
{
    return record(0x0213, {y, x});
}

MetafileBuilder& MetafileBuilder::polygon(const std::vector<QPoint>& points)
{
    std::vector<std::uint16_t> w{static_cast<std::uint16_t>(points.size())};
    for (const QPoint& p : points) {
        w.push_back(static_cast<std::uint16_t>(p.x()));
        w.push_back(static_cast<std::uint16_t>(p.y()));
    }
    return record(0x0324, w);
}

MetafileBuilder& MetafileBuilder::textOut(int x, int y, const QByteArray& text)
{
    std::vector<std::uint16_t> w{static_cast<std::uint16_t>(text.size())};
    for (qsizetype i = 0; i < text.size(); i += 2) {
        const auto low = static_cast<std::uint8_t>(text[i]);
        const auto high = i + 1 < text.size() ? static_cast<std::uint8_t>(text[i + 1]) : 0U;
        w.push_back(static_cast<std::uint16_t>(low | high << 8U));
    }
    w.push_back(static_cast<std::uint16_t>(y));
    w.push_back(static_cast<std::uint16_t>(x));
    return record(0x0521, w);
}

MetafileBuilder& MetafileBuilder::stretchDib(QRect target, int width, int height,
                                             const std::vector<ColorRef>& topDown)
{
    QByteArray dib;
    appendLe32(dib, 40); // BITMAPINFOHEADER
    appendLe32(dib, static_cast<std::uint32_t>(width));
    appendLe32(dib, static_cast<std::uint32_t>(height)); // positive: rows bottom-up
    appendLe16(dib, 1);
    appendLe16(dib, 24);
    for (int i = 0; i < 6; ++i) {
        appendLe32(dib, 0);
    }
    for (int row = height - 1; row >= 0; --row) {
        QByteArray line;
        for (int x = 0; x < width; ++x) {
            const ColorRef c = topDown[static_cast<std::size_t>(row * width + x)];
            line.append(static_cast<char>(blueOf(c)));
            line.append(static_cast<char>(greenOf(c)));
            line.append(static_cast<char>(redOf(c)));
        }
        while (line.size() % 4 != 0) {
            line.append('\0');
        }
        dib += line;
    }
    std::vector<std::uint16_t> w{0x0020,
                                 0x00CC, // SRCCOPY
                                 0,      // DIB_RGB_COLORS
                                 static_cast<std::uint16_t>(height),
                                 static_cast<std::uint16_t>(width),
                                 0,
                                 0,
                                 static_cast<std::uint16_t>(target.height()),
                                 static_cast<std::uint16_t>(target.width()),
                                 static_cast<std::uint16_t>(target.top()),
                                 static_cast<std::uint16_t>(target.left())};
    for (qsizetype i = 0; i < dib.size(); i += 2) {
        w.push_back(static_cast<std::uint16_t>(static_cast<std::uint8_t>(dib[i]) |
                                               static_cast<std::uint8_t>(dib[i + 1]) << 8U));
    }
    return record(0x0F43, w);
}

MetafileBuilder& MetafileBuilder::clipRect(QRect r)
{
    return record(0x0416, {r.bottom() + 1, r.right() + 1, r.top(), r.left()});
}

QByteArray MetafileBuilder::bytes(bool withEnd) const
{
    QByteArray body = m_records;
    if (withEnd) {
        appendLe32(body, 3);
        appendLe16(body, 0);
    }
    QByteArray out;
    if (m_placeable) {
        QByteArray header;
        appendLe32(header, 0x9AC6CDD7U);
        appendLe16(header, 0);
        appendLe16(header, m_frame.left());
        appendLe16(header, m_frame.top());
        appendLe16(header, m_frame.left() + m_frame.width());
        appendLe16(header, m_frame.top() + m_frame.height());
        appendLe16(header, m_unitsPerInch);
        appendLe32(header, 0);
        std::uint16_t checksum = 0;
        for (qsizetype i = 0; i < header.size(); i += 2) {
            checksum ^= static_cast<std::uint16_t>(static_cast<std::uint8_t>(header[i]) |
                                                   static_cast<std::uint8_t>(header[i + 1]) << 8U);
        }
        appendLe16(header, checksum);
        out += header;
    }
    appendLe16(out, 1);     // in memory
    appendLe16(out, 9);     // header words
    appendLe16(out, 0x300); // version
    appendLe32(out, static_cast<std::uint32_t>((18 + body.size()) / 2));
    appendLe16(out, std::max(m_objects, 1));
    appendLe32(out, m_largestRecord);
    appendLe16(out, 0);
    return out + body;
}

} // namespace pixelcast::test
