#include "support/similar_copies.h"

#include "support/made_up_photos.h"
#include "support/picture_fixtures.h"
#include "support/temp_tree.h"

namespace quillmere::test {

std::string jpegOf(const QImage &image, int quality)
{
    JpegSpec recipe;
    recipe.width = image.width();
    recipe.height = image.height();
    recipe.quality = quality;
    return encodeJpeg(recipe, [&](int x, int y) { return image.pixel(x, y); });
}

std::string pngOf(const QImage &image)
{
    PngSpec recipe;
    recipe.width = image.width();
    recipe.height = image.height();
    return encodePng(recipe, [&](int x, int y, int c) {
        const QRgb colour = image.pixel(x, y);
        return static_cast<unsigned>(c == 0 ? qRed(colour) : c == 1 ? qGreen(colour) : qBlue(colour));
    });
}

SimilarCopies writeSimilarCopies(const TempTree &tree, const std::string &folder)
{
    const std::string prefix = folder.empty() ? std::string() : folder + "/";
    const QImage photo = madeUpPhoto(7, 640, 480);
    SimilarCopies copies;
    copies.original = tree.writeFile(prefix + "original.jpg", jpegOf(photo));
    const std::string resized = jpegOf(scaledToLongSide(photo, 320));
    copies.resized = tree.writeFile(prefix + "resized.jpg", resized);
    copies.reencoded = tree.writeFile(prefix + "reencoded.jpg", jpegOf(photo, 55));
    copies.converted = tree.writeFile(prefix + "converted.png", pngOf(scaledToLongSide(photo, 480)));
    copies.sameBytes = tree.writeFile(prefix + "copy of resized.jpg", resized);
    copies.distinct = tree.writeFile(prefix + "other.jpg", jpegOf(madeUpPhoto(8, 640, 480)));
    return copies;
}

} // namespace quillmere::test
