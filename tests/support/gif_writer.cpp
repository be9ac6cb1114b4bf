#include "gif_writer.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

namespace pixelcast::test {

namespace {

extern "C" {
static int appendBytes(GifFileType* gif, const GifByteType* data, int length)
{
    static_cast<QByteArray*>(gif->UserData)
        ->append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(length));
    return length;
}
}

std::vector<int> rowOrder(int height, bool interlaced)
{
    std::vector<int> order;
    const int starts[] = {0, 4, 2, 1};
    const int steps[] = {8, 8, 4, 2};
    for (int pass = 0; pass < (interlaced ? 4 : 1); ++pass) {
        for (int y = interlaced ? starts[pass] : 0; y < height; y += interlaced ? steps[pass] : 1) {
            order.push_back(y);
        }
    }
    return order;
}

} // namespace

GifFrameLayout solidFrame(int left, int top, int width, int height, std::uint8_t index)
{
    GifFrameLayout frame;
    frame.left = left;
    frame.top = top;
    frame.width = width;
    frame.height = height;
    frame.indices.assign(static_cast<std::size_t>(width * height), index);
    return frame;
}

QByteArray writeAnimatedGif(const AnimatedGifLayout& layout)
{
    QByteArray out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, appendBytes, &error);
    EXPECT_NE(gif, nullptr);
    if (gif == nullptr) {
        return {};
    }
    EGifSetGifVersion(gif, true);
    std::vector<GifColorType> entries{{0, 0, 0},       {255, 0, 0},  {0, 255, 0},  {0, 0, 255},
                                      {255, 255, 255}, {10, 10, 10}, {20, 20, 20}, {30, 30, 30}};
    if (!layout.palette.empty()) {
        entries.clear();
        for (const GifRgb& c : layout.palette) {
            entries.push_back({c[0], c[1], c[2]});
        }
    }
    ColorMapObject* palette = GifMakeMapObject(static_cast<int>(entries.size()), entries.data());
    EXPECT_EQ(EGifPutScreenDesc(gif, layout.screenWidth, layout.screenHeight, 8, layout.background,
                                palette),
              GIF_OK);
    if (layout.loopCount >= 0) {
        const GifByteType count[] = {1, static_cast<GifByteType>(layout.loopCount & 0xFF),
                                     static_cast<GifByteType>(layout.loopCount >> 8)};
        EXPECT_EQ(EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE), GIF_OK);
        EXPECT_EQ(EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0"), GIF_OK);
        EXPECT_EQ(EGifPutExtensionBlock(gif, 3, count), GIF_OK);
        EXPECT_EQ(EGifPutExtensionTrailer(gif), GIF_OK);
    }
    for (const GifFrameLayout& frame : layout.frames) {
        const GifByteType control[] = {
            static_cast<GifByteType>(frame.disposal << 2 | (frame.transparent >= 0 ? 1 : 0)),
            static_cast<GifByteType>(frame.delayCs & 0xFF),
            static_cast<GifByteType>(frame.delayCs >> 8),
            static_cast<GifByteType>(frame.transparent >= 0 ? frame.transparent : 0)};
        EXPECT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control), GIF_OK);
        EXPECT_EQ(EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height,
                                   frame.interlaced, nullptr),
                  GIF_OK);
        for (const int y : rowOrder(frame.height, frame.interlaced)) {
            std::vector<GifPixelType> line(
                frame.indices.begin() + static_cast<std::ptrdiff_t>(y * frame.width),
                frame.indices.begin() + static_cast<std::ptrdiff_t>((y + 1) * frame.width));
            EXPECT_EQ(EGifPutLine(gif, line.data(), frame.width), GIF_OK);
        }
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(palette);
    return out;
}

QByteArray steppingGif(const std::vector<int>& delaysCs, int loopCount)
{
    AnimatedGifLayout layout;
    layout.screenWidth = 16;
    layout.screenHeight = 8;
    layout.loopCount = loopCount;
    for (std::size_t k = 0; k < delaysCs.size(); ++k) {
        GifFrameLayout frame = solidFrame(0, 0, 16, 8, 0);
        for (std::size_t i = 0; i < frame.indices.size(); ++i) {
            frame.indices[i] = (i % 16) / 4 == k % 4 ? 4 : 0;
        }
        frame.delayCs = delaysCs[k];
        layout.frames.push_back(frame);
    }
    return writeAnimatedGif(layout);
}

} // namespace pixelcast::test
