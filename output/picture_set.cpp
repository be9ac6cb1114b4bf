#include "output/picture_set.h"

#include "output/c_header.h"
#include "output/xbm_file.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace pixelcast {

namespace {

bool isIdentifierCharacter(char32_t c)
{
    return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z') || (c >= U'0' && c <= U'9') ||
           c == U'_';
}

} // namespace

QString identifierFromFileName(const QString& fileName)
{
    QString name;
    for (const char32_t c : QFileInfo(fileName).completeBaseName().toUcs4()) {
        name += isIdentifierCharacter(c) ? QChar(static_cast<char16_t>(c)) : QChar(u'_');
    }
    if (name.isEmpty()) {
        return QStringLiteral("_");
    }
    if (name.front().isDigit()) {
        name.prepend(u'_');
    }
    // What is left is letters, digits and '_', not a digit first: only a keyword fails.
    if (!isCIdentifier(name)) {
        name += u'_';
    }
    return name;
}

QStringList pictureNames(const QStringList& fileNames, const QStringList& reserved,
                         std::span<const char* const> derived)
{
    QSet<QString> taken(reserved.begin(), reserved.end());
    const auto withDerived = [&](const QString& name) {
        QStringList all{name};
        for (const char* suffix : derived) {
            all.append(name + QLatin1String(suffix));
        }
        return all;
    };
    QStringList names;
    for (const QString& fileName : fileNames) {
        const QString base = identifierFromFileName(fileName);
        QString name = base;
        for (int n = 2;; ++n) {
            const QStringList all = withDerived(name);
            if (std::none_of(all.begin(), all.end(),
                             [&](const QString& one) { return taken.contains(one); })) {
                taken.unite(QSet<QString>(all.begin(), all.end()));
                break;
            }
            name = base + u'_' + QString::number(n);
        }
        names.append(name);
    }
    return names;
}

QStringList pictureSetNames(const QString& setName)
{
    return {setName + QStringLiteral("_count"), setName + QStringLiteral("_all")};
}

QByteArray pictureSetHeader(std::span<const NamedPicture> pictures, const QString& setName,
                            const QString& origin)
{
    const QByteArray set = setName.toLatin1();
    const QByteArray count = QByteArray::number(static_cast<qulonglong>(pictures.size()));
    QByteArray text = headerCommentLine(origin);
    if (!pictures.empty()) {
        const DisplayFormat format = pictures.front().array.format();
        text += commentLines(format.layout->description(format.size) + " Each line below is one " +
                             std::string(format.layout->lineName()) + ".");
        text +=
            commentLines("Each picture is drawn as the first is:\n" +
                         format.layout->drawCall(format.size, pictures.front().name.toStdString()));
    }
    text +=
        "// " + set + "_all[i] is picture i of the " + count + ", in the order they were given.\n";
    text += portableHeaderPreamble();
    for (const NamedPicture& picture : pictures) {
        text += headerCommentLine(QStringLiteral("From \"%1\".").arg(picture.fileName));
        text += arrayDefinition(picture.array, picture.name.toLatin1());
        text += '\n';
    }
    text += "static const uint16_t " + set + "_count = " + count + ";\n";
    text += "PIXELCAST_SHARED const uint8_t* const " + set + "_all[" + count + "] = {\n";
    for (const NamedPicture& picture : pictures) {
        text += "    " + picture.name.toLatin1() + ",\n";
    }
    text += "};\n";
    return text;
}

QByteArray pictureSetXbm(std::span<const NamedPicture> pictures, const QString& setName)
{
    const QByteArray set = setName.toLatin1();
    QByteArray text;
    for (const NamedPicture& picture : pictures) {
        text += xbmFile(picture.array, picture.name);
    }
    text += "#define " + set + "_count " +
            QByteArray::number(static_cast<qulonglong>(pictures.size())) + '\n';
    text += "static const unsigned char* const " + set + "_all[] = {";
    for (const NamedPicture& picture : pictures) {
        text += "\n   " + picture.name.toLatin1() + "_bits,";
    }
    text += "\n};\n";
    return text;
}

} // namespace pixelcast
