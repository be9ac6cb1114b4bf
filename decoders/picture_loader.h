#pragma once

#include "animation.h"
#include "decoding.h"
#include "pixels/render_options.h"
#include "pixels/surface.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <exception>
#include <functional>

namespace pixelcast {

// What a load found out about the picture beside its pixels.
struct LoadResult {
    // "GIF", "JPEG", "BMP", "PNG", "ICO", "CUR", "WebP", "AVIF", "HEIF", "WMF", "SVG",
    // "SVGZ", or a clip's "MP4", "MOV", "MKV", "WebM" or "AVI"; empty when nothing was
    // loaded. An SVG's size is its own at 96 dots per inch, whatever it was drawn at.
    QString format;
    // The picture's own size (a big JPEG's before its reduced decode).
    int width = 0;
    int height = 0;
    // The frames of a GIF, WebP or AVIF (those that begin in the file) or a video clip (its
    // video packets); 1 for every other picture.
    int frames = 1;
    // Rows of the picture that the file ended before (or that a damaged file never
    // delivered): they show the panel colour, or a JPEG decoder's filler. Counted in the
    // picture's own rows; 0 for a whole picture.
    int missingRows = 0;
    // What is wrong with a picture that was still decoded: None for a whole one,
    // RowsMissing whenever missingRows is above 0, else what the decoder found.
    Damage damage = Damage::None;
    // With Damage::ScansMissing: the scans of the progressive picture that arrived whole.
    int wholeScans = 0;
};

// What is wrong with the picture, as a sentence without its subject, for a warning or a
// status line: "ends early: 3 of its 64 rows are missing", "holds damaged data, which was
// skipped", ...; empty for a whole picture.
[[nodiscard]] QString describeDamage(const LoadResult& picture);
// The same for an animation that ended early, its frames counted from 1: "ends early:
// frame 24 arrived in part, and any frames after it are missing", or that held damaged
// data; empty for a whole one.
[[nodiscard]] QString describeDamage(const AnimationInfo& animation);

// Picture files larger than this are refused before they are read.
inline constexpr qint64 kMaxPictureFileBytes = 256LL * 1024 * 1024;

// `error` with `fileName` named before its description ("\"x.jpg\": the file is empty."),
// when it is an error about a picture (1001-1013) that does not name the file yet. Every
// function here that takes a file name throws its errors so; a run over many files has to
// say which of them failed.
[[nodiscard]] Error fileNamedIn(const Error& error, const QString& fileName);

// Runs `decode`, naming `fileName` in the picture errors it throws (see fileNamedIn).
template <typename Decode>
auto namingFile(const QString& fileName, Decode decode) -> decltype(decode())
{
    try {
        return decode();
    } catch (const Error& e) {
        throw fileNamedIn(e, fileName);
    }
}

// Reads a whole picture file. Refuses what is not a regular file (a directory, a FIFO,
// a device) without blocking on it.
[[nodiscard]] QByteArray readPictureFile(const QString& fileName);

// Decodes the bytes of a GIF, JPEG, BMP, ICO, CUR, PNG, WebP, AVIF, HEIF, metafile or SVG (SVGZ),
// recognised by content alone, at the picture's own size. Transparent and partly transparent pixels
// are composited onto `background`; the result holds no alpha.
//
// Given `reduceFor`, the size the picture is to be stretched onto, a JPEG at least twice
// that size in each direction is decoded reduced (see decodeJpeg), and the result is
// that reduced picture. Other formats and smaller JPEGs are decoded at their own size.
[[nodiscard]] Surface decodePicture(const QByteArray& bytes, ColorRef background,
                                    QSize reduceFor = {}, LoadResult* about = nullptr);

// Whether the bytes are a picture drawn for the box it is shown in (SVG, SVGZ) instead of
// decoded at its own size and stretched: any change of the size or the stretch draws it
// again.
[[nodiscard]] bool isDrawing(const QByteArray& bytes);

// A drawing (isDrawing) drawn crisp for a target of `targetSize` with the options: at the
// box the options' stretch lays it on (its sides swapped when the options turn the picture
// a quarter; with keepAspect the part of its proportions), so that stretchOnto then copies
// it pixel for pixel. Transparent parts are laid on `background`.
[[nodiscard]] Surface drawPictureFor(const QByteArray& bytes, ColorRef background, QSize targetSize,
                                     const RenderOptions& options, LoadResult* about = nullptr);

// What stretching decodePicture(bytes, background, target's size) onto `target` with the
// options' stretch (stretchOnto) gives,
// without keeping the whole picture: only the pixels the stretch takes are converted, and
// a BMP or JPEG skips the rows it does not need. A drawing (isDrawing) is drawn for the
// target instead (drawPictureFor). On failure `target` is left as it was.
LoadResult decodePictureOnto(const QByteArray& bytes, Surface& target, ColorRef background,
                             const RenderOptions& options = {});

// decodePictureOnto for the first frame and, for a GIF, its later frames in the same pass
// (decodeGifFrames): `shown` gets each canvas from 0 to `lastFrame` (every one when
// negative), canvas 0 once `target` holds the first frame, and `animation` what the
// composition found; the file is read a second time only to count its frames when the
// composition stopped before its end. Any other picture is decodePictureOnto's, and
// `shown` is not called. On failure `target` may hold the first frame.
LoadResult decodeFramesOnto(const QByteArray& bytes, Surface& target, ColorRef background,
                            const RenderOptions& options, int lastFrame, const FrameShown& shown,
                            AnimationInfo& animation);

// decodePicture and, for a GIF, its later frames in the same pass, as decodeFramesOnto: the
// window's load. A failure once the first frame is in (too many frames, no memory for
// them) is kept in `laterFailure` instead of thrown, so that the picture still shows.
[[nodiscard]] Surface decodePictureAndFrames(const QByteArray& bytes, ColorRef background,
                                             QSize reduceFor, LoadResult& about,
                                             const FrameShown& shown, AnimationInfo& animation,
                                             std::exception_ptr& laterFailure);

// Whether the bytes are a picture with frames (an animated GIF, ...), whose frames
// decodeFramesOnto and decodeAnimation compose; false for any other picture.
[[nodiscard]] bool hasFrames(const QByteArray& bytes);

// The canvases from `firstFrame` to `lastFrame` (counted from 0; every frame from
// `firstFrame` on when `lastFrame` is negative) of a picture with frames, each handed to
// `shown`. The errors are those of decodeFramesOnto.
AnimationInfo decodeAnimation(const QByteArray& bytes, int firstFrame, int lastFrame,
                              const FrameShown& shown);

// Whether the file is read through its file a piece at a time as its frames are decoded,
// never whole: a video clip (MP4, MOV, MKV, WebM or AVI, told by its first bytes). False for
// any other picture and for a file that cannot be read (its load then says why).
[[nodiscard]] bool isStreamedPicture(const QString& fileName);

// decodeFramesOnto, decodePictureAndFrames and decodeAnimation for a picture file: a video
// clip read through its file, never whole; any other picture read whole, once, as
// readPictureFile reads it. The errors name the file (see fileNamedIn).
LoadResult decodeFileFramesOnto(const QString& fileName, Surface& target, ColorRef background,
                                const RenderOptions& options, int lastFrame,
                                const FrameShown& shown, AnimationInfo& animation);
[[nodiscard]] Surface decodeFilePictureAndFrames(const QString& fileName, ColorRef background,
                                                 QSize reduceFor, LoadResult& about,
                                                 const FrameShown& shown, AnimationInfo& animation,
                                                 std::exception_ptr& laterFailure);
AnimationInfo decodeFileAnimation(const QString& fileName, int firstFrame, int lastFrame,
                                  const FrameShown& shown);

// readPictureFile and decodePicture. An empty name gives the empty picture.
[[nodiscard]] Surface loadPicture(const QString& fileName, ColorRef background);

// Decodes `fileName` into `source` and stretches it onto `scaled` by the options' stretch
// (stretchOnto), whose previous content is entirely replaced. A big JPEG is decoded
// reduced for `scaled`'s size, its sides swapped when the options turn the picture a
// quarter (see decodePicture), and `source` then holds the reduced picture; a drawing (SVG) is
// drawn for `scaled` (drawPictureFor). On failure both are left as they were and an Error is
// thrown.
LoadResult loadAndScale(const QString& fileName, Surface& source, Surface& scaled,
                        ColorRef background, const RenderOptions& options = {});

// loadAndScale for a caller that needs only `scaled`: readPictureFile and
// decodePictureOnto. `scaled` ends equal to what loadAndScale leaves there. An empty name
// fills it with the background. A JPEG whose data runs out only below the last row the
// stretch takes is read as whole.
LoadResult loadScaled(const QString& fileName, Surface& scaled, ColorRef background,
                      const RenderOptions& options = {});

} // namespace pixelcast
