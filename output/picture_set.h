#pragma once

#include "display/display_array.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <span>

// Several pictures in one C header or one X bitmap file, each array named after its file.
namespace pixelcast {

// A C identifier made of a file's name without its folder and last extension: every
// character but ASCII letters, digits and '_' becomes '_' (one for each character, however
// it is encoded), a leading digit gets a '_' before it, and a keyword a '_' after it.
// "logo.png" gives logo, "2 arrows.v2.bmp" _2_arrows_v2, "int.gif" int_; a name with
// nothing before its extension gives _.
[[nodiscard]] QString identifierFromFileName(const QString& fileName);

// The names of the pictures in `fileNames`, in order: identifierFromFileName made unique by
// _2, _3, ... after it. A name is unique when neither it nor it with any of `derived` after
// it ("_width", ...) is `reserved`, another picture's name, or one of theirs with a
// `derived` after it.
[[nodiscard]] QStringList pictureNames(const QStringList& fileNames, const QStringList& reserved,
                                       std::span<const char* const> derived);

// What a picture's name brings along in a C header (see cHeader), and in an X bitmap.
inline constexpr const char* kHeaderDerivedNames[] = {"_width", "_height"};
inline constexpr const char* kXbmDerivedNames[] = {"_width", "_height", "_bits"};

// The names a set called `setName` takes itself: NAME_count and NAME_all.
[[nodiscard]] QStringList pictureSetNames(const QString& setName);

struct NamedPicture {
    QString name;     // a C identifier
    QString fileName; // for the comment, as given
    DisplayArray array;
};

// A C/C++ header holding each picture as cHeader defines one (NAME_width, NAME_height and
// `const uint8_t NAME[N] PROGMEM`), all of one display format, then
// `const uint16_t SET_count` and `const uint8_t* const SET_all[SET_count]`, the pictures'
// addresses in order. `origin` is the opening comment's line.
[[nodiscard]] QByteArray pictureSetHeader(std::span<const NamedPicture> pictures,
                                          const QString& setName, const QString& origin);

// An X bitmap file holding each picture as xbmFile writes one, then `#define SET_count N`
// and `static const unsigned char* const SET_all[]`, the pictures' NAME_bits in order.
[[nodiscard]] QByteArray pictureSetXbm(std::span<const NamedPicture> pictures,
                                       const QString& setName);

} // namespace pixelcast
