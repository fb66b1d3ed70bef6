#include "support/heif_samples.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

namespace quillmere::test {

namespace {

void check(heif_error error, const char *what)
{
    if (error.code != heif_error_Ok) {
        throw std::runtime_error(std::string(what) + ": " + error.message);
    }
}

heif_error appendTo(heif_context *, const void *data, size_t size, void *userdata)
{
    auto *out = static_cast<std::string *>(userdata);
    out->append(static_cast<const char *>(data), size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "Success"};
}

struct ContextDeleter {
    void operator()(heif_context *c) const { heif_context_free(c); }
};
struct ImageDeleter {
    void operator()(heif_image *i) const { heif_image_release(i); }
};
struct EncoderDeleter {
    void operator()(heif_encoder *e) const { heif_encoder_release(e); }
};
struct OptionsDeleter {
    void operator()(heif_encoding_options *o) const { heif_encoding_options_free(o); }
};
struct HandleDeleter {
    void operator()(heif_image_handle *h) const { heif_image_handle_release(h); }
};

std::string be16(unsigned value)
{
    return {static_cast<char>((value >> 8) & 255), static_cast<char>(value & 255)};
}

std::string be32(std::uint32_t value)
{
    return be16(value >> 16) + be16(value & 0xFFFF);
}

std::uint32_t readBe32(const std::string &s, std::size_t at)
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at])) << 24 |
        static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 1])) << 16 |
        static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 2])) << 8 |
        static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 3]));
}

std::string box(const std::string &type, const std::string &payload)
{
    return be32(static_cast<std::uint32_t>(8 + payload.size())) + type + payload;
}

std::string fullBox(const std::string &type, int version, std::uint32_t flags, const std::string &payload)
{
    return box(type, std::string(1, static_cast<char>(version)) + be32(flags).substr(1) + payload);
}

// The boxes directly inside [begin, end) of file, by type (the first of each).
struct Boxes {
    std::vector<std::pair<std::string, std::string>> all; // type, whole box
    std::string find(const std::string &type) const
    {
        for (const auto &[t, whole] : all) {
            if (t == type) {
                return whole;
            }
        }
        throw std::runtime_error("no " + type + " box");
    }
};
Boxes boxesIn(const std::string &file, std::size_t begin, std::size_t end)
{
    Boxes found;
    while (begin + 8 <= end) {
        const std::uint32_t size = readBe32(file, begin);
        if (size < 8 || begin + size > end) {
            throw std::runtime_error("bad box");
        }
        found.all.emplace_back(file.substr(begin + 4, 4), file.substr(begin, size));
        begin += size;
    }
    return found;
}

} // namespace

static std::unique_ptr<heif_image, ImageDeleter> makeImage(int width, int height, bool alpha,
                                                   const std::function<QRgb(int, int)> &colour)
{
    heif_image *raw = nullptr;
    const heif_chroma chroma = alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB;
    check(heif_image_create(width, height, heif_colorspace_RGB, chroma, &raw), "image");
    std::unique_ptr<heif_image, ImageDeleter> image(raw);
    check(heif_image_add_plane(raw, heif_channel_interleaved, width, height, 8), "plane");
    int stride = 0;
    std::uint8_t *plane = heif_image_get_plane(raw, heif_channel_interleaved, &stride);
    const int channels = alpha ? 4 : 3;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const QRgb c = colour(x, y);
            std::uint8_t *p = plane + static_cast<std::ptrdiff_t>(y) * stride + x * channels;
            p[0] = static_cast<std::uint8_t>(qRed(c));
            p[1] = static_cast<std::uint8_t>(qGreen(c));
            p[2] = static_cast<std::uint8_t>(qBlue(c));
            if (alpha) {
                p[3] = static_cast<std::uint8_t>(qAlpha(c));
            }
        }
    }
    return image;
}

std::string encodeHeif(const HeifSpec &recipe, const std::function<QRgb(int, int)> &colour)
{
    const auto image = makeImage(recipe.width, recipe.height, recipe.alpha, colour);
    heif_image *raw = image.get();

    std::unique_ptr<heif_context, ContextDeleter> context(heif_context_alloc());
    heif_encoder *encoderRaw = nullptr;
    const heif_compression_format format =
        recipe.codec == HeifSpec::Codec::Hevc ? heif_compression_HEVC : heif_compression_AV1;
    check(heif_context_get_encoder_for_format(context.get(), format, &encoderRaw), "encoder");
    std::unique_ptr<heif_encoder, EncoderDeleter> encoder(encoderRaw);
    check(heif_encoder_set_lossy_quality(encoderRaw, recipe.quality), "quality");
    if (recipe.codec == HeifSpec::Codec::Av1) {
        heif_encoder_set_parameter(encoderRaw, "speed", "9");
    }
    std::unique_ptr<heif_encoding_options, OptionsDeleter> options(heif_encoding_options_alloc());
    options->image_orientation = static_cast<heif_orientation>(recipe.orientation);
    heif_image_handle *handleRaw = nullptr;
    check(heif_context_encode_image(context.get(), raw, encoderRaw, options.get(), &handleRaw), "encode");
    std::unique_ptr<heif_image_handle, HandleDeleter> handle(handleRaw);
    if (recipe.thumbnailSide > 0) {
        heif_image_handle *thumbnail = nullptr;
        check(heif_context_encode_thumbnail(context.get(), raw, handleRaw, encoderRaw, options.get(),
                                            recipe.thumbnailSide, &thumbnail),
              "thumbnail");
        if (thumbnail) {
            heif_image_handle_release(thumbnail);
        }
    }
    if (recipe.thumbnailColour) {
        // libheif encodes a thumbnail by scaling a picture down into a
        // square, and only a picture larger than the square: here one of
        // twice the size asked, in the thumbnail's own colours.
        const auto colours = recipe.thumbnailColour;
        const auto large = makeImage(recipe.thumbnailWidth * 2, recipe.thumbnailHeight * 2, false,
                                     [&](int x, int y) { return colours(x / 2, y / 2); });
        heif_image_handle *thumbnail = nullptr;
        check(heif_context_encode_thumbnail(context.get(), large.get(), handleRaw, encoderRaw, options.get(),
                                            std::max(recipe.thumbnailWidth, recipe.thumbnailHeight), &thumbnail),
              "thumbnail");
        std::unique_ptr<heif_image_handle, HandleDeleter> owned(thumbnail);
    }
    std::string out;
    heif_writer writer{1, appendTo};
    check(heif_context_write(context.get(), &writer, &out), "write");
    return out;
}

std::string heifGrid(const std::string &tileFile, int rows, int columns, int gridWidth, int gridHeight,
                     int claimedWidth, int claimedHeight)
{
    const Boxes top = boxesIn(tileFile, 0, tileFile.size());
    const std::string ftyp = top.find("ftyp");
    const std::string meta = top.find("meta");
    const std::string mdat = top.find("mdat");
    const Boxes inMeta = boxesIn(meta, 12, meta.size());
    const std::string iprp = inMeta.find("iprp");
    const std::string ipco = boxesIn(iprp, 8, iprp.size()).find("ipco");
    const Boxes properties = boxesIn(ipco, 8, ipco.size());
    const std::string &configuration = properties.all.at(0).second; // hvcC or av1C comes first
    const std::string tileSize = properties.find("ispe");
    const std::string tileType = configuration.substr(4, 4) == "hvcC" ? "hvc1" : "av01";
    const std::string tileData = mdat.substr(8);

    const std::string infe = [](unsigned id, const std::string &type) {
        return fullBox("infe", 2, 0, be16(id) + be16(0) + type + std::string(1, '\0'));
    }(1, tileType) + fullBox("infe", 2, 0, be16(2) + be16(0) + "grid" + std::string(1, '\0'));
    std::string references = be16(2) + be16(static_cast<unsigned>(rows * columns));
    for (int i = 0; i < rows * columns; ++i) {
        references += be16(1);
    }
    const std::string gridData = std::string(1, '\0') + std::string(1, '\1') +
        std::string(1, static_cast<char>(rows - 1)) + std::string(1, static_cast<char>(columns - 1)) +
        be32(static_cast<std::uint32_t>(gridWidth)) + be32(static_cast<std::uint32_t>(gridHeight));
    const std::string ipma = fullBox("ipma", 0, 0,
                                     be32(2) + be16(1) + std::string(1, '\2') + "\x81\x02" + be16(2) +
                                         std::string(1, '\1') + "\x03");
    const std::string newIprp =
        box("iprp", box("ipco", configuration + tileSize +
                                    fullBox("ispe", 0, 0,
                                            be32(static_cast<std::uint32_t>(claimedWidth)) +
                                                be32(static_cast<std::uint32_t>(claimedHeight)))) +
                        ipma);
    const auto metaWith = [&](std::uint32_t tileOffset) {
        const std::string iloc = fullBox(
            "iloc", 1, 0,
            std::string("\x44\x00", 2) + be16(2) + be16(1) + be16(0) + be16(0) + be16(1) + be32(tileOffset) +
                be32(static_cast<std::uint32_t>(tileData.size())) + be16(2) + be16(1) + be16(0) + be16(1) + be32(0) +
                be32(static_cast<std::uint32_t>(gridData.size())));
        return fullBox("meta", 0, 0,
                       inMeta.find("hdlr") + fullBox("pitm", 0, 0, be16(2)) + iloc +
                           fullBox("iinf", 0, 0, be16(2) + infe) + fullBox("iref", 0, 0, box("dimg", references)) +
                           newIprp + box("idat", gridData));
    };
    const std::uint32_t tileOffset = static_cast<std::uint32_t>(ftyp.size() + metaWith(0).size() + 8);
    return ftyp + metaWith(tileOffset) + box("mdat", tileData);
}

std::string withHeifClaimedSize(std::string file, int width, int height)
{
    const std::size_t at = file.find("ispe");
    if (at == std::string::npos) {
        throw std::runtime_error("no ispe box");
    }
    file.replace(at + 8, 8, be32(static_cast<std::uint32_t>(width)) + be32(static_cast<std::uint32_t>(height)));
    return file;
}

} // namespace quillmere::test

// x265, the HEVC encoder behind libheif, keeps a few small blocks until the
// process ends; they are no leak of the program's.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libx265.so\n";
}
