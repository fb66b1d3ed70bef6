#include "support/picture_samples.h"

#include "imaging/picture_format.h"
#include "support/heif_samples.h"
#include "support/picture_fixtures.h"
#include "support/tiff_fixtures.h"
#include "support/webp_gif_fixtures.h"

#include <stdexcept>

namespace quillmere::test {

QRgb quadrant(int x, int y, int width, int height)
{
    static const QRgb colours[4] = {qRgb(200, 30, 30), qRgb(30, 200, 30), qRgb(30, 30, 200), qRgb(230, 230, 40)};
    return colours[(x >= width / 2 ? 1 : 0) + (y >= height / 2 ? 2 : 0)];
}

const std::map<QString, Sample> &samples()
{
    static const std::map<QString, Sample> all = {
        {QStringLiteral("JPEG"),
         {[](int width, int height) {
              JpegSpec recipe;
              recipe.width = width;
              recipe.height = height;
              return encodeJpeg(recipe, [&](int x, int y) { return quadrant(x, y, width, height); });
          },
          24}},
        {QStringLiteral("BMP"),
         {[](int width, int height) {
              BmpSpec recipe;
              recipe.width = width;
              recipe.height = height;
              recipe.pixels = packRows(width, height, 24, [&](int x, int y) { return quadrant(x, y, width, height); });
              return buildBmp(recipe);
          },
          0}},
        {QStringLiteral("PNG"),
         {[](int width, int height) {
              PngSpec recipe;
              recipe.width = width;
              recipe.height = height;
              return encodePng(recipe, [&](int x, int y, int c) {
                  const QRgb colour = quadrant(x, y, width, height);
                  return static_cast<unsigned>(c == 0 ? qRed(colour) : c == 1 ? qGreen(colour) : qBlue(colour));
              });
          },
          0}},
        {QStringLiteral("HEIC"),
         {[](int width, int height) {
              HeifSpec recipe;
              recipe.width = width;
              recipe.height = height;
              return encodeHeif(recipe, [&](int x, int y) { return quadrant(x, y, width, height); });
          },
          24}},
        {QStringLiteral("AVIF"),
         {[](int width, int height) {
              HeifSpec recipe;
              recipe.width = width;
              recipe.height = height;
              recipe.codec = HeifSpec::Codec::Av1;
              return encodeHeif(recipe, [&](int x, int y) { return quadrant(x, y, width, height); });
          },
          24}},
        {QStringLiteral("WebP"),
         {[](int width, int height) {
              WebPSpec recipe;
              recipe.width = width;
              recipe.height = height;
              return encodeWebP(recipe, [&](int x, int y) { return quadrant(x, y, width, height); });
          },
          24}},
        {QStringLiteral("TIFF"),
         {[](int width, int height) {
              TiffPage page;
              page.width = width;
              page.height = height;
              page.compression = 8; // Deflate
              return encodeTiff({page}, [&](int, int x, int y, int c) {
                  const QRgb colour = quadrant(x, y, width, height);
                  return static_cast<unsigned>(c == 0 ? qRed(colour) : c == 1 ? qGreen(colour) : qBlue(colour));
              });
          },
          0}},
        {QStringLiteral("GIF"),
         {[](int width, int height) {
              GifSpec recipe;
              recipe.width = width;
              recipe.height = height;
              recipe.colours = {quadrant(0, 0, 2, 2), quadrant(1, 0, 2, 2), quadrant(0, 1, 2, 2), quadrant(1, 1, 2, 2)};
              recipe.images.push_back(GifImage{QRect(0, 0, width, height), false, -1, {}, [=](int x, int y) {
                                                   return (x >= width / 2 ? 1 : 0) + (y >= height / 2 ? 2 : 0);
                                               }});
              return encodeGif(recipe);
          },
          0}},
    };
    return all;
}

const Sample &sampleOf(const PictureFormat &format)
{
    const auto found = samples().find(format.name());
    if (found == samples().end()) {
        throw std::runtime_error("no sample writer for " + format.name().toStdString());
    }
    return found->second;
}

} // namespace quillmere::test
