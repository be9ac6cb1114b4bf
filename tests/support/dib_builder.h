#pragma once

#include "support/le_bytes.h"

#include <QByteArray>
#include <QRgb>

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>

// Device-independent bitmaps built byte by byte, for the BMP and icon tests: the headers
// with the fields a test sets, palettes, and rows padded to whole 32-bit words.
namespace pixelcast::test {

// The fields of an info header a test chooses; the rest are zero.
struct DibLayout {
    std::uint32_t headerBytes = 40; // 12, 40, 52, 56, 64, 108 or 124
    std::int32_t width = 1;
    std::int32_t height = 1; // as stored: negative for top down, doubled in icons
    std::uint32_t bits = 24;
    std::uint32_t compression = 0;
    std::uint32_t coloursUsed = 0;
    // Red, green, blue, alpha: written into headers that hold them (three from 52 bytes,
    // four from 56; OS/2's 64 bytes hold none).
    std::array<std::uint32_t, 4> masks{};
};

inline QByteArray infoHeader(const DibLayout& layout)
{
    LeBytes b;
    b.u32(layout.headerBytes);
    if (layout.headerBytes == 12) {
        b.u16(static_cast<std::uint32_t>(layout.width))
            .u16(static_cast<std::uint32_t>(layout.height));
        b.u16(1).u16(layout.bits);
        return b.data();
    }
    b.u32(static_cast<std::uint32_t>(layout.width)).u32(static_cast<std::uint32_t>(layout.height));
    b.u16(1).u16(layout.bits).u32(layout.compression).u32(0).u32(2835).u32(2835);
    b.u32(layout.coloursUsed).u32(0);
    if (layout.headerBytes != 64) {
        const std::uint32_t heldMasks = layout.headerBytes == 52   ? 3U
                                        : layout.headerBytes >= 56 ? 4U
                                                                   : 0U;
        for (std::uint32_t i = 0; i < heldMasks; ++i) {
            b.u32(layout.masks[i]);
        }
    }
    b.zeros(static_cast<qsizetype>(layout.headerBytes) - b.data().size());
    return b.data();
}

// Palette entries: blue, green, red and a zero byte each, or without the zero byte for
// the OS/2 core header.
inline QByteArray palette(std::initializer_list<QRgb> colours, bool core = false)
{
    LeBytes b;
    for (const QRgb c : colours) {
        b.u8({qBlue(c), qGreen(c), qRed(c)});
        if (!core) {
            b.u8({0});
        }
    }
    return b.data();
}

// `height` rows from `rowAt(stored index)`, each padded with zeros to a multiple of 4 bytes.
inline QByteArray paddedRows(int height, const std::function<QByteArray(int)>& rowAt)
{
    QByteArray rows;
    for (int i = 0; i < height; ++i) {
        QByteArray row = rowAt(i);
        row.append((4 - row.size() % 4) % 4, '\0');
        rows.append(row);
    }
    return rows;
}

// A BMP file: file header, info header, `tables` (palette or masks), then `pixels` at
// `pixelOffset`, or straight after the tables when none is given. An offset up to a
// megabyte past the tables is reached with zeros; a larger one is only written down.
inline QByteArray bmpFile(const DibLayout& layout, const QByteArray& tables,
                          const QByteArray& pixels,
                          std::optional<std::uint32_t> pixelOffset = std::nullopt)
{
    const QByteArray header = infoHeader(layout);
    const auto after = static_cast<std::uint32_t>(14 + header.size() + tables.size());
    const std::uint32_t offset = pixelOffset.value_or(after);
    LeBytes b;
    b.u8({'B', 'M'}).u32(after + static_cast<std::uint32_t>(pixels.size())).u32(0).u32(offset);
    b.bytes(header).bytes(tables);
    if (offset > after && offset - after < 1U << 20U) {
        b.zeros(offset - after);
    }
    return b.bytes(pixels).data();
}

} // namespace pixelcast::test
