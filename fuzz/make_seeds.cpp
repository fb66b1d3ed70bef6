// Writes the seed corpora of the fuzz targets: small BMP files of every
// header form, depth and compression, small JPEG files of every colour kind,
// small PNG files of every colour type and depth, plain and interlaced,
// small TIFF files of every colour kind, depth, compression and layout,
// small HEIC and AVIF files (alpha, turned, with a thumbnail, a grid),
// small WebP files (lossy, lossless, with alpha, animated, with EXIF) and
// small GIF files (plain, interlaced, transparent, animated), all made by the
// test suite's own writers.
#include "support/heif_samples.h"
#include "support/picture_fixtures.h"
#include "support/tiff_fixtures.h"
#include "support/webp_gif_fixtures.h"

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
    std::filesystem::create_directories(root / "heif");
    std::filesystem::create_directories(root / "webp");
    std::filesystem::create_directories(root / "gif");

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

    std::filesystem::create_directories(root / "tiff");
    const TiffSample tiffPattern = [](int page, int x, int y, int c) { return unsigned(x * 37 + y * 71 + c * 13 + page) & 255; };
    using Colour = TiffPage::Colour;
    const std::pair<const char *, Colour> tiffKinds[] = {
        {"grey", Colour::Grey}, {"palette", Colour::Palette}, {"rgb", Colour::Rgb}, {"cmyk", Colour::Cmyk}};
    int t = 0;
    for (const auto &[name, colour] : tiffKinds) {
        for (const int compression : {1, 5, 8, 32773}) {
            TiffPage page;
            page.width = 13;
            page.height = 9;
            page.colour = colour;
            page.compression = compression;
            page.rowsPerStrip = 4;
            page.alpha = colour == Colour::Rgb && compression == 8;
            if (colour == Colour::Palette) {
                page.palette.assign(3 * 256, 0);
                for (int i = 0; i < 3 * 256; ++i) {
                    page.palette[i] = static_cast<std::uint16_t>(i * 85);
                }
            }
            ++t;
            write(root / "tiff" / (std::string(name) + std::to_string(t) + ".tif"),
                  encodeTiff({page}, tiffPattern, t % 2 == 1, t % 4 == 3));
        }
    }
    TiffPage wide;
    wide.width = 40;
    wide.height = 24;
    wide.bitsPerSample = 16;
    wide.tileSize = 16;
    write(root / "tiff" / "tiled16.tif", encodeTiff({wide}, tiffPattern));
    wide.separatePlanes = true;
    wide.bitsPerSample = 8;
    write(root / "tiff" / "tiled-planes.tif", encodeTiff({wide}, tiffPattern));
    TiffPage jpeg;
    jpeg.width = 32;
    jpeg.height = 16;
    jpeg.colour = Colour::YCbCrJpeg;
    jpeg.rowsPerStrip = 16;
    TiffPage reduced = jpeg;
    reduced.width = 16;
    reduced.height = 8;
    reduced.reduced = true;
    reduced.colour = Colour::Rgb;
    write(root / "tiff" / "jpeg-reduced.tif", encodeTiff({jpeg, reduced}, tiffPattern));
    write(root / "tiff" / "subifd.tif", encodeTiff({wide}, tiffPattern, false, false, {reduced}));
    TiffPage cmyk16;
    cmyk16.colour = Colour::Cmyk;
    cmyk16.bitsPerSample = 16;
    write(root / "tiff" / "cmyk16.tif", encodeTiff({cmyk16}, tiffPattern));
    write(root / "tiff" / "directory-first.tif", plainTiffDirectoryFirst(9, 7, 2));
    for (const auto codec : {HeifSpec::Codec::Hevc, HeifSpec::Codec::Av1}) {
        const std::string extension = codec == HeifSpec::Codec::Hevc ? ".heic" : ".avif";
        HeifSpec s;
        s.width = 24;
        s.height = 16;
        s.codec = codec;
        s.quality = 50;
        const std::string plain = encodeHeif(s, pattern);
        write(root / "heif" / ("plain" + extension), plain);
        write(root / "heif" / ("grid" + extension), heifGrid(plain, 2, 2, 40, 30, 40, 30));
        s.alpha = true;
        write(root / "heif" / ("alpha" + extension),
              encodeHeif(s, [](int x, int y) { return qRgba(x * 10, y * 15, 90, (x + y) * 6); }));
        s.alpha = false;
        s.orientation = 6;
        write(root / "heif" / ("turned" + extension), encodeHeif(s, pattern));
        s.orientation = 2;
        s.width = 64;
        s.height = 48;
        s.thumbnailSide = 20;
        write(root / "heif" / ("thumbnailed" + extension), encodeHeif(s, pattern));
    }
    const auto translucent = [](int x, int y) { return qRgba((x * 37) & 255, (y * 71) & 255, 90, (x * 20) & 255); };
    for (const bool lossless : {false, true}) {
        for (const bool alpha : {false, true}) {
            WebPSpec s;
            s.width = 24;
            s.height = 17;
            s.lossless = lossless;
            s.alpha = alpha;
            s.quality = 60;
            write(root / "webp" / (std::string(lossless ? "lossless" : "lossy") + (alpha ? "-alpha" : "") + ".webp"),
                  encodeWebP(s, translucent));
        }
    }
    WebPSpec small;
    small.width = 8;
    small.height = 6;
    small.alpha = true;
    const std::string frame = encodeWebP(small, translucent);
    small.lossless = true;
    const std::string losslessFrame = encodeWebP(small, translucent);
    write(root / "webp" / "animated.webp",
          animatedWebP(20, 16, {WebPFrame{frame, 4, 2, 8, 6}, WebPFrame{losslessFrame, 0, 0, 8, 6}}));
    write(root / "webp" / "exif.webp",
          riffWebP(vp8xChunk(kVp8xExif, 8, 6) + webpImageChunks(losslessFrame) +
                   riffChunk("EXIF", std::string("Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0", 32))));

    const std::vector<QRgb> colours(table.begin(), table.begin() + 16);
    const auto index = [](int x, int y) { return (x * 3 + y) & 15; };
    for (const bool interlaced : {false, true}) {
        GifSpec s;
        s.width = 13;
        s.height = 11;
        s.colours = colours;
        s.images.push_back(GifImage{QRect(0, 0, 13, 11), interlaced, interlaced ? 3 : -1, {}, index});
        write(root / "gif" / (interlaced ? "interlaced.gif" : "plain.gif"), encodeGif(s));
    }
    GifSpec animatedGif;
    animatedGif.width = 16;
    animatedGif.height = 12;
    animatedGif.comment = "seed";
    animatedGif.images.push_back(GifImage{QRect(3, 2, 7, 5), false, 1, colours, index});
    animatedGif.images.push_back(GifImage{QRect(0, 0, 16, 12), true, -1, colours, index});
    write(root / "gif" / "animated.gif", encodeGif(animatedGif));
    return 0;
}
