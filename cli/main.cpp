// pixelcast-convert: the window's conversion for scripts. See runConverter.
#include "cli/converter.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv)
{
    // The serial port needs an application object for its notifiers.
    const QCoreApplication app(argc, argv);
    QFile out;
    QFile err;
    out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
    err.open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
    return pixelcast::cli::runConverter(QCoreApplication::arguments(), out, err);
}
