#pragma once

#include <QRgb>
#include <functional>
#include <string>

namespace quillmere::test {

// A HEIF file (HEVC, ".heic") or an AVIF file (AV1) compressed by libheif's
// own encoders.
struct HeifSpec {
    enum class Codec { Hevc, Av1 };
    int width = 32;
    int height = 24;
    Codec codec = Codec::Hevc;
    bool alpha = false;    // colour(x, y) then carries the alpha too
    int orientation = 1;   // 1 to 8 as EXIF counts them: stored as rotation and mirror boxes
    int thumbnailSide = 0; // when not 0: a thumbnail item fitting a square of this side
    // When thumbnailColour is set: a thumbnail item of this size and these
    // colours of its own (so a test can tell which picture was drawn).
    int thumbnailWidth = 0;
    int thumbnailHeight = 0;
    std::function<QRgb(int, int)> thumbnailColour;
    int quality = 90;
};
std::string encodeHeif(const HeifSpec &recipe, const std::function<QRgb(int, int)> &colour);

// A grid picture built from a file that encodeHeif wrote (of one picture
// and no thumbnail): every one of its rows x columns tiles is that file's
// picture, the grid says it puts them together into gridWidth x gridHeight,
// and the grid's own size property says claimedWidth x claimedHeight. Real
// files have the two sizes alike; a forged one may not.
std::string heifGrid(const std::string &tileFile, int rows, int columns, int gridWidth, int gridHeight,
                     int claimedWidth, int claimedHeight);

// The same file with its primary picture's size property set to
// width x height (the coded picture keeps its size).
std::string withHeifClaimedSize(std::string file, int width, int height);

} // namespace quillmere::test
