#pragma once

#include <QImage>
#include <QRgb>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quillmere::test {

// A BMP file written field by field, so that tests can build every header
// form and every defect.
struct BmpSpec {
    std::uint32_t headerSize = 40;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t planes = 1;
    std::uint16_t bitsPerPixel = 24;
    std::uint32_t compression = 0;
    std::uint32_t imageSize = 0;
    std::uint32_t colourCount = 0;
    std::array<std::uint32_t, 3> masks{}; // inside headers of 52 bytes and more
    std::string masksAfterHeader;         // the 12 bytes after a 40-byte header
    std::vector<QRgb> colours;            // the colour table
    std::string gap;                      // bytes between colour table and pixels
    std::string pixels;                   // the pixel data as stored
};
std::string buildBmp(const BmpSpec &recipe);

// Rows in the file's layout (padded to 32-bit words, bottom row first unless
// topDown). value(x, y) is an index for 1, 4 and 8 bits, the stored 16- or
// 32-bit word for 16 and 32 bits, and a colour for 24 bits; y counts from the
// top of the picture.
std::string packRows(int width, int height, int bitsPerPixel, const std::function<std::uint32_t(int, int)> &value,
                     bool topDown = false);
std::string le32(std::uint32_t value);

// JPEG files compressed by libjpeg.
struct JpegSpec {
    enum class Colour { Rgb, Gray, CmykAdobe, CmykPlain };
    int width = 32;
    int height = 24;
    Colour colour = Colour::Rgb;
    int quality = 98;
    bool progressive = false;
    // When not 0: a scan script of one DC scan and single-coefficient AC
    // scans for coefficients 1..n of every component.
    int singleCoefficientScans = 0;
};
std::string encodeJpeg(const JpegSpec &recipe, const std::function<QRgb(int, int)> &colour);

// Sets the picture size in the frame header of a JPEG file.
std::string withJpegFrameSize(std::string jpeg, int width, int height);
// Offset of the n-th (from 0) start-of-scan marker, or npos.
std::size_t jpegScanMarker(const std::string &jpeg, int n);

// Colour distance for lossy comparisons: the largest channel difference.
int colourDistance(QRgb a, QRgb b);

} // namespace quillmere::test

namespace quillmere::test {

// PNG files built chunk by chunk: every colour type and depth, Adam7
// interlacing, and any extra or damaged chunk a test needs.
struct PngSpec {
    int width = 16;
    int height = 12;
    int bitDepth = 8;
    int colourType = 2; // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
    bool interlaced = false;
    std::vector<QRgb> palette;           // PLTE for colour type 3
    std::string transparency;            // a tRNS payload, when not empty
    std::vector<std::string> beforeData; // whole chunks (pngChunk) after IHDR/PLTE/tRNS
    std::vector<std::string> afterData;  // whole chunks between the image data and IEND
    int compression = 6;                 // zlib level
};
// sample(x, y, channel) is the stored sample at the file's depth (a palette
// index for colour type 3).
std::string encodePng(const PngSpec &recipe, const std::function<unsigned(int, int, int)> &sample);
// One chunk: length, type, payload, CRC.
std::string pngChunk(const std::string &type, const std::string &payload);
std::string be32(std::uint32_t value);

} // namespace quillmere::test
