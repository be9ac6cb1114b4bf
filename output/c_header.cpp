#include "c_header.h"

#include <QList>

#include <algorithm>
#include <iterator>
#include <string_view>

namespace pixelcast {

namespace {

bool isKeyword(QStringView name)
{
    // C17 and C++20 keywords, and the alternative operator spellings of C++.
    static constexpr std::string_view keywords[]{"_Alignas",
                                                 "_Alignof",
                                                 "_Atomic",
                                                 "_Bool",
                                                 "_Complex",
                                                 "_Generic",
                                                 "_Imaginary",
                                                 "_Noreturn",
                                                 "_Static_assert",
                                                 "_Thread_local",
                                                 "alignas",
                                                 "alignof",
                                                 "and",
                                                 "and_eq",
                                                 "asm",
                                                 "auto",
                                                 "bitand",
                                                 "bitor",
                                                 "bool",
                                                 "break",
                                                 "case",
                                                 "catch",
                                                 "char",
                                                 "char8_t",
                                                 "char16_t",
                                                 "char32_t",
                                                 "class",
                                                 "co_await",
                                                 "co_return",
                                                 "co_yield",
                                                 "compl",
                                                 "concept",
                                                 "const",
                                                 "const_cast",
                                                 "consteval",
                                                 "constexpr",
                                                 "constinit",
                                                 "continue",
                                                 "decltype",
                                                 "default",
                                                 "delete",
                                                 "do",
                                                 "double",
                                                 "dynamic_cast",
                                                 "else",
                                                 "enum",
                                                 "explicit",
                                                 "export",
                                                 "extern",
                                                 "false",
                                                 "float",
                                                 "for",
                                                 "friend",
                                                 "goto",
                                                 "if",
                                                 "inline",
                                                 "int",
                                                 "long",
                                                 "mutable",
                                                 "namespace",
                                                 "new",
                                                 "noexcept",
                                                 "not",
                                                 "not_eq",
                                                 "nullptr",
                                                 "operator",
                                                 "or",
                                                 "or_eq",
                                                 "private",
                                                 "protected",
                                                 "public",
                                                 "register",
                                                 "reinterpret_cast",
                                                 "requires",
                                                 "restrict",
                                                 "return",
                                                 "short",
                                                 "signed",
                                                 "sizeof",
                                                 "static",
                                                 "static_assert",
                                                 "static_cast",
                                                 "struct",
                                                 "switch",
                                                 "template",
                                                 "this",
                                                 "thread_local",
                                                 "throw",
                                                 "true",
                                                 "try",
                                                 "typedef",
                                                 "typeid",
                                                 "typename",
                                                 "union",
                                                 "unsigned",
                                                 "using",
                                                 "virtual",
                                                 "void",
                                                 "volatile",
                                                 "wchar_t",
                                                 "while",
                                                 "xor",
                                                 "xor_eq"};
    const QByteArray latin = name.toLatin1();
    const std::string_view text(latin.constData(), static_cast<std::size_t>(latin.size()));
    return std::find(std::begin(keywords), std::end(keywords), text) != std::end(keywords);
}

bool isIdentifierStart(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_';
}

// The opening comment is line comments: a line break in the text would end one early.
QString printable(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.category() == QChar::Separator_Line ||
            c.category() == QChar::Separator_Paragraph) {
            c = u'?';
        }
    }
    return out;
}

} // namespace

bool isCIdentifier(QStringView name)
{
    if (name.isEmpty() || !isIdentifierStart(name.front())) {
        return false;
    }
    const bool allValid = std::all_of(name.begin(), name.end(), [](QChar c) {
        return isIdentifierStart(c) || (c >= u'0' && c <= u'9');
    });
    return allValid && !isKeyword(name);
}

QByteArray headerCommentLine(const QString& text)
{
    return "// " + printable(text).toUtf8() + "\n";
}

QByteArray portableHeaderPreamble()
{
    return QByteArrayLiteral(
        "\n"
        "#pragma once\n"
        "\n"
        "#include <stdint.h>\n"
        "\n"
        "#ifdef __AVR__\n"
        "#include <avr/pgmspace.h>\n"
        "#elif !defined(PROGMEM)\n"
        "#define PROGMEM\n"
        "#endif\n"
        "\n"
        "// Include it from as many files of a sketch as you like: with GCC (every\n"
        "// Arduino board's compiler) each array is a weak symbol, which the linker\n"
        "// keeps once, and the sizes are constants of each file.\n"
        "#ifndef PIXELCAST_SHARED\n"
        "#if defined(__GNUC__) && defined(__cplusplus)\n"
        "#define PIXELCAST_SHARED extern __attribute__((weak))\n"
        "#elif defined(__GNUC__)\n"
        "#define PIXELCAST_SHARED __attribute__((weak))\n"
        "#else\n"
        "#define PIXELCAST_SHARED\n"
        "#endif\n"
        "#endif\n"
        "\n");
}

void appendHexByte(QByteArray& text, std::uint8_t value)
{
    static constexpr std::string_view kHex = "0123456789ABCDEF";
    text += "0x";
    text += kHex[value >> 4U];
    text += kHex[value & 0xFU];
    text += ',';
}

QByteArray commentLines(const std::string& text)
{
    QByteArray lines;
    for (const QByteArray& line : QByteArray::fromStdString(text).split('\n')) {
        lines += line.isEmpty() ? QByteArray("//\n") : "// " + line + '\n';
    }
    return lines;
}

QByteArray sizeConstants(const QByteArray& name, DisplaySize size)
{
    return "static const uint16_t " + name + "_width = " + QByteArray::number(size.width) + ";\n" +
           "static const uint16_t " + name + "_height = " + QByteArray::number(size.height) + ";\n";
}

QByteArray cHeader(const DisplayArray& array, const QString& name, const QString& origin)
{
    const DisplaySize size = array.format().size;
    const ByteLayout& layout = *array.format().layout;
    const QByteArray identifier = name.toLatin1();
    QByteArray text;
    text.reserve(static_cast<qsizetype>(array.size()) * 8 + 2048);
    text += headerCommentLine(origin);
    text += commentLines(layout.description(size) + " Each line below is one " +
                         std::string(layout.lineName()) + ".");
    text += commentLines(layout.drawCall(size, identifier.toStdString()));
    text += portableHeaderPreamble();
    text += arrayDefinition(array, identifier);
    return text;
}

QByteArray arrayDefinition(const DisplayArray& array, const QByteArray& identifier)
{
    const DisplaySize size = array.format().size;
    const ByteLayout& layout = *array.format().layout;
    const std::size_t perLine = layout.lineBytes(size);
    QByteArray text;
    text.reserve(static_cast<qsizetype>(array.size()) * 8 + 256);
    text += sizeConstants(identifier, size);
    text += "PIXELCAST_SHARED const uint8_t " + identifier + "[" +
            QByteArray::number(static_cast<qulonglong>(array.size())) + "] PROGMEM = {\n";
    const auto bytes = array.bytes();
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::size_t inLine = i % perLine;
        text += inLine % 16 == 0 ? "    " : " ";
        appendHexByte(text, bytes[i]);
        if (inLine == perLine - 1) {
            text += " // " +
                    QByteArray(layout.lineName().data(),
                               static_cast<qsizetype>(layout.lineName().size())) +
                    ' ' + QByteArray::number(static_cast<qulonglong>(i / perLine)) + '\n';
        } else if (inLine % 16 == 15) {
            text += '\n';
        }
    }
    text += "};\n";
    return text;
}

} // namespace pixelcast
