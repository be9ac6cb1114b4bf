#pragma once

#include "pipeline/conversion.h"
#include "pixels/grey_surface.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <exception>
#include <functional>
#include <optional>
#include <vector>

// A picture on the one road: its bytes, decoded once into grey frames of the display's
// size, each rendered and packed when asked for. The window, the converter, the fuzz
// targets, the board test and the benchmarks all take it.
namespace pixelcast {

struct FrameSource;

// What a change of the picture options or of the display's size asks of the frames.
enum class Refit {
    // Only the rendering changes (the level, the dither, the inversion, the layout).
    None,
    // The frames are stretched again from the picture as decoded.
    Restretch,
    // The picture is decoded again from its bytes.
    Decode,
};

// A changed background, or a quarter turn more or less, needs a new decode: transparent
// pixels are laid on the background as the picture is decoded, and a big JPEG is decoded
// reduced for the display as the picture lies on it. Another stretch (smooth,
// keep-aspect, the flip, a half turn) or another display size needs a restretch.
[[nodiscard]] Refit refitFor(const RenderOptions& before, DisplaySize sizeBefore,
                             const RenderOptions& after, DisplaySize sizeAfter);

class LoadedPicture {
public:
    // No picture.
    LoadedPicture() = default;
    // The bytes of a picture file, not decoded yet; `fileName` is named in the errors.
    explicit LoadedPicture(QByteArray bytes, QString fileName = {});

    // The file read whole, once (readPictureFile); an empty name is no picture. A video
    // clip is not read whole: its frames are decoded from the file, read a piece at a time,
    // whenever they are asked for.
    [[nodiscard]] static LoadedPicture readFile(const QString& fileName);
    // The still picture alone, read from the file only as far as its stretch needs it (a
    // big BMP or JPEG a piece at a time, see loadScaled): the converter's road for one
    // picture. It keeps no bytes, so it is never decoded again.
    [[nodiscard]] static LoadedPicture readStill(const QString& fileName,
                                                 const RenderOptions& options, DisplaySize size);
    // The still picture from bytes, stretched as it is decoded (decodePictureOnto).
    [[nodiscard]] static LoadedPicture decodeStill(QByteArray bytes, const RenderOptions& options,
                                                   DisplaySize size);

    [[nodiscard]] bool hasPicture() const { return m_hasPicture; }
    [[nodiscard]] const QString& fileName() const { return m_fileName; }
    [[nodiscard]] const LoadResult& about() const { return m_about; }
    // How often the frames play, 0 for ever.
    [[nodiscard]] int plays() const { return m_plays; }
    // What was wrong with the file, worded for a warning; empty for a whole file.
    [[nodiscard]] const QString& damage() const { return m_damage; }

    [[nodiscard]] std::size_t frameCount() const { return m_frames.size(); }
    [[nodiscard]] int delayMs(std::size_t frame) const { return m_delays.at(frame); }
    // Frame `frame` (0 the still) as the grey stage left it.
    [[nodiscard]] Surface greyFrame(std::size_t frame) const
    {
        return m_frames.at(frame).expanded();
    }

    // The window's still, frame 1, in two steps around its progressive greying. First the
    // picture decoded whole into `source` (a big JPEG reduced for `size` as the options turn
    // it, a drawing drawn for `size` and the options, see drawPictureFor) and stretched onto
    // `stretched`, which takes `size`; without a picture `source`
    // ends empty and `stretched` the transparency colour. On failure both stay as they were.
    // A GIF's later frames are decoded in the same pass and wait, grey, for decodeFrames;
    // a failure among them waits there too, so that the still shows all the same.
    LoadResult stretchStill(const RenderOptions& options, DisplaySize size, Surface& source,
                            Surface& stretched);
    // Then `stretched` made grey in place, `afterColumn` running after each column (see
    // toGreyscale), and kept as frame 1, the only frame.
    void greyStill(Surface& stretched, const std::function<void()>& afterColumn = {});
    // Both steps at once.
    LoadResult loadStill(const RenderOptions& options, DisplaySize size, Surface& source);

    // Every frame of the picture decoded from its bytes at the options and size the still
    // was stretched at, replacing the frames; an animated GIF's frames composed. After
    // stretchStill and greyStill, the frames that pass decoded are taken instead (and the
    // failure it met thrown). Nothing else changes on failure.
    void decodeFrames();
    // The same at other options and size, which the frames then are stretched at.
    void decodeFrames(const RenderOptions& options, DisplaySize size);

    // Makes the frames fit `options` and `size` as refitFor says, from the bytes or from
    // `source` (the still's picture as stretchStill left it), and returns what it did. A
    // drawing (SVG) is drawn again for any other stretch or size (Decode). An
    // animation is decoded again for a restretch too: its pictures at their own size are
    // not kept. A still decoded again is decoded into `source` anew. Without a picture
    // nothing happens.
    Refit refit(const RenderOptions& options, DisplaySize size, Surface& source);

    // Frame `frame` rendered at the settings (whose size must be the frames') and packed.
    [[nodiscard]] ConvertedFrame convert(std::size_t frame,
                                         const ConversionSettings& settings) const;

    // The frames in `range` decoded from the bytes (a clip from its file) and converted at
    // `settings`, each handed to `converted` in order and none kept: the converter's road
    // for an animation, whose ten thousand frames would otherwise all be held at once. With
    // the settings' framesPerSecond the range counts the resampled frames. Throws
    // Error(UsageError) when the range runs past the picture's frames.
    void convertEach(const ConversionSettings& settings, FrameRange range,
                     const std::function<void(ConvertedFrame&)>& converted);

private:
    // A GIF's frames after the first, from stretchStill's pass.
    struct LaterFrames {
        std::vector<GreySurface> frames;
        std::vector<int> delays;
        int firstDelayMs = 0;
        int plays = 1;
        QString damage;
        std::exception_ptr failure;
    };

    void keepOnly(Surface& grey, int delayMs);
    void convertResampled(const ConversionSettings& settings, FrameRange range,
                          const std::function<void(ConvertedFrame&)>& converted);
    [[nodiscard]] FrameSource source() const;
    void tell(const FramesFound& found);

    bool m_hasPicture = false;
    QByteArray m_bytes;
    QString m_fileName;
    // A video clip: no bytes are held, its frames are decoded from m_fileName.
    bool m_streamed = false;
    // What the frames are stretched at.
    RenderOptions m_options;
    DisplaySize m_size;
    LoadResult m_about;
    int m_plays = 1;
    QString m_damage;
    std::vector<GreySurface> m_frames;
    std::vector<int> m_delays;
    std::optional<LaterFrames> m_later;
};

} // namespace pixelcast
