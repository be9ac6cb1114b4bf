#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace pixelcast {

// The 1024 bytes of a 128 x 64 monochrome display in its page layout: the byte for
// column c (0-127) and page p (0-7) is at index c * 8 + p, and its bit k (k = 0 the least
// significant) is pixel (c, p * 8 + k), 1 for white. Zero-filled until first packed.
class DisplayArray {
public:
    static constexpr std::size_t kSize = 1024;
    static constexpr int kPages = 8;

    [[nodiscard]] static constexpr std::size_t indexOf(int column, int page)
    {
        return static_cast<std::size_t>(column) * kPages + static_cast<std::size_t>(page);
    }

    [[nodiscard]] std::uint8_t operator[](std::size_t i) const { return m_bytes.at(i); }
    [[nodiscard]] std::uint8_t& operator[](std::size_t i) { return m_bytes.at(i); }

    [[nodiscard]] std::span<const std::uint8_t, kSize> bytes() const { return m_bytes; }
    [[nodiscard]] static constexpr std::size_t size() { return kSize; }

    friend bool operator==(const DisplayArray&, const DisplayArray&) = default;

private:
    std::array<std::uint8_t, kSize> m_bytes{};
};

} // namespace pixelcast
