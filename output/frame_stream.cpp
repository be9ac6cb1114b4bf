#include "output/frame_stream.h"

#include <algorithm>
#include <stdexcept>

namespace pixelcast {

namespace {

constexpr std::uint8_t kLiteralToken = 0x80;
constexpr std::size_t kLongestZeros = 128;
constexpr std::size_t kLongestLiteral = 64;
constexpr std::size_t kLongestRepeat = 65;
constexpr std::uint8_t kRepeatToken = 0xC0;

// How many bytes from `at` equal the one there, at most `limit`.
std::size_t runAt(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t limit)
{
    std::size_t end = at;
    while (end < bytes.size() && end - at < limit && bytes[end] == bytes[at]) {
        ++end;
    }
    return end - at;
}

void codeFrame(std::span<const std::uint8_t> change, std::vector<std::uint8_t>& stream)
{
    std::size_t i = 0;
    while (i < change.size()) {
        if (change[i] == 0) {
            const std::size_t n = runAt(change, i, kLongestZeros);
            stream.push_back(static_cast<std::uint8_t>(n - 1));
            i += n;
            continue;
        }
        const std::size_t repeat = runAt(change, i, kLongestRepeat);
        if (repeat >= 3) {
            stream.push_back(static_cast<std::uint8_t>(kRepeatToken + (repeat - 2)));
            stream.push_back(change[i]);
            i += repeat;
            continue;
        }
        // A literal ends where two zeros or three equal bytes begin: shorter ones cost less
        // inside it than a token of their own.
        std::size_t end = i;
        while (end < change.size() && end - i < kLongestLiteral &&
               !(change[end] == 0 && runAt(change, end, 2) == 2) && runAt(change, end, 3) < 3) {
            ++end;
        }
        end = std::max(end, i + 1);
        stream.push_back(static_cast<std::uint8_t>(kLiteralToken + (end - i - 1)));
        stream.insert(stream.end(), change.begin() + static_cast<std::ptrdiff_t>(i),
                      change.begin() + static_cast<std::ptrdiff_t>(end));
        i = end;
    }
}

} // namespace

std::vector<std::uint8_t> compressFrames(std::span<const DisplayArray> frames)
{
    std::vector<std::uint8_t> stream;
    std::vector<std::uint8_t> previous;
    std::vector<std::uint8_t> change;
    for (const DisplayArray& frame : frames) {
        const DisplayArray current = repack(frame, pagesLayout());
        const auto bytes = current.bytes();
        previous.resize(bytes.size());
        change.resize(bytes.size());
        for (std::size_t i = 0; i < change.size(); ++i) {
            change[i] = static_cast<std::uint8_t>(bytes[i] ^ previous[i]);
        }
        codeFrame(change, stream);
        previous.assign(bytes.begin(), bytes.end());
    }
    return stream;
}

std::vector<DisplayArray> decompressFrames(std::span<const std::uint8_t> stream, std::size_t count,
                                           DisplayFormat format)
{
    std::vector<DisplayArray> frames;
    DisplayArray current({format.size, &pagesLayout()});
    const std::size_t frameBytes = current.size();
    std::size_t at = 0;
    const auto next = [&] {
        if (at >= stream.size()) {
            throw std::invalid_argument("the stream ends inside a frame");
        }
        return stream[at++];
    };
    for (std::size_t f = 0; f < count; ++f) {
        std::size_t i = 0;
        while (i < frameBytes) {
            const std::uint8_t token = next();
            const std::size_t length = token < kLiteralToken  ? token + 1U
                                       : token < kRepeatToken ? token - kLiteralToken + 1U
                                                              : token - kRepeatToken + 2U;
            if (i + length > frameBytes) {
                throw std::invalid_argument("a token runs past its frame");
            }
            const std::uint8_t repeated = token >= kRepeatToken ? next() : 0;
            for (std::size_t k = 0; k < length; ++k, ++i) {
                if (token >= kRepeatToken) {
                    current[i] ^= repeated;
                } else if (token >= kLiteralToken) {
                    current[i] ^= next();
                }
            }
        }
        frames.push_back(repack(current, *format.layout));
    }
    return frames;
}

} // namespace pixelcast
