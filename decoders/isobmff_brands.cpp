#include "byte_order.h"
#include "webp_avif_heif.h"

#include <algorithm>
#include <cstring>
#include <string_view>

// Which of the ISO base media formats a file is, from the brands of its `ftyp` box: no
// library is needed to tell, so that the readers' library is loaded only for a file it reads.
namespace pixelcast {

namespace {

// The box `ftyp` at the file's start: its major brand, then the compatible brands.
bool hasBrand(ByteSpan bytes, std::string_view brand, bool majorOnly)
{
    if (bytes.size() < 16 || std::memcmp(bytes.data() + 4, "ftyp", 4) != 0) {
        return false;
    }
    const auto is = [&](std::size_t at) {
        return std::memcmp(bytes.data() + at, brand.data(), brand.size()) == 0;
    };
    if (is(8)) {
        return true;
    }
    if (majorOnly) {
        return false;
    }
    const std::size_t boxEnd = std::min<std::size_t>(be32(bytes, 0), bytes.size());
    for (std::size_t at = 16; at + 4 <= boxEnd; at += 4) {
        if (is(at)) {
            return true;
        }
    }
    return false;
}

} // namespace

bool isAvif(ByteSpan bytes)
{
    if (hasBrand(bytes, "avif", true) || hasBrand(bytes, "avis", true)) {
        return true;
    }
    const bool general = hasBrand(bytes, "mif1", true) || hasBrand(bytes, "msf1", true) ||
                         hasBrand(bytes, "miaf", true);
    return general && (hasBrand(bytes, "avif", false) || hasBrand(bytes, "avis", false));
}

bool isHeif(ByteSpan bytes)
{
    for (const std::string_view brand :
         {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1"}) {
        if (hasBrand(bytes, brand, true)) {
            return !isAvif(bytes);
        }
    }
    return false;
}

} // namespace pixelcast
