#pragma once

#include "errors/error.h"

#include <QIODevice>
#include <QStringList>

namespace pixelcast::cli {

// The exit status for a failure, one per kind of failure:
// 2 arguments, 3 the picture file is missing or unreadable, 4 it is not a decodable
// picture, 5 an output file was not written, 6 the serial port failed.
[[nodiscard]] int exitStatusFor(ErrorCode code);

// Runs the converter's command line (program name first) and returns its exit status.
// Help, version and an array or preview sent to "-" go to `standardOutput`; each failure
// goes to `standardError` as "Error NNNN: description". A failure leaves every output
// file as it was.
int runConverter(const QStringList& arguments, QIODevice& standardOutput, QIODevice& standardError);

} // namespace pixelcast::cli
