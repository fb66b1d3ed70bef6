#pragma once

#include <QRect>
#include <QRgb>
#include <functional>
#include <string>
#include <vector>

namespace quillmere::test {

// A still WebP file made by libwebp's encoder; colour(x, y) may carry alpha.
struct WebPSpec {
    int width = 32;
    int height = 24;
    bool lossless = false;
    bool alpha = false; // keep the colours' alpha (a lossy file gets an ALPH chunk)
    int quality = 90;
};
std::string encodeWebP(const WebPSpec &recipe, const std::function<QRgb(int, int)> &colour);

// A RIFF chunk: fourcc, little-endian length, payload, a pad byte when odd.
std::string riffChunk(const std::string &fourcc, const std::string &payload);
// A whole RIFF WEBP file around its chunks.
std::string riffWebP(const std::string &chunks);
// The chunks of a still WebP file after its RIFF header and any VP8X chunk:
// its bitstream (ALPH and VP8, or VP8L).
std::string webpImageChunks(const std::string &webp);
// A VP8X chunk of the given flags over a canvas of width x height.
std::string vp8xChunk(std::uint8_t flags, int width, int height);
constexpr std::uint8_t kVp8xAnimation = 0x02, kVp8xExif = 0x08, kVp8xAlpha = 0x10;

// An animated WebP file: each frame a still WebP file placed at an even
// offset of a canvas of width x height.
struct WebPFrame {
    std::string still;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};
std::string animatedWebP(int width, int height, const std::vector<WebPFrame> &frames);

// A GIF file written by giflib: images on a logical screen, each with an
// optional transparent index and its own colour table or the screen's.
struct GifImage {
    QRect area;
    bool interlaced = false;
    int transparent = -1;
    std::vector<QRgb> colours; // its own table, when not empty
    std::function<int(int x, int y)> index; // x, y within the image
};
struct GifSpec {
    int width = 32;
    int height = 24;
    std::vector<QRgb> colours; // the screen's table, when not empty
    std::vector<GifImage> images;
    std::string comment; // a comment extension before the first image, when not empty
};
std::string encodeGif(const GifSpec &recipe);

} // namespace quillmere::test
