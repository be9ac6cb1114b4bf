#pragma once

#include <QByteArray>

#include <functional>
#include <string>

namespace pixelcast::test {

// Calls `check` with `whole` cut to every length from `from` up to one byte short of the
// whole, each call under a trace that names the length after `what` ("<what>cut to <n>").
// Stops at the first fatal failure, as a loop of assertions would.
void forEveryCut(const QByteArray& whole, const std::string& what,
                 const std::function<void(const QByteArray& cut)>& check, qsizetype from = 0);

} // namespace pixelcast::test
