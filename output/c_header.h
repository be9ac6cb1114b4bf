#pragma once

#include "display/display_array.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <string>

namespace pixelcast {

// True for a name that C and C++ accept as the name of an array: a letter or underscore,
// then letters, digits and underscores, and not a keyword of either language.
[[nodiscard]] bool isCIdentifier(QStringView name);

// A C/C++ header defining `const uint8_t NAME[N] PROGMEM`, the array in index order, one
// line per unit of its layout (a column, a page or a row), with `NAME_width` and
// `NAME_height`; its comment says how the layout packs the pixels and which call draws it. On AVR
// boards PROGMEM keeps it in flash; elsewhere PROGMEM is defined empty unless the platform defines
// it. `origin` is a line of text for the opening comment (the picture and level); control
// characters in it are replaced so that it cannot end the comment. The pieces every header the
// programs write shares: its opening comment line (control characters replaced so that the text
// cannot end the comment), the include guard with PROGMEM made portable, and one byte as "0xAB,".
[[nodiscard]] QByteArray headerCommentLine(const QString& text);
[[nodiscard]] QByteArray portableHeaderPreamble();
void appendHexByte(QByteArray& text, std::uint8_t value);
// Lines of text as comment lines, "// " before each.
[[nodiscard]] QByteArray commentLines(const std::string& text);
// `NAME_width` and `NAME_height`, the picture's size in pixels.
[[nodiscard]] QByteArray sizeConstants(const QByteArray& name, DisplaySize size);

// `NAME_width`, `NAME_height` and `const uint8_t NAME[N] PROGMEM = {...};`, the array one
// line per unit of its layout: what a header says of one picture after its preamble.
[[nodiscard]] QByteArray arrayDefinition(const DisplayArray& array, const QByteArray& name);

[[nodiscard]] QByteArray cHeader(const DisplayArray& array, const QString& name,
                                 const QString& origin);

} // namespace pixelcast
