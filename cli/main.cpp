// pixelcast-convert: the window's conversion for scripts. See runConverter.
#include "cli/converter.h"

#include <QFile>
#include <QMessageLogger>

#include <cstdio>

namespace {

// Qt's own diagnostics (a decoder's warning about a damaged picture, for instance) would
// mix with the numbered messages that scripts read; the error that follows says it all.
void dropQtMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

int main(int argc, char** argv)
{
    qInstallMessageHandler(dropQtMessage);
    // No application object: building one costs start-up time that most runs do not need;
    // the serial transfer makes its own.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    QFile out;
    QFile err;
    out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
    err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    return pixelcast::cli::runConverter(arguments, out, err);
}
