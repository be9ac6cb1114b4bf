#pragma once

#include "support/test_files.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include <vector>

namespace pixelcast::test {

// A picture written by one of Debian's encoders (cwebp, img2webp, webpmux, avifenc,
// heif-enc), run as `program` with `arguments`, in which "{in}" stands for `frames` written
// as PNG files (one argument each, or "{in1}", "{in2}", ... one at a time), "{out}" for
// the file written, named `outName` in `dir`, and "{dir}" for `dir`. Returns the file's path; an
// encoder that fails fails the test.
QString encodedWith(const ScratchDir& dir, const std::vector<QImage>& frames,
                    const QString& program, const QStringList& arguments, const QString& outName);

} // namespace pixelcast::test
