#pragma once

#include "support/decoded_picture.h"

#include <gtest/gtest.h>
#include <ios>
#include <sstream>

namespace pixelcast::test {

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
