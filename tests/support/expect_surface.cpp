#include "support/expect_surface.h"

#include <cstdio>
#include <string>

namespace pixelcast::test {

namespace {

std::string hex(unsigned value, int digits)
{
    std::string text(static_cast<std::size_t>(digits) + 3, '\0');
    std::snprintf(text.data(), text.size(), "0x%0*X", digits, value);
    text.resize(text.find('\0'));
    return text;
}

} // namespace

testing::AssertionResult sameSurface(const Surface& actual, const Surface& expected)
{
    if (actual.width() != expected.width() || actual.height() != expected.height()) {
        return testing::AssertionFailure()
               << "size " << actual.width() << " x " << actual.height() << ", expected "
               << expected.width() << " x " << expected.height();
    }
    return surfaceMatches(actual, [&](int x, int y) { return expected.read(x, y); });
}

testing::AssertionResult surfaceMatches(const Surface& actual,
                                        const std::function<ColorRef(int, int)>& expected)
{
    for (int y = 0; y < actual.height(); ++y) {
        for (int x = 0; x < actual.width(); ++x) {
            const ColorRef want = expected(x, y);
            if (actual.read(x, y) != want) {
                return testing::AssertionFailure()
                       << "first difference at pixel (" << x << ", " << y
                       << "): " << hex(actual.read(x, y), 6) << ", expected " << hex(want, 6);
            }
        }
    }
    return testing::AssertionSuccess();
}

testing::AssertionResult sameArray(const DisplayArray& actual, const DisplayArray& expected)
{
    if (!(actual.format() == expected.format()) || actual.size() != expected.size()) {
        return testing::AssertionFailure()
               << "the arrays differ in format: " << actual.size() << " bytes in the "
               << actual.format().layout->name() << " layout, expected " << expected.size()
               << " in the " << expected.format().layout->name() << " layout";
    }
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (actual[i] != expected[i]) {
            return testing::AssertionFailure()
                   << "first difference at byte " << i << ": " << hex(actual[i], 2) << ", expected "
                   << hex(expected[i], 2);
        }
    }
    return testing::AssertionSuccess();
}

} // namespace pixelcast::test
