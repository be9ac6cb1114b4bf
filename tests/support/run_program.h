#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace pixelcast::test {

// What a program that ran to its end left: its exit code and all it wrote.
struct Finished {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs `program` with `arguments` to its end, allowing it `timeoutMs` to start and as long
// again to finish. A program that does not start, does not finish in time or crashes fails
// the test.
Finished runProgram(const QString& program, const QStringList& arguments, int timeoutMs);

} // namespace pixelcast::test
