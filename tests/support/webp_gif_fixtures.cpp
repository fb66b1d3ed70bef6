#include "support/webp_gif_fixtures.h"

#include <gif_lib.h>
#include <stdexcept>
#include <webp/encode.h>

namespace quillmere::test {

namespace {

std::string le24(std::uint32_t value)
{
    return std::string{static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                       static_cast<char>((value >> 16) & 0xFF)};
}

std::string le32Text(std::uint32_t value)
{
    return le24(value) + static_cast<char>((value >> 24) & 0xFF);
}

std::uint32_t readLe32(const std::string &s, std::size_t at)
{
    return static_cast<std::uint8_t>(s[at]) | static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(s[at + 3])) << 24;
}

ColorMapObject *colourMap(const std::vector<QRgb> &colours)
{
    int count = 2;
    while (count < static_cast<int>(colours.size())) {
        count *= 2;
    }
    ColorMapObject *map = GifMakeMapObject(count, nullptr);
    for (int i = 0; i < count; ++i) {
        const QRgb c = i < static_cast<int>(colours.size()) ? colours[static_cast<std::size_t>(i)] : qRgb(0, 0, 0);
        map->Colors[i] = GifColorType{static_cast<GifByteType>(qRed(c)), static_cast<GifByteType>(qGreen(c)),
                                      static_cast<GifByteType>(qBlue(c))};
    }
    return map;
}

int writeOut(GifFileType *gif, const GifByteType *data, int count)
{
    static_cast<std::string *>(gif->UserData)->append(reinterpret_cast<const char *>(data), static_cast<std::size_t>(count));
    return count;
}

} // namespace

std::string encodeWebP(const WebPSpec &recipe, const std::function<QRgb(int, int)> &colour)
{
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(recipe.width) * static_cast<std::size_t>(recipe.height) * 4);
    for (int y = 0; y < recipe.height; ++y) {
        for (int x = 0; x < recipe.width; ++x) {
            const QRgb c = colour(x, y);
            std::uint8_t *p = rgba.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(recipe.width) + static_cast<std::size_t>(x)) * 4;
            p[0] = static_cast<std::uint8_t>(qRed(c));
            p[1] = static_cast<std::uint8_t>(qGreen(c));
            p[2] = static_cast<std::uint8_t>(qBlue(c));
            p[3] = recipe.alpha ? static_cast<std::uint8_t>(qAlpha(c)) : 255;
        }
    }
    std::uint8_t *out = nullptr;
    const int stride = recipe.width * 4;
    const std::size_t size = recipe.lossless
                                 ? WebPEncodeLosslessRGBA(rgba.data(), recipe.width, recipe.height, stride, &out)
                                 : WebPEncodeRGBA(rgba.data(), recipe.width, recipe.height, stride,
                                                  static_cast<float>(recipe.quality), &out);
    if (size == 0) {
        throw std::runtime_error("libwebp could not encode the sample");
    }
    std::string file(reinterpret_cast<const char *>(out), size);
    WebPFree(out);
    return file;
}

std::string riffChunk(const std::string &fourcc, const std::string &payload)
{
    std::string chunk = fourcc + le32Text(static_cast<std::uint32_t>(payload.size())) + payload;
    if (payload.size() % 2 != 0) {
        chunk += '\0';
    }
    return chunk;
}

std::string riffWebP(const std::string &chunks)
{
    return "RIFF" + le32Text(static_cast<std::uint32_t>(chunks.size() + 4)) + "WEBP" + chunks;
}

std::string webpImageChunks(const std::string &webp)
{
    std::size_t at = 12;
    if (webp.compare(at, 4, "VP8X") == 0) {
        at += 8 + readLe32(webp, at + 4);
    }
    return webp.substr(at);
}

std::string vp8xChunk(std::uint8_t flags, int width, int height)
{
    return riffChunk("VP8X", std::string{static_cast<char>(flags), 0, 0, 0} + le24(static_cast<std::uint32_t>(width - 1)) +
                                 le24(static_cast<std::uint32_t>(height - 1)));
}

std::string animatedWebP(int width, int height, const std::vector<WebPFrame> &frames)
{
    std::string chunks = vp8xChunk(kVp8xAnimation | kVp8xAlpha, width, height);
    chunks += riffChunk("ANIM", std::string(4, '\xFF') + std::string(2, '\0')); // white background, loop forever
    for (const WebPFrame &frame : frames) {
        const std::string header = le24(static_cast<std::uint32_t>(frame.left / 2)) + le24(static_cast<std::uint32_t>(frame.top / 2)) +
                                   le24(static_cast<std::uint32_t>(frame.width - 1)) +
                                   le24(static_cast<std::uint32_t>(frame.height - 1)) + le24(100) + std::string(1, '\0');
        chunks += riffChunk("ANMF", header + webpImageChunks(frame.still));
    }
    return riffWebP(chunks);
}

std::string encodeGif(const GifSpec &recipe)
{
    std::string file;
    int error = 0;
    GifFileType *gif = EGifOpen(&file, writeOut, &error);
    if (!gif) {
        throw std::runtime_error("giflib could not start the sample");
    }
    EGifSetGifVersion(gif, true);
    ColorMapObject *screenMap = recipe.colours.empty() ? nullptr : colourMap(recipe.colours);
    bool ok = EGifPutScreenDesc(gif, recipe.width, recipe.height, 8, 0, screenMap) == GIF_OK;
    GifFreeMapObject(screenMap);
    if (ok && !recipe.comment.empty()) {
        ok = EGifPutComment(gif, recipe.comment.c_str()) == GIF_OK;
    }
    for (const GifImage &image : recipe.images) {
        if (!ok) {
            break;
        }
        if (image.transparent >= 0) {
            GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 10, image.transparent};
            GifByteType extension[4];
            EGifGCBToExtension(&control, extension);
            ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_OK;
        }
        ColorMapObject *map = image.colours.empty() ? nullptr : colourMap(image.colours);
        ok = ok && EGifPutImageDesc(gif, image.area.left(), image.area.top(), image.area.width(), image.area.height(),
                                    image.interlaced, map) == GIF_OK;
        GifFreeMapObject(map);
        // An interlaced image is written pass by pass.
        std::vector<int> order;
        if (image.interlaced) {
            for (const auto &[start, step] : {std::pair{0, 8}, std::pair{4, 8}, std::pair{2, 4}, std::pair{1, 2}}) {
                for (int y = start; y < image.area.height(); y += step) {
                    order.push_back(y);
                }
            }
        } else {
            for (int y = 0; y < image.area.height(); ++y) {
                order.push_back(y);
            }
        }
        std::vector<GifPixelType> line(static_cast<std::size_t>(image.area.width()));
        for (const int y : order) {
            for (int x = 0; x < image.area.width(); ++x) {
                line[static_cast<std::size_t>(x)] = static_cast<GifPixelType>(image.index(x, y));
            }
            ok = ok && EGifPutLine(gif, line.data(), image.area.width()) == GIF_OK;
        }
    }
    if (EGifCloseFile(gif, &error) != GIF_OK || !ok) {
        throw std::runtime_error("giflib could not write the sample");
    }
    return file;
}

} // namespace quillmere::test
