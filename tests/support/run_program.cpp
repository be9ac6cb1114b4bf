#include "support/run_program.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace pixelcast::test {

Finished runProgram(const QString& program, const QStringList& arguments, int timeoutMs)
{
    QProcess process;
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForStarted(timeoutMs)) << program.toStdString();
    EXPECT_TRUE(process.waitForFinished(timeoutMs)) << program.toStdString();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

} // namespace pixelcast::test
