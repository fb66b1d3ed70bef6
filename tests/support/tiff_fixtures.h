#pragma once

#include <QSize>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quillmere::test {

// TIFF files written by libtiff's own encoder, one page after another.
struct TiffPage {
    enum class Colour { Grey, Palette, Rgb, Cmyk, YCbCrJpeg };
    int width = 16;
    int height = 12;
    int bitsPerSample = 8;
    Colour colour = Colour::Rgb;
    bool alpha = false;           // one extra sample: unassociated alpha
    bool separatePlanes = false;  // planar configuration 2
    int tileSize = 0;             // when not 0: square tiles of this side (a multiple of 16)
    int rowsPerStrip = 0;         // 0: libtiff's default
    int compression = 1;          // COMPRESSION_* (1 none, 5 LZW, 8 Deflate, 32773 PackBits)
    int orientation = 0;          // the Orientation tag, written when not 0
    bool reduced = false;         // marked as a reduced-resolution image
    std::vector<std::uint16_t> palette; // 3 x 2^bits entries, red then green then blue (16-bit)
};

// sample(page, x, y, channel) is the stored sample at the page's depth: a
// palette index, grey, or R, G, B (C, M, Y, K), then alpha. subPages are
// written as SubIFDs of the first page. bigTiff writes the 64-bit form.
using TiffSample = std::function<unsigned(int page, int x, int y, int channel)>;
std::string encodeTiff(const std::vector<TiffPage> &pages, const TiffSample &sample, bool bigEndian = false,
                       bool bigTiff = false, const std::vector<TiffPage> &subPages = {},
                       const std::string &description = {});

// A 16 x 12 RGB picture's file with its first directory claiming width x
// height (its strips stay as written).
std::string tiffClaiming(std::uint32_t width, std::uint32_t height, int compression);

// An uncompressed little-endian RGB file written by hand with its directory
// first, before the strips (libtiff writes it last), so that a file cut in
// its pixels still has its directory. Pixel (x, y) is (4x, 6y, 100).
std::string plainTiffDirectoryFirst(int width, int height, int rowsPerStrip);

// The file with its first directory's next-page offset pointing back at
// that directory.
std::string withDirectoryLoop(std::string file);

} // namespace quillmere::test
