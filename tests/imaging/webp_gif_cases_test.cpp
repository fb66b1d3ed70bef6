// Each format over the kinds of file it meets (colour kinds, alpha, frames)
// and over hostile files (claimed gigapixels, cut files, decompression
// bombs, huge metadata), one table of cases per concern.
#include "imaging/bitmap.h"
#include "imaging/decode_cancel.h"
#include "imaging/encoded_picture.h"
#include "imaging/picture_format.h"
#include "imaging/picture_formats.h"
#include "imaging/picture_limits.h"
#include "support/picture_fixtures.h"
#include "support/pictures.h"
#include "support/temp_tree.h"
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

// One picture point and the colour it must decode to.
struct Spot {
    QPoint at;
    QRgb colour;
};

struct KindCase {
    const char *name;      // also the file's name, extension included
    std::string content;
    QSize size;
    std::vector<Spot> spots;
    int tolerance;
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

std::vector<KindCase> kindCases()
{
    const auto leftRight = [](QRgb left, QRgb right) {
        return [=](int x, int) { return x < 32 ? left : right; };
    };
    std::vector<KindCase> cases;
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

} // namespace

TEST(WebPAndGifKinds, everyKindDecodesToItsColoursOverWhiteInEveryWayThePictureIsShown)
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
        // The thumbnail and a small decode show the same picture.
        const FormatThumbnail thumbnail = format.rowThumbnail(path);
        EXPECT_TRUE(thumbnail.ownPicture) << kind.name;
        EXPECT_EQ(thumbnail.size, kind.size) << kind.name;
        QImage expected(100, 75, QImage::Format_RGB32);
        TBitmap whole;
        whole.SetPixels(full, 32);
        whole.StretchDraw(expected, expected.rect());
        EXPECT_EQ(thumbnail.thumbnail.ToDisplayImage(), expected) << kind.name;
        // A small decode shows the spots that lie inside an area of their
        // colour (a scaled decode blends the pixels at an edge).
        const QImage small = format.smallDecode(path, QSize(32, 24)).ToDisplayImage();
        EXPECT_EQ(small.size(), QSize(32, 24)) << kind.name;
        for (const Spot &spot : kind.spots) {
            bool inside = true;
            for (int y = spot.at.y() - 3; y <= spot.at.y() + 3; ++y) {
                for (int x = spot.at.x() - 3; x <= spot.at.x() + 3; ++x) {
                    const QPoint near(std::clamp(x, 0, full.width() - 1), std::clamp(y, 0, full.height() - 1));
                    inside = inside && colourDistance(full.pixel(near), spot.colour) <= kind.tolerance;
                }
            }
            const QPoint at(spot.at.x() * small.width() / kind.size.width(), spot.at.y() * small.height() / kind.size.height());
            EXPECT_TRUE(!inside || colourDistance(small.pixel(at), spot.colour) <= kind.tolerance + 2)
                << kind.name << " small at " << at.x() << "," << at.y();
        }
    }
}

namespace {

std::string cut(std::string content, double keep)
{
    content.resize(static_cast<std::size_t>(static_cast<double>(content.size()) * keep));
    return content;
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
    const char *name;
    std::string content;
    bool ownPicture;
    std::optional<QSize> size;
    // For a cut file: a row decoded in full, and one past the cut, white.
    std::optional<std::pair<int, int>> decodedAndWhiteRow;
};

std::vector<HostileCase> hostileCases()
{
    const std::string noisyWebP = webpStill(256, 192, false, false, noise);
    const std::string flatWebP = webpStill(64, 48, true, false, [](int, int) { return kBlue; });
    std::vector<HostileCase> cases;
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
    cases.push_back({"cut.webp", cut(noisyWebP, 0.5), true, QSize(256, 192), std::pair{10, 190}});
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
    cases.push_back({"cut.gif", cut(noisyGif(), 0.5), true, QSize(256, 192), std::pair{10, 190}});
    cases.push_back({"no-image.gif", flatGif(64, 48, 64, 48).substr(0, 13 + 6) + ";", false, std::nullopt, {}});
    cases.push_back({"huge-comment.gif", flatGif(64, 48, 64, 48, std::string(5u << 20, 'c')), true, QSize(64, 48), {}});
    // An LZW code size of 12 bits a pixel, which GIF does not allow.
    std::string damaged = flatGif(64, 48, 64, 48);
    damaged[13 + 6 + 10] = 12;
    cases.push_back({"damaged.gif", damaged, false, std::nullopt, {}});
    return cases;
}

} // namespace

TEST(HostileWebPAndGifFiles, eachGivesTheStandInOrABoundedPictureOfItsOwn)
{
    TempTree tree;
    for (const HostileCase &hostile : hostileCases()) {
        const std::string path = tree.writeFile(hostile.name, hostile.content);
        const PictureFormat &format = formatNaming(path);
        const FormatThumbnail thumbnail = format.rowThumbnail(path);
        EXPECT_EQ(thumbnail.ownPicture, hostile.ownPicture) << hostile.name;
        EXPECT_EQ(thumbnail.size, hostile.size) << hostile.name;
        if (!hostile.ownPicture) {
            EXPECT_EQ(thumbnail.thumbnail.ToDisplayImage(), fallbackThumbnail()) << hostile.name;
            EXPECT_ANY_THROW(format.smallDecode(path, QSize(100, 75))) << hostile.name;
        } else {
            EXPECT_NO_THROW(format.smallDecode(path, QSize(100, 75))) << hostile.name;
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
