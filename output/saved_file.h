#pragma once

#include "errors/error.h"

#include <QByteArray>
#include <QString>

namespace pixelcast {

// Writes `bytes` to `fileName` whole or not at all: into a file beside it that takes the
// name only once complete, so a failure leaves the old file, if any, as it was. Throws
// Error(`code`): "The <what> could not be written to "<name>": <reason>."
void saveFileWhole(const QString& fileName, const QByteArray& bytes, ErrorCode code,
                   const QString& what);

} // namespace pixelcast
