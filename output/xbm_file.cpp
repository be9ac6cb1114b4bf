#include "output/xbm_file.h"

namespace pixelcast {

QByteArray xbmFile(const DisplayArray& array, const QString& name)
{
    static constexpr char kHex[] = "0123456789abcdef";
    const DisplayArray bits = repack(array, xbmLayout());
    const DisplaySize size = bits.format().size;
    const QByteArray identifier = name.toLatin1();
    QByteArray text;
    text.reserve(static_cast<qsizetype>(bits.size()) * 6 + 160);
    text += "#define " + identifier + "_width " + QByteArray::number(size.width) + '\n';
    text += "#define " + identifier + "_height " + QByteArray::number(size.height) + '\n';
    // Without const, as X writes it: ImageMagick 6 and other readers look for exactly
    // "static unsigned char" (or "static char") and take anything else for no X bitmap.
    text += "static unsigned char " + identifier + "_bits[] = {";
    const auto bytes = bits.bytes();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        // Twelve to a line, as X's own bitmap files have them.
        text += i % 12 == 0 ? "\n   " : " ";
        text += "0x";
        text += kHex[bytes[i] >> 4U];
        text += kHex[bytes[i] & 0xFU];
        if (i + 1 < bytes.size()) {
            text += ',';
        }
    }
    text += "};\n";
    return text;
}

} // namespace pixelcast
