#include "support/encoded_picture.h"

#include "support/run_program.h"

#include <gtest/gtest.h>

namespace pixelcast::test {

QString encodedWith(const ScratchDir& dir, const std::vector<QImage>& frames,
                    const QString& program, const QStringList& arguments, const QString& outName)
{
    QStringList inputs;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        inputs.push_back(dir.path(QStringLiteral("frame%1.png").arg(i + 1)));
        EXPECT_TRUE(frames[i].save(inputs.back(), "PNG"));
    }
    const QString out = dir.path(outName);
    QStringList args;
    for (const QString& argument : arguments) {
        if (argument == QStringLiteral("{in}")) {
            args += inputs;
            continue;
        }
        QString a = argument;
        a.replace(QStringLiteral("{out}"), out);
        a.replace(QStringLiteral("{dir}"), dir.root());
        for (qsizetype i = inputs.size(); i >= 1; --i) {
            a.replace(QStringLiteral("{in%1}").arg(i), inputs[i - 1]);
        }
        args.push_back(a);
    }
    const Finished f = runProgram(program, args, 60000);
    EXPECT_EQ(f.status, 0) << program.toStdString() << ": " << f.err.toStdString();
    return out;
}

} // namespace pixelcast::test
