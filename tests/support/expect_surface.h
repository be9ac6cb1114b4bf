#pragma once

#include "display/display_array.h"
#include "pixels/surface.h"

#include <functional>
#include <gtest/gtest.h>

namespace pixelcast::test {

// Succeeds when both surfaces have the same size and pixels; otherwise names the first
// differing pixel with both colours.
[[nodiscard]] testing::AssertionResult sameSurface(const Surface& actual, const Surface& expected);

// Succeeds when every pixel of `actual` equals `expected(x, y)`.
[[nodiscard]] testing::AssertionResult
surfaceMatches(const Surface& actual, const std::function<ColorRef(int, int)>& expected);

// Succeeds when the arrays are equal; otherwise names the first differing byte, with its
// column and page.
[[nodiscard]] testing::AssertionResult sameArray(const DisplayArray& actual,
                                                 const DisplayArray& expected);

} // namespace pixelcast::test
