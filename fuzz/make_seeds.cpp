// Writes the seed corpora of the fuzz targets: small BMP files of every
// header form, depth and compression, small JPEG files of every colour kind,
// and small PNG files of every colour type and depth, plain and interlaced,
// all made by the test suite's own writers.
#include "support/picture_fixtures.h"

#include <filesystem>
#include <fstream>
#include <string>

using namespace quillmere::test;

namespace {

void write(const std::filesystem::path &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

QRgb pattern(int x, int y)
{
    return qRgb((x * 37) & 255, (y * 71) & 255, ((x ^ y) * 13) & 255);
}

} // namespace

int main(int argc, char **argv)
{
    const std::filesystem::path root = argc > 1 ? argv[1] : "seeds";
    std::filesystem::create_directories(root / "bmp");
    std::filesystem::create_directories(root / "jpeg");
    std::filesystem::create_directories(root / "png");

    std::vector<QRgb> table;
    for (int i = 0; i < 256; ++i) {
        table.push_back(qRgb(i, 255 - i, i / 2));
    }
    int n = 0;
    for (const std::uint32_t header : {12u, 40u, 108u}) {
        for (const int depth : {1, 4, 8, 16, 24, 32}) {
            if (header == 12 && (depth == 16 || depth == 32)) {
                continue;
            }
            BmpSpec s;
            s.headerSize = header;
            s.width = 7;
            s.height = depth == 24 ? -5 : 5;
            s.bitsPerPixel = static_cast<std::uint16_t>(depth);
            if (depth <= 8) {
                s.colours.assign(table.begin(), table.begin() + (1 << depth));
            }
            if (depth == 16 && header == 40) {
                s.compression = 3;
                s.masksAfterHeader = le32(0xF800) + le32(0x07E0) + le32(0x001F);
            }
            s.pixels = packRows(7, 5, depth, [&](int x, int y) { return depth == 24 ? pattern(x, y) : x * 3 + y; },
                                s.height < 0);
            write(root / "bmp" / ("plain" + std::to_string(n++) + ".bmp"), buildBmp(s));
        }
    }
    BmpSpec rle;
    rle.width = 8;
    rle.height = 4;
    rle.bitsPerPixel = 8;
    rle.compression = 1;
    rle.colourCount = 16;
    rle.colours.assign(table.begin(), table.begin() + 16);
    rle.pixels = std::string("\x04\x01\x00\x03\x02\x03\x04\x00\x00\x00\x00\x02\x01\x01\x02\x05\x00\x01", 18);
    rle.imageSize = 18;
    write(root / "bmp" / "rle8.bmp", buildBmp(rle));
    rle.bitsPerPixel = 4;
    rle.compression = 2;
    write(root / "bmp" / "rle4.bmp", buildBmp(rle));

    JpegSpec recipe;
    recipe.width = 48;
    recipe.height = 40;
    recipe.quality = 75;
    const std::pair<const char *, JpegSpec::Colour> kinds[] = {
        {"rgb", JpegSpec::Colour::Rgb},
        {"gray", JpegSpec::Colour::Gray},
        {"ycck", JpegSpec::Colour::CmykAdobe},
        {"cmyk", JpegSpec::Colour::CmykPlain},
    };
    for (const auto &[name, colour] : kinds) {
        recipe.colour = colour;
        recipe.progressive = false;
        write(root / "jpeg" / (std::string(name) + ".jpg"), encodeJpeg(recipe, pattern));
        recipe.progressive = true;
        write(root / "jpeg" / (std::string(name) + "-progressive.jpg"), encodeJpeg(recipe, pattern));
    }

    const std::pair<int, std::vector<int>> pngKinds[] = {
        {0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}},
    };
    for (const auto &[type, depths] : pngKinds) {
        for (const int depth : depths) {
            for (const bool interlaced : {false, true}) {
                PngSpec s;
                s.width = 13;
                s.height = 9;
                s.colourType = type;
                s.bitDepth = depth;
                s.interlaced = interlaced;
                if (type == 3) {
                    s.palette.assign(table.begin(), table.begin() + (1 << depth));
                    s.transparency = std::string("\x00\x80", 2);
                } else if (type == 0) {
                    s.transparency = std::string("\x00\x01", 2);
                }
                const unsigned top = depth == 16 ? 65535u : (1u << depth) - 1;
                const std::string png = encodePng(s, [&](int x, int y, int c) { return (x * 7 + y * 3 + c * 11) % (top + 1); });
                write(root / "png" /
                          ("type" + std::to_string(type) + "-" + std::to_string(depth) + (interlaced ? "-adam7" : "") + ".png"),
                      png);
            }
        }
    }
    PngSpec animated;
    animated.beforeData = {pngChunk("acTL", be32(2) + be32(0)),
                           pngChunk("tEXt", std::string("Title\0seed", 10))};
    animated.afterData = {pngChunk("fdAT", be32(1) + std::string(8, '\x11'))};
    write(root / "png" / "animated.png", encodePng(animated, [](int x, int, int c) { return (x * 16 + c) & 255u; }));
    return 0;
}
