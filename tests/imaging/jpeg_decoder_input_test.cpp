#include "imaging/jpeg_decoder_input.h"
#include "imaging/picture_fingerprint.h"

#include "support/exif_writer.h"
#include "support/picture_fixtures.h"
#include "support/temp_tree.h"

#include <gtest/gtest.h>

namespace quillmere {
namespace {

using namespace quillmere::test;

std::vector<std::uint8_t> bytesOf(const std::string &text)
{
    return {text.begin(), text.end()};
}

std::string plainJpeg(JpegSpec::Colour colour = JpegSpec::Colour::Rgb, int shade = 0)
{
    JpegSpec recipe;
    recipe.width = 48;
    recipe.height = 40;
    recipe.colour = colour;
    return encodeJpeg(recipe, [shade](int x, int y) { return qRgb(x * 5 + shade, y * 6, (x * y + shade) % 256); });
}

// A comment segment put right after the start of the image.
std::string withComment(const std::string &jpeg, const std::string &comment)
{
    const auto length = static_cast<char>(comment.size() + 2);
    return jpeg.substr(0, 2) + std::string("\xFF\xFE\x00", 3) + length + comment + jpeg.substr(2);
}

TEST(JpegDecoderInput, metadataAloneLeavesTheDecoderInputAsItIs)
{
    const std::string jpeg = plainJpeg();
    const auto input = JpegDecoderInput(bytesOf(jpeg));
    ASSERT_TRUE(input.has_value());
    const std::string tagged = withComment(jpegWithExif(jpeg, exifBlockWithOrientation(1)), "edited");
    EXPECT_EQ(JpegDecoderInput(bytesOf(tagged)), input);

    // Other pixels, or an Adobe segment that changes how the channels are
    // read, are other decoder input.
    EXPECT_NE(JpegDecoderInput(bytesOf(plainJpeg(JpegSpec::Colour::Rgb, 1))), input);
    EXPECT_NE(JpegDecoderInput(bytesOf(plainJpeg(JpegSpec::Colour::CmykAdobe))),
              JpegDecoderInput(bytesOf(plainJpeg(JpegSpec::Colour::CmykPlain))));

    for (const std::string &bad : {std::string("not a jpeg"), jpeg.substr(0, 20), std::string("\xFF\xD8\xFF\xE1\x00\x01", 6)}) {
        EXPECT_FALSE(JpegDecoderInput(bytesOf(bad)).has_value()) << bad.size();
    }
}

TEST(JpegDecoderInput, aCopyTurnedByItsTagIsAnotherPicture)
{
    TempTree tree;
    const std::string jpeg = plainJpeg();
    const std::string plain = tree.writeFile("a.jpg", jpeg);
    const std::string stripped = tree.writeFile("b.jpg", withComment(jpegWithExif(jpeg, exifBlockWithOrientation(1)), "x"));
    const std::string turned = tree.writeFile("c.jpg", jpegWithExif(jpeg, exifBlockWithOrientation(3)));
    EXPECT_TRUE(UprightPixelsEqual(plain, stripped));
    EXPECT_FALSE(UprightPixelsEqual(plain, turned));
}

} // namespace
} // namespace quillmere
