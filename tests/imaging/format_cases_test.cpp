// Tables over the formats: each kind of file a format reads (colour kinds,
// depths, alpha, frames, pages) and hostile files of each format (claimed
// gigapixels, cut files, decompression bombs, huge metadata), with what the
// program must make of them; one table per concern.
#include "imaging/avif_format.h"
#include "imaging/bitmap.h"
#include "imaging/decode_cancel.h"
#include "imaging/encoded_picture.h"
#include "imaging/heif_format.h"
#include "imaging/picture_format.h"
#include "imaging/picture_formats.h"
#include "imaging/picture_limits.h"
#include "support/error_text.h"
#include "support/heif_samples.h"
#include "support/picture_fixtures.h"
#include "support/pictures.h"
#include "support/temp_tree.h"
#include "support/tiff_fixtures.h"
#include "support/webp_gif_fixtures.h"

#include <QPainter>
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <optional>

using namespace quillmere;
using namespace quillmere::test;

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kRed = qRgb(220, 20, 20);
const QRgb kBlue = qRgb(20, 20, 220);
const QRgb kGreen = qRgb(20, 200, 20);

QRgb noise(int x, int y)
{
    const unsigned v = static_cast<unsigned>(x) * 2654435761u ^ static_cast<unsigned>(y) * 40503u;
    return qRgb(static_cast<int>(v & 255), static_cast<int>((v >> 8) & 255), static_cast<int>((v >> 16) & 255));
}

// The TIFF kinds: a 40 x 30 picture of four flat quadrants.
constexpr int kWidth = 40;
constexpr int kHeight = 30;

int quadrantOf(int x, int y)
{
    return (x >= kWidth / 2 ? 1 : 0) + (y >= kHeight / 2 ? 2 : 0);
}

const QRgb kColours[4] = {qRgb(200, 30, 30), qRgb(30, 200, 30), qRgb(30, 30, 200), qRgb(230, 230, 40)};
const int kGreys[4] = {20, 90, 160, 240};
const int kAlphas[4] = {255, 0, 128, 255};

int channelOf(QRgb colour, int channel)
{
    return channel == 0 ? qRed(colour) : channel == 1 ? qGreen(colour) : qBlue(colour);
}

int overWhite(int value, int alpha)
{
    return (value * alpha + 255 * (255 - alpha) + 127) / 255;
}

QRgb colourOverWhite(QRgb colour, int alpha)
{
    return qRgb(overWhite(qRed(colour), alpha), overWhite(qGreen(colour), alpha), overWhite(qBlue(colour), alpha));
}

// One picture point and the colour it must show. A flat point lies well
// inside an area of its colour, so every view of the picture, scaled or
// not, must show it; any other is checked in a scaled view only where the
// full decode shows its colour all around it (a scaled view blends the
// pixels at an edge).
struct Spot {
    QPoint at;
    QRgb colour;
    bool flat = false;
};

// One kind of file a format reads, and the colours its picture must show.
struct KindCase {
    std::string name; // also the file's name, extension included
    std::string content;
    QSize size;
    std::vector<Spot> spots;
    int tolerance;
    QSize smallDecode = QSize(32, 24); // the size the small decode is asked for
};

std::string webpStill(int width, int height, bool lossless, bool alpha, const std::function<QRgb(int, int)> &colour)
{
    WebPSpec recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.lossless = lossless;
    recipe.alpha = alpha;
    return encodeWebP(recipe, colour);
}

GifImage gifImage(QRect area, std::function<int(int, int)> index, int transparent = -1, bool interlaced = false,
                  std::vector<QRgb> colours = {})
{
    return GifImage{area, interlaced, transparent, std::move(colours), std::move(index)};
}

// The quadrant colours as stored samples: RGB (and alpha) at 8 or 16 bits.
TiffSample rgbSamples(int bits, bool alpha)
{
    return [=](int, int x, int y, int c) {
        const int q = quadrantOf(x, y);
        const unsigned value = c == 3 && alpha ? unsigned(kAlphas[q]) : unsigned(channelOf(kColours[q], c));
        return bits == 16 ? value * 257 : value;
    };
}

TiffPage tiffPage(TiffPage::Colour colour, int bits, int compression = 5)
{
    TiffPage page;
    page.width = kWidth;
    page.height = kHeight;
    page.colour = colour;
    page.bitsPerSample = bits;
    page.compression = compression;
    return page;
}

// A TIFF 40 x 30 picture of four flat quadrants, each of colour expected(q),
// its small decode asked for at full size.
KindCase tiffKind(const std::string &what, std::string content, const std::function<QRgb(int)> &expected,
                  int tolerance = 0)
{
    std::vector<Spot> spots;
    for (int q = 0; q < 4; ++q) {
        spots.push_back({QPoint((q % 2 * 2 + 1) * kWidth / 4, (q / 2 * 2 + 1) * kHeight / 4), expected(q), true});
    }
    return KindCase{"TIFF " + what + ".tif", std::move(content), QSize(kWidth, kHeight), std::move(spots), tolerance,
                    QSize(kWidth, kHeight)};
}

KindCase tiffCase(const std::string &what, const TiffPage &page, const TiffSample &sample,
                  const std::function<QRgb(int)> &expected, int tolerance = 0, bool bigEndian = false,
                  bool bigTiff = false)
{
    return tiffKind(what, encodeTiff({page}, sample, bigEndian, bigTiff), expected, tolerance);
}

std::vector<KindCase> kindCases()
{
    using Colour = TiffPage::Colour;
    const auto colours = [](int q) { return kColours[q]; };
    const auto greys = [](int q) { return qRgb(kGreys[q], kGreys[q], kGreys[q]); };
    const auto coloursOverWhite = [](int q) { return colourOverWhite(kColours[q], kAlphas[q]); };
    const auto greysOverWhite = [](int q) { return colourOverWhite(qRgb(kGreys[q], kGreys[q], kGreys[q]), kAlphas[q]); };
    const TiffSample greySamples = [](int, int x, int y, int c) {
        const int q = quadrantOf(x, y);
        return unsigned(c == 0 ? kGreys[q] : kAlphas[q]);
    };
    const auto cmykSamples = [](int bits) -> TiffSample {
        return [=](int, int x, int y, int c) {
            const unsigned value = c == 3 ? 0u : unsigned(255 - channelOf(kColours[quadrantOf(x, y)], c));
            return bits == 16 ? value * 257 : value;
        };
    };
    TiffPage palette = tiffPage(Colour::Palette, 8, 32773);
    TiffPage palette4 = tiffPage(Colour::Palette, 4, 1);
    for (TiffPage *page : {&palette, &palette4}) {
        page->palette.assign(3u << page->bitsPerSample, 0);
        const std::size_t entries = std::size_t(1) << page->bitsPerSample;
        for (int q = 0; q < 4; ++q) {
            for (int c = 0; c < 3; ++c) {
                page->palette[c * entries + q] = static_cast<std::uint16_t>(channelOf(kColours[q], c) * 257);
            }
        }
    }
    const TiffSample indices = [](int, int x, int y, int) { return unsigned(quadrantOf(x, y)); };
    TiffPage tiled = tiffPage(Colour::Rgb, 8);
    tiled.tileSize = 16;
    TiffPage planes = tiffPage(Colour::Rgb, 8);
    planes.separatePlanes = true;
    planes.rowsPerStrip = 4;
    TiffPage tiledPlanes = tiled;
    tiledPlanes.separatePlanes = true;
    TiffPage oneStrip = tiffPage(Colour::Rgb, 8, 8);
    oneStrip.rowsPerStrip = kHeight;
    TiffPage rgba = tiffPage(Colour::Rgb, 8);
    rgba.alpha = true;
    TiffPage rgba16 = tiffPage(Colour::Rgb, 16);
    rgba16.alpha = true;
    TiffPage greyAlpha = tiffPage(Colour::Grey, 8);
    greyAlpha.alpha = true;
    TiffPage tiledAlpha = tiled;
    tiledAlpha.alpha = true;
    TiffPage jpeg = tiffPage(Colour::YCbCrJpeg, 8);
    jpeg.rowsPerStrip = 16;

    std::vector<KindCase> cases = {
        tiffCase("RGB, 8 bits, LZW strips", tiffPage(Colour::Rgb, 8), rgbSamples(8, false), colours),
        tiffCase("RGB, 16 bits", tiffPage(Colour::Rgb, 16), rgbSamples(16, false), colours),
        tiffCase("RGB, 16 bits, big-endian", tiffPage(Colour::Rgb, 16), rgbSamples(16, false), colours, 0, true),
        tiffCase("RGB, BigTIFF", tiffPage(Colour::Rgb, 8), rgbSamples(8, false), colours, 0, false, true),
        tiffCase("RGB, BigTIFF, big-endian", tiffPage(Colour::Rgb, 8), rgbSamples(8, false), colours, 0, true, true),
        tiffCase("RGB in one Deflate strip", oneStrip, rgbSamples(8, false), colours),
        tiffCase("RGB in 16 x 16 tiles", tiled, rgbSamples(8, false), colours),
        tiffCase("RGB in separate planes", planes, rgbSamples(8, false), colours),
        tiffCase("RGB in separate planes of tiles", tiledPlanes, rgbSamples(8, false), colours),
        tiffCase("grey, 8 bits", tiffPage(Colour::Grey, 8), greySamples, greys),
        tiffCase("grey, 16 bits", tiffPage(Colour::Grey, 16),
                 [=](int p, int x, int y, int c) { return greySamples(p, x, y, c) * 257; }, greys),
        tiffCase("palette, 8 bits, PackBits", palette, indices, colours),
        tiffCase("palette, 4 bits", palette4, indices, colours),
        tiffCase("CMYK, 8 bits", tiffPage(Colour::Cmyk, 8), cmykSamples(8), colours),
        tiffCase("CMYK, 16 bits", tiffPage(Colour::Cmyk, 16), cmykSamples(16), colours),
        tiffCase("RGBA, 8 bits", rgba, rgbSamples(8, true), coloursOverWhite, 1),
        tiffCase("RGBA, 16 bits", rgba16, rgbSamples(16, true), coloursOverWhite, 1),
        tiffCase("RGBA in tiles", tiledAlpha, rgbSamples(8, true), coloursOverWhite, 1),
        tiffCase("grey with alpha", greyAlpha, greySamples, greysOverWhite, 1),
        tiffCase("YCbCr JPEG", jpeg, rgbSamples(8, false), colours, 12),
        tiffKind("of two pages: the first",
                 [] {
                     TiffPage second = tiffPage(TiffPage::Colour::Grey, 8);
                     second.width = 64;
                     return encodeTiff({tiffPage(TiffPage::Colour::Rgb, 8), second}, [](int page, int x, int y, int c) {
                         return page == 0 ? unsigned(channelOf(kColours[quadrantOf(x, y)], c)) : 0u;
                     });
                 }(),
                 colours),
    };

    const auto leftRight = [](QRgb left, QRgb right) {
        return [=](int x, int) { return x < 32 ? left : right; };
    };
    cases.push_back({"lossy.webp", webpStill(64, 48, false, false, leftRight(kRed, kBlue)), QSize(64, 48),
                     {{QPoint(8, 24), kRed}, {QPoint(56, 24), kBlue}}, 24});
    cases.push_back({"lossless.webp", webpStill(64, 48, true, false, noise), QSize(64, 48),
                     {{QPoint(0, 0), noise(0, 0)}, {QPoint(63, 47), noise(63, 47)}, {QPoint(17, 30), noise(17, 30)}}, 0});
    // Fully transparent red and half-transparent blue, over white.
    const auto translucent = leftRight(qRgba(255, 0, 0, 0), qRgba(0, 0, 255, 128));
    cases.push_back({"lossless-alpha.webp", webpStill(64, 48, true, true, translucent), QSize(64, 48),
                     {{QPoint(8, 24), kWhite}, {QPoint(56, 24), qRgb(127, 127, 255)}}, 1});
    cases.push_back({"lossy-alpha.webp", webpStill(64, 48, false, true, leftRight(qRgba(255, 0, 0, 0), kGreen)),
                     QSize(64, 48), {{QPoint(8, 24), kWhite}, {QPoint(56, 24), kGreen}}, 24});
    // The first frame, a red 32 x 24 at (16, 12) of a 64 x 48 canvas; the
    // second, all blue, is not shown.
    cases.push_back({"animated.webp",
                     animatedWebP(64, 48,
                                  {WebPFrame{webpStill(32, 24, true, false, leftRight(kRed, kRed)), 16, 12, 32, 24},
                                   WebPFrame{webpStill(64, 48, true, false, leftRight(kBlue, kBlue)), 0, 0, 64, 48}}),
                     QSize(64, 48), {{QPoint(32, 24), kRed}, {QPoint(4, 4), kWhite}, {QPoint(60, 44), kWhite}}, 0});

    const std::vector<QRgb> four = {kRed, kGreen, kBlue, qRgb(250, 250, 0)};
    const auto quarters = [](int x, int y) { return (x >= 32 ? 1 : 0) + (y >= 24 ? 2 : 0); };
    GifSpec plain;
    plain.width = 64;
    plain.height = 48;
    plain.colours = four;
    plain.images = {gifImage(QRect(0, 0, 64, 48), quarters)};
    cases.push_back({"plain.gif", encodeGif(plain), QSize(64, 48),
                     {{QPoint(5, 5), kRed}, {QPoint(60, 5), kGreen}, {QPoint(5, 40), kBlue}, {QPoint(60, 40), four[3]}}, 0});
    // The image's own table wins over the screen's.
    GifSpec local = plain;
    local.colours = {qRgb(0, 0, 0), qRgb(0, 0, 0)};
    local.images = {gifImage(QRect(0, 0, 64, 48), quarters, -1, false, four)};
    cases.push_back({"local-table.gif", encodeGif(local), QSize(64, 48), {{QPoint(5, 5), kRed}, {QPoint(60, 40), four[3]}}, 0});
    GifSpec transparent = plain;
    transparent.images = {gifImage(QRect(0, 0, 64, 48), quarters, 1)};
    cases.push_back({"transparent.gif", encodeGif(transparent), QSize(64, 48), {{QPoint(60, 5), kWhite}, {QPoint(5, 5), kRed}}, 0});
    // Rows of an interlaced image come back in their places.
    GifSpec interlaced = plain;
    interlaced.images = {gifImage(QRect(0, 0, 64, 48), [](int, int y) { return y / 3 % 4; }, -1, true)};
    std::vector<Spot> rows;
    for (int y = 0; y < 48; ++y) {
        rows.push_back({QPoint(y, y), four[static_cast<std::size_t>(y / 3 % 4)]});
    }
    cases.push_back({"interlaced.gif", encodeGif(interlaced), QSize(64, 48), rows, 0});
    // The first image, red 16 x 16 at (8, 8), on its screen; the second,
    // all green, is not shown.
    GifSpec animated = plain;
    animated.images = {gifImage(QRect(8, 8, 16, 16), [](int, int) { return 0; }),
                       gifImage(QRect(0, 0, 64, 48), [](int, int) { return 1; })};
    cases.push_back({"animated.gif", encodeGif(animated), QSize(64, 48),
                     {{QPoint(8, 8), kRed}, {QPoint(23, 23), kRed}, {QPoint(7, 8), kWhite}, {QPoint(40, 30), kWhite}}, 0});

    // Left half opaque red, right half red at half alpha, bottom quarter
    // fully transparent, in both codecs of HEIF.
    const auto halfAlpha = [](int x, int y) { return qRgba(220, 20, 20, y >= 48 ? 0 : x < 32 ? 255 : 128); };
    for (const auto &[codec, name] :
         {std::pair{HeifSpec::Codec::Hevc, "alpha.heic"}, std::pair{HeifSpec::Codec::Av1, "alpha.avif"}}) {
        HeifSpec recipe;
        recipe.width = 64;
        recipe.height = 64;
        recipe.codec = codec;
        recipe.alpha = true;
        recipe.quality = 100;
        cases.push_back({name, encodeHeif(recipe, halfAlpha), QSize(64, 64),
                         {{QPoint(8, 8), kRed, true},
                          {QPoint(56, 8), qRgb(237, 137, 137), true},
                          {QPoint(8, 60), kWhite, true}},
                         24,
                         QSize(64, 64)});
    }
    return cases;
}

const PictureFormat &formatNaming(const std::string &path)
{
    const std::vector<const PictureFormat *> formats = PictureFormatsNamedBy(path);
    if (formats.size() != 1) {
        throw std::runtime_error("no single format for " + path);
    }
    return *formats.front();
}

// The whole picture decoded at full size, as the image view's picture.
QImage fullDecode(const PictureFormat &format, const std::string &path)
{
    std::unique_ptr<TGraphic> picture = format.newPicture();
    picture->LoadFromFile(path);
    auto &encoded = dynamic_cast<TEncodedPicture &>(*picture);
    encoded.Decode();
    return encoded.Bitmap()->ToDisplayImage();
}

// Whether a view of the picture must show the spot: a flat one always,
// another when the full decode shows its colour all around it.
bool shownInScaledView(const Spot &spot, const QImage &full, int tolerance)
{
    if (spot.flat) {
        return true;
    }
    for (int y = spot.at.y() - 3; y <= spot.at.y() + 3; ++y) {
        for (int x = spot.at.x() - 3; x <= spot.at.x() + 3; ++x) {
            const QPoint near(std::clamp(x, 0, full.width() - 1), std::clamp(y, 0, full.height() - 1));
            if (colourDistance(full.pixel(near), spot.colour) > tolerance) {
                return false;
            }
        }
    }
    return true;
}

QPoint scaled(QPoint at, QSize from, QSize to)
{
    return QPoint(at.x() * to.width() / from.width(), at.y() * to.height() / from.height());
}

} // namespace

TEST(FormatKinds, everyKindShowsItsColoursOverWhiteInEveryWayThePictureIsShown)
{
    TempTree tree;
    for (const KindCase &kind : kindCases()) {
        const std::string path = tree.writeFile(kind.name, kind.content);
        const PictureFormat &format = formatNaming(path);
        EXPECT_EQ(format.pictureSize(path), kind.size) << kind.name;
        const QImage full = fullDecode(format, path);
        ASSERT_EQ(full.size(), kind.size) << kind.name;
        for (const Spot &spot : kind.spots) {
            EXPECT_LE(colourDistance(full.pixel(spot.at), spot.colour), kind.tolerance)
                << kind.name << " at " << spot.at.x() << "," << spot.at.y();
        }
        // The thumbnail shows the same picture.
        const FormatThumbnail thumbnail = format.rowThumbnail(path);
        EXPECT_TRUE(thumbnail.ownPicture) << kind.name;
        EXPECT_EQ(thumbnail.size, kind.size) << kind.name;
        const QImage shown = thumbnail.thumbnail.ToDisplayImage();
        QImage expected(100, 75, QImage::Format_RGB32);
        TBitmap whole;
        whole.SetPixels(full, 32);
        whole.StretchDraw(expected, expected.rect());
        EXPECT_EQ(shown, expected) << kind.name;
        for (const Spot &spot : kind.spots) {
            const QPoint at = scaled(spot.at, kind.size, shown.size());
            EXPECT_TRUE(!shownInScaledView(spot, full, kind.tolerance)
                        || colourDistance(shown.pixel(at), spot.colour) <= kind.tolerance)
                << kind.name << " thumbnail at " << at.x() << "," << at.y();
        }
        // So does a small decode; one that scales blends a little.
        const QImage small = format.smallDecode(path, kind.smallDecode).ToDisplayImage();
        ASSERT_EQ(small.size(), kind.smallDecode) << kind.name;
        const int smallTolerance = kind.tolerance + (kind.smallDecode == kind.size ? 0 : 2);
        for (const Spot &spot : kind.spots) {
            const QPoint at = scaled(spot.at, kind.size, small.size());
            EXPECT_TRUE(!shownInScaledView(spot, full, kind.tolerance)
                        || colourDistance(small.pixel(at), spot.colour) <= smallTolerance)
                << kind.name << " small at " << at.x() << "," << at.y();
        }
    }
}

namespace {

// The first `length` bytes of a file.
std::string cutAt(std::string file, std::size_t length)
{
    file.resize(std::min(file.size(), length));
    return file;
}

// A VP8L bitstream claiming width x height (its 14-bit sides follow the
// signature byte 0x2F).
std::string withVp8lSize(std::string webp, std::uint32_t width, std::uint32_t height)
{
    const std::size_t at = webp.find("VP8L") + 9;
    std::uint32_t bits = 0;
    std::memcpy(&bits, webp.data() + at, 4);
    bits = (width - 1) | (height - 1) << 14 | (bits & 0xF0000000u);
    std::memcpy(webp.data() + at, &bits, 4);
    return webp;
}

std::string gifWithScreen(std::string gif, std::uint16_t width, std::uint16_t height)
{
    gif[6] = static_cast<char>(width & 0xFF);
    gif[7] = static_cast<char>(width >> 8);
    gif[8] = static_cast<char>(height & 0xFF);
    gif[9] = static_cast<char>(height >> 8);
    return gif;
}

std::string flatGif(int width, int height, int imageWidth, int imageHeight, const std::string &comment = {})
{
    GifSpec recipe;
    recipe.width = width;
    recipe.height = height;
    recipe.colours = {kRed, kBlue};
    recipe.comment = comment;
    recipe.images = {gifImage(QRect(0, 0, imageWidth, imageHeight), [](int x, int) { return x & 1; })};
    return encodeGif(recipe);
}

std::string noisyGif()
{
    GifSpec recipe;
    recipe.width = 256;
    recipe.height = 192;
    for (int i = 0; i < 256; ++i) {
        recipe.colours.push_back(qRgb(i, 255 - i, i / 2));
    }
    recipe.images = {gifImage(QRect(0, 0, 256, 192), [](int x, int y) { return static_cast<int>(noise(x, y) & 255); })};
    return encodeGif(recipe);
}

std::string withExtraChunk(const std::string &still, const std::string &fourcc, std::size_t bytes)
{
    return riffWebP(vp8xChunk(kVp8xExif, 64, 48) + webpImageChunks(still) + riffChunk(fourcc, std::string(bytes, 'x')));
}

// What a hostile file must give: the stand-in (with the size shown, if
// any) or its own picture of its header's size.
struct HostileCase {
    std::string name; // also the file's name, extension included
    std::string content;
    bool ownPicture;
    std::optional<QSize> size;
    // For a cut file: a row decoded in full, and one past the cut, white.
    std::optional<std::pair<int, int>> decodedAndWhiteRow;
    QSize smallDecode = QSize(100, 75); // the size the small decode is asked for
    // A check of the format's own, given the file's path.
    std::function<void(const std::string &path)> alsoCheck = nullptr;
};

// The small decode of a HEIC file raises the format's error, its message
// holding `part`.
std::function<void(const std::string &)> heicRefusedWith(const std::string &part)
{
    return [part](const std::string &path) {
        const std::string error = errorTextOf<EHEIF>([&] { heicFormat().smallDecode(path, QSize(100, 75)); });
        EXPECT_NE(error.find(part), std::string::npos) << path << ": " << error;
    };
}

// The same for an AVIF file.
std::function<void(const std::string &)> avifRefusedWith(const std::string &part)
{
    return [part](const std::string &path) {
        const std::string error = errorTextOf<EAVIF>([&] { avifFormat().smallDecode(path, QSize(100, 75)); });
        EXPECT_NE(error.find(part), std::string::npos) << path << ": " << error;
    };
}

std::vector<HostileCase> hostileCases()
{
    const TiffSample grey = [](int, int x, int y, int c) { return unsigned(x * 5 + y * 3 + c) & 255; };
    TiffPage large;
    large.width = 600;
    large.height = 400;
    TiffPage wordy;
    TiffPage flat;
    flat.width = 8000;
    flat.height = 8000;
    flat.colour = TiffPage::Colour::Grey;
    flat.compression = 8;
    flat.rowsPerStrip = 8000;
    std::vector<HostileCase> cases = {
        {"TIFF of one grey, 8000 x 8000 in one Deflate strip of some 70 KB.tif",
         encodeTiff({flat}, [](int, int, int, int) { return 128u; }), false, std::nullopt, {}, QSize(50, 40)},
        {"TIFF claiming 16000 x 16000 in one Deflate strip of a few hundred bytes.tif", tiffClaiming(16000, 16000, 8),
         false, std::nullopt, {}, QSize(50, 40)},
        {"TIFF claiming 100000 x 100000 pixels.tif", tiffClaiming(100000, 100000, 1), false, std::nullopt, {},
         QSize(50, 40)},
        {"TIFF cut before its directory.tif", cutAt(encodeTiff({large}, grey), 5000), false, QSize(100, 80), {},
         QSize(50, 40)},
        {"TIFF of eight bytes.tif", cutAt(encodeTiff({large}, grey), 8), false, QSize(100, 80), {}, QSize(50, 40)},
        {"TIFF with its directory first, cut in its pixels.tif", cutAt(plainTiffDirectoryFirst(60, 40, 4), 3000), true,
         QSize(60, 40), {}, QSize(50, 40)},
        {"TIFF whose directory points at itself as the next page.tif",
         withDirectoryLoop(plainTiffDirectoryFirst(60, 40, 4)), true, QSize(60, 40), {}, QSize(50, 40)},
        {"TIFF with four megabytes of description.tif",
         encodeTiff({wordy}, grey, false, false, {}, std::string(4 << 20, 'w')), true, QSize(16, 12), {},
         QSize(50, 40)},
    };
    const std::string noisyWebP = webpStill(256, 192, false, false, noise);
    const std::string flatWebP = webpStill(64, 48, true, false, [](int, int) { return kBlue; });
    cases.push_back({"words.webp", std::string("RIFF\x10\0\0\0WEBPVP8 not a picture", 29), false, QSize(100, 80), {}});
    // 44 bytes claiming 16384 x 16384, which libwebp would hold in full.
    cases.push_back({"claims-gigapixel.webp", withVp8lSize(flatWebP, 16384, 16384), false, std::nullopt, {}});
    // A flat 3000 x 3000 picture in under a kilobyte: it decodes, but its
    // file is no excuse for 9 megapixels.
    cases.push_back({"flat-bomb.webp", webpStill(3000, 3000, true, false, [](int, int) { return kBlue; }), false,
                     std::nullopt, {}});
    // An animation whose canvas is 16000 x 16000, its one frame 8 x 8.
    cases.push_back({"huge-canvas.webp",
                     animatedWebP(16000, 16000, {WebPFrame{webpStill(8, 8, true, false, noise), 0, 0, 8, 8}}), false,
                     std::nullopt, {}});
    cases.push_back({"cut.webp", cutAt(noisyWebP, noisyWebP.size() / 2), true, QSize(256, 192), std::pair{10, 190}});
    cases.push_back({"cut-in-header.webp", noisyWebP.substr(0, 20), false, QSize(100, 80), {}});
    cases.push_back({"huge-metadata.webp", withExtraChunk(flatWebP, "XMP ", 5u << 20), true, QSize(64, 48), {}});

    cases.push_back({"cut-in-header.gif", "GIF89a\x40\x00\x30", false, QSize(100, 80), {}});
    // A screen of no pixels is refused with giflib's reader closed.
    cases.push_back({"empty-screen.gif", gifWithScreen(flatGif(64, 48, 64, 48), 0, 0), false, QSize(100, 80), {}});
    cases.push_back({"claims-gigapixel.gif", gifWithScreen(flatGif(64, 48, 64, 48), 65535, 65535), false, std::nullopt, {}});
    // An image far larger than its screen: a 16 x 16 screen, a 6000 x 6000
    // image coded in 25 KB.
    cases.push_back({"lzw-bomb.gif", flatGif(16, 16, 6000, 6000), false, std::nullopt, {}});
    cases.push_back({"screen-bomb.gif", flatGif(3000, 3000, 3000, 3000), false, std::nullopt, {}});
    const std::string noisy = noisyGif();
    cases.push_back({"cut.gif", cutAt(noisy, noisy.size() / 2), true, QSize(256, 192), std::pair{10, 190}});
    cases.push_back({"no-image.gif", flatGif(64, 48, 64, 48).substr(0, 13 + 6) + ";", false, std::nullopt, {}});
    cases.push_back({"huge-comment.gif", flatGif(64, 48, 64, 48, std::string(5u << 20, 'c')), true, QSize(64, 48), {}});
    // An LZW code size of 12 bits a pixel, which GIF does not allow.
    std::string damaged = flatGif(64, 48, 64, 48);
    damaged[13 + 6 + 10] = 12;
    cases.push_back({"damaged.gif", damaged, false, std::nullopt, {}});

    HeifSpec tileRecipe;
    tileRecipe.width = 64;
    tileRecipe.height = 64;
    const std::string tile = encodeHeif(tileRecipe, [](int x, int y) { return qRgb(x * 4, y * 4, 90); });
    HeifSpec largeRecipe;
    largeRecipe.width = 1024;
    largeRecipe.height = 1024;
    largeRecipe.quality = 10;
    const std::string largeHeif = encodeHeif(largeRecipe, [](int, int) { return kBlue; });
    // Beyond the pixel cap.
    cases.push_back({"claims 60000 x 60000.heic", withHeifClaimedSize(tile, 60000, 60000), false, std::nullopt, {},
                     QSize(100, 75), heicRefusedWith("Image too large")});
    // Within the cap, but a picture of 25 megapixels from 800 bytes.
    cases.push_back({"claims 5000 x 5000.heic", withHeifClaimedSize(tile, 5000, 5000), false, std::nullopt, {},
                     QSize(100, 75), heicRefusedWith("out of proportion")});
    // A grid of 64 x 64 tiles whose grid box says 4000 x 4000 while its size
    // property says 128 x 128: libheif would build the canvas the grid box
    // says.
    cases.push_back({"grid larger than stated.heic", heifGrid(tile, 2, 2, 4000, 4000, 128, 128), false, std::nullopt,
                     {}, QSize(100, 75), heicRefusedWith("Security limit")});
    // 10,000 tiles of 64 x 64 from 20 KB.
    cases.push_back({"grid of 10,000 tiles.heic", heifGrid(tile, 100, 100, 6400, 6400, 6400, 6400), false,
                     std::nullopt, {}, QSize(100, 75), heicRefusedWith("out of proportion")});
    // A coded picture of 1024 x 1024 whose size property says 64 x 64.
    cases.push_back({"coded larger than stated.heic", withHeifClaimedSize(largeHeif, 64, 64), false, std::nullopt, {},
                     QSize(100, 75), heicRefusedWith("Security limit")});
    // Cut in the middle of its coded data: libheif reads none of it.
    cases.push_back({"cut short.heic", tile.substr(0, tile.size() - 300), false, QSize(100, 80), {}, QSize(100, 75),
                     heicRefusedWith("HEIF error")});
    cases.push_back({"file type box alone.heic", tile.substr(0, 24), false, QSize(100, 80), {}, QSize(100, 75),
                     heicRefusedWith("HEIF error")});
    // Claims a small file may make are decoded: 7.8 megapixels claimed by a
    // 64 x 64 picture, and a 2 x 2 grid stated as it is.
    cases.push_back({"fair claim.heic", withHeifClaimedSize(tile, 2800, 2800), true, QSize(2800, 2800), {}});
    cases.push_back({"fair grid.heic", heifGrid(tile, 2, 2, 128, 128, 128, 128), true, QSize(128, 128), {}});

    // The same claims in AVIF files, read by libavif.
    HeifSpec avifTileRecipe = tileRecipe;
    avifTileRecipe.codec = HeifSpec::Codec::Av1;
    const std::string avifTile = encodeHeif(avifTileRecipe, [](int x, int y) { return qRgb(x * 4, y * 4, 90); });
    HeifSpec avifLargeRecipe = largeRecipe;
    avifLargeRecipe.codec = HeifSpec::Codec::Av1;
    const std::string largeAvif = encodeHeif(avifLargeRecipe, [](int, int) { return kBlue; });
    cases.push_back({"claims 60000 x 60000.avif", withHeifClaimedSize(avifTile, 60000, 60000), false, QSize(100, 80),
                     {}, QSize(100, 75), avifRefusedWith("AVIF error")});
    cases.push_back({"claims 5000 x 5000.avif", withHeifClaimedSize(avifTile, 5000, 5000), false, std::nullopt, {},
                     QSize(100, 75), avifRefusedWith("out of proportion")});
    cases.push_back({"coded larger than stated.avif", withHeifClaimedSize(largeAvif, 64, 64), false, std::nullopt, {},
                     QSize(100, 75), avifRefusedWith("AVIF error")});
    cases.push_back({"cut short.avif", avifTile.substr(0, avifTile.size() - 100), false, std::nullopt, {},
                     QSize(100, 75), avifRefusedWith("AVIF error")});
    cases.push_back({"file type box alone.avif", avifTile.substr(0, 24), false, QSize(100, 80), {}, QSize(100, 75),
                     avifRefusedWith("AVIF error")});
    cases.push_back({"fair claim.avif", withHeifClaimedSize(avifTile, 2800, 2800), true, QSize(2800, 2800), {}});
    return cases;
}

} // namespace

TEST(HostileFormatFiles, eachGivesTheStandInOrABoundedPictureOfItsOwn)
{
    TempTree tree;
    for (const HostileCase &hostile : hostileCases()) {
        const std::string path = tree.writeFile(hostile.name, hostile.content);
        const PictureFormat &format = formatNaming(path);
        const FormatThumbnail thumbnail = format.rowThumbnail(path);
        EXPECT_EQ(thumbnail.ownPicture, hostile.ownPicture) << hostile.name;
        EXPECT_EQ(thumbnail.size, hostile.size) << hostile.name;
        // The image view's small decode refuses a stand-in's file, and
        // stays small for the others.
        if (!hostile.ownPicture) {
            EXPECT_EQ(thumbnail.thumbnail.ToDisplayImage(), fallbackThumbnail()) << hostile.name;
            EXPECT_ANY_THROW(format.smallDecode(path, hostile.smallDecode)) << hostile.name;
        } else {
            try {
                const TBitmap small = format.smallDecode(path, hostile.smallDecode);
                EXPECT_LE(std::int64_t(small.Width()) * small.Height(), 4 * 1024 * 1024) << hostile.name;
            } catch (const std::exception &error) {
                ADD_FAILURE() << hostile.name << ": " << error.what();
            }
        }
        if (hostile.decodedAndWhiteRow) {
            const QImage full = fullDecode(format, path);
            const auto [decoded, white] = *hostile.decodedAndWhiteRow;
            int decodedWhite = 0;
            for (int x = 0; x < full.width(); ++x) {
                decodedWhite += full.pixel(x, decoded) == kWhite;
                EXPECT_EQ(full.pixel(x, white), kWhite) << hostile.name << " " << x;
            }
            EXPECT_LT(decodedWhite, full.width() / 4) << hostile.name;
        }
        if (hostile.alsoCheck) {
            hostile.alsoCheck(path);
        }
        // The image view: a picture that will not decode reports it and
        // draws nothing of its own.
        std::unique_ptr<TGraphic> picture = format.newPicture();
        try {
            picture->LoadFromFile(path);
            QImage window(700, 450, QImage::Format_RGB32);
            QPainter painter(&window);
            picture->Draw(painter, window.rect());
            EXPECT_TRUE(hostile.ownPicture) << hostile.name;
        } catch (const std::exception &) {
            EXPECT_FALSE(hostile.ownPicture) << hostile.name;
        }
    }
}

TEST(HostileWebPAndGifFiles, picturesAboveThePixelCapAreRefusedBeforeDecoding)
{
    TempTree tree;
    // The cap lowered to just above the stand-in's 100 x 80 pixels.
    struct LoweredCap {
        std::uint64_t previous = maxPicturePixels();
        LoweredCap() { setMaxPicturePixels(9000); }
        ~LoweredCap() { setMaxPicturePixels(previous); }
    } lowered;
    const std::vector<std::string> paths = {tree.writeFile("big.webp", webpStill(100, 91, true, false, noise)),
                                            tree.writeFile("big.gif", flatGif(100, 91, 100, 91)),
                                            // a screen within the cap, its image not
                                            tree.writeFile("big-image.gif", flatGif(32, 32, 100, 91))};
    for (const std::string &path : paths) {
        const PictureFormat &format = formatNaming(path);
        const FormatThumbnail thumbnail = format.rowThumbnail(path);
        EXPECT_FALSE(thumbnail.ownPicture) << path;
        EXPECT_FALSE(thumbnail.size.has_value()) << path;
        EXPECT_ANY_THROW(format.smallDecode(path, QSize(8, 8))) << path;
    }
}

TEST(HostileWebPAndGifFiles, aCancelledDecodeEndsWithTheStandIn)
{
    TempTree tree;
    const std::vector<std::string> paths = {tree.writeFile("a.webp", webpStill(64, 48, false, false, noise)),
                                            tree.writeFile("a.gif", flatGif(64, 48, 64, 48))};
    std::atomic<bool> cancelled{true};
    for (const std::string &path : paths) {
        const PictureFormat &format = formatNaming(path);
        {
            DecodeCancelScope scope(cancelled);
            EXPECT_FALSE(format.rowThumbnail(path).ownPicture) << path;
        }
        EXPECT_TRUE(format.rowThumbnail(path).ownPicture) << path;
    }
}

TEST(WebPAndGifMetadata, webpExifBlockStartsAtTheByteOrderMarkAndGifHasNoTurn)
{
    TempTree tree;
    const std::string still = webpStill(8, 6, true, false, noise);
    const std::string tiff = std::string("MM\0\x2a\0\0\0\x08", 8) + "rest";
    const auto withExif = [&](const std::string &payload, const std::string &after) {
        return riffWebP(vp8xChunk(kVp8xExif, 8, 6) + webpImageChunks(still) + riffChunk("XMP ", std::string(3, 'x')) +
                        riffChunk("EXIF", payload) + after);
    };
    const PictureFormat &webp = formatNaming("x.webp");
    const std::vector<std::uint8_t> expected(tiff.begin(), tiff.end());
    EXPECT_EQ(webp.exifBlock(tree.writeFile("prefixed.webp", withExif(std::string("Exif\0\0", 6) + tiff, ""))), expected);
    EXPECT_EQ(webp.exifBlock(tree.writeFile("plain.webp", withExif(tiff, riffChunk("EXIF", "second")))), expected);
    EXPECT_TRUE(webp.exifBlock(tree.writeFile("none.webp", still)).empty());
    // A chunk claiming more bytes than the file holds.
    std::string cutShort = withExif(tiff, "");
    cutShort.resize(cutShort.size() - 4);
    EXPECT_TRUE(webp.exifBlock(tree.writeFile("cut.webp", cutShort)).empty());

    const std::string gif = tree.writeFile("a.gif", flatGif(8, 6, 8, 6));
    EXPECT_EQ(formatNaming(gif).orientation(gif), 1);
    EXPECT_TRUE(formatNaming(gif).exifBlock(gif).empty());
}
