#include "support/every_cut.h"

#include <gtest/gtest.h>

namespace pixelcast::test {

void forEveryCut(const QByteArray& whole, const std::string& what,
                 const std::function<void(const QByteArray& cut)>& check, qsizetype from)
{
    for (qsizetype keep = from; keep < whole.size(); ++keep) {
        SCOPED_TRACE(what + "cut to " + std::to_string(keep));
        check(whole.left(keep));
        if (testing::Test::HasFatalFailure()) {
            return;
        }
    }
}

} // namespace pixelcast::test
