#pragma once

#include "decoders/decoding.h"

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <gtest/gtest.h>
#include <ios>
#include <span>
#include <sstream>
#include <vector>

namespace pixelcast::test {

// Everything a decoder delivered: its size, and every pixel, rows it never delivered left
// transparent (0).
struct DecodedPicture {
    int width = 0;
    int height = 0;
    std::vector<Argb> pixels;
    std::vector<bool> delivered; // per row
    // What the decoder said about damage (the last kind it named), and the whole scans of a
    // progressive picture that ended early (-1: not said).
    Damage damage = Damage::None;
    int wholeScans = -1;

    [[nodiscard]] Argb at(int x, int y) const
    {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                      static_cast<std::size_t>(x)];
    }
    friend bool operator==(const DecodedPicture&, const DecodedPicture&) = default;
};

// A sink that keeps every row it is given and checks the order decoders promise.
class CollectingSink final : public PictureSink {
public:
    void begin(int width, int height) override
    {
        m_picture.width = width;
        m_picture.height = height;
        m_picture.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                                0);
        m_picture.delivered.assign(static_cast<std::size_t>(height), false);
        ++m_begun;
    }
    [[nodiscard]] bool wants(int /*y*/) const override { return true; }
    void row(int y, const Argb* pixels) override
    {
        if (y <= m_lastRow || y >= m_picture.height || m_begun != 1) {
            m_orderKept = false;
            return;
        }
        m_lastRow = y;
        m_picture.delivered[static_cast<std::size_t>(y)] = true;
        std::copy(pixels, pixels + m_picture.width,
                  m_picture.pixels.begin() + static_cast<std::ptrdiff_t>(y) * m_picture.width);
    }

    void endedAfterScans(int wholeScans) override { m_picture.wholeScans = wholeScans; }
    void foundDamage(Damage kind) override { m_picture.damage = kind; }

    [[nodiscard]] const DecodedPicture& picture() const { return m_picture; }
    // begin came once, and rows came once each, top down, inside the picture.
    [[nodiscard]] bool orderKept() const { return m_orderKept && m_begun == 1; }

private:
    DecodedPicture m_picture;
    int m_begun = 0;
    int m_lastRow = -1;
    bool m_orderKept = true;
};

using Decoder = void (*)(std::span<const std::uint8_t>, PictureSink&);

inline std::span<const std::uint8_t> asBytes(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
            static_cast<std::size_t>(bytes.size())};
}

// Runs `decoder` on `bytes` and returns what it delivered; fails the calling test through
// the returned flag if the decoder broke the sink's order.
inline DecodedPicture decodeWith(Decoder decoder, const QByteArray& bytes,
                                 bool* orderKept = nullptr)
{
    CollectingSink sink;
    decoder(asBytes(bytes), sink);
    if (orderKept != nullptr) {
        *orderKept = sink.orderKept();
    }
    return sink.picture();
}

// The same picture as Qt decodes it, for comparing with a reference decoder: every row
// delivered, pixels as non-premultiplied 0xAARRGGBB.
inline DecodedPicture fromQImage(const QImage& decoded)
{
    const QImage image = decoded.convertToFormat(QImage::Format_ARGB32);
    DecodedPicture p;
    p.width = image.width();
    p.height = image.height();
    p.delivered.assign(static_cast<std::size_t>(image.height()), true);
    p.pixels.reserve(static_cast<std::size_t>(image.width()) *
                     static_cast<std::size_t>(image.height()));
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        p.pixels.insert(p.pixels.end(), line, line + image.width());
    }
    return p;
}

// Two decoded pictures are the same: size, which rows were delivered, and every pixel. The
// failure names the first difference.
inline ::testing::AssertionResult samePicture(const DecodedPicture& actual,
                                              const DecodedPicture& expected)
{
    if (actual.width != expected.width || actual.height != expected.height) {
        return ::testing::AssertionFailure()
               << "size " << actual.width << " x " << actual.height << ", expected "
               << expected.width << " x " << expected.height;
    }
    for (int y = 0; y < actual.height; ++y) {
        const auto row = static_cast<std::size_t>(y);
        if (actual.delivered[row] != expected.delivered[row]) {
            return ::testing::AssertionFailure()
                   << "row " << y << (actual.delivered[row] ? " delivered" : " not delivered")
                   << ", expected the opposite";
        }
        for (int x = 0; x < actual.width; ++x) {
            if (actual.at(x, y) != expected.at(x, y)) {
                std::ostringstream out;
                out << std::hex << "pixel (" << std::dec << x << ", " << y << ") is 0x" << std::hex
                    << actual.at(x, y) << ", expected 0x" << expected.at(x, y);
                return ::testing::AssertionFailure() << out.str();
            }
        }
    }
    return ::testing::AssertionSuccess();
}

} // namespace pixelcast::test
