#pragma once

#include "display/display_array.h"

#include <QByteArray>
#include <QString>

namespace pixelcast {

// The array's bytes as they go to a file or the line: index order, nothing around them.
[[nodiscard]] QByteArray arrayBytes(const DisplayArray& array);

// Stores the bytes of `array`, in index order from offset 0 with nothing before or
// after them, as the file `fileName`. The file is replaced whole or left as it was: a
// longer old file does not keep its tail, and a failure (no rights, no such folder, a full
// disk) changes nothing on disk. Throws Error(ArrayFileNotWritten) naming the file and
// the reason; an empty name is refused the same way.
void writeArrayBytes(const QString& fileName, const DisplayArray& array);

} // namespace pixelcast
