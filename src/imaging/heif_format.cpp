#include "imaging/heif_format.h"

#include "imaging/byte_source.h"
#include "imaging/decode_cancel.h"
#include "imaging/encoded_picture_format.h"
#include "imaging/picture_limits.h"
#include "imaging/row_stretcher.h"

#include <libheif/heif.h>

#include <QImage>
#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

namespace quillmere {

bool heifDecodeAllowed(std::uint64_t longestSide, std::uint64_t fileBytes)
{
    if (longestSide == 0 || longestSide > 0xFFFFFFFFull) {
        return false;
    }
    const std::uint64_t cost = longestSide * longestSide;
    const std::uint64_t earned = fileBytes < kHeifFileBytesForFree
        ? kFreeHeifPixels
        : std::min<std::uint64_t>(fileBytes, 1ull << 40) * kHeifPixelsPerFileByte;
    return cost <= earned && cost * kHeifLibraryBytesPerPixel <= maxPicturePixels() * 4;
}

namespace {

enum class Family { None, Heic, Avif };

bool isBrand(const std::uint8_t *at, const char *brand)
{
    return std::memcmp(at, brand, 4) == 0;
}

// Which of the two formats the file type box at the start of a file names:
// its major brand, or for the generic image brands the compatible brands
// read so far (an AV1 file may say only that it is a HEIF image file).
Family familyOf(const std::uint8_t *data, std::size_t size)
{
    if (size < 12 || !isBrand(data + 4, "ftyp")) {
        return Family::None;
    }
    const std::uint8_t *major = data + 8;
    for (const char *brand : {"avif", "avis"}) {
        if (isBrand(major, brand)) {
            return Family::Avif;
        }
    }
    for (const char *brand : {"heic", "heix", "heim", "heis", "hevc", "hevx"}) {
        if (isBrand(major, brand)) {
            return Family::Heic;
        }
    }
    if (!isBrand(major, "mif1") && !isBrand(major, "msf1")) {
        return Family::None;
    }
    const std::uint32_t boxSize = static_cast<std::uint32_t>(data[0]) << 24 | static_cast<std::uint32_t>(data[1]) << 16 |
        static_cast<std::uint32_t>(data[2]) << 8 | data[3];
    const std::size_t end = std::min<std::size_t>(size, boxSize);
    for (std::size_t at = 16; at + 4 <= end; at += 4) {
        if (isBrand(data + at, "avif") || isBrand(data + at, "avis")) {
            return Family::Avif;
        }
    }
    return Family::Heic;
}

void initLibheif()
{
    // Loads the codec plugins once, before any thread uses the library.
    static const bool ready = [] {
        heif_init(nullptr);
        return true;
    }();
    (void)ready;
}

[[noreturn]] void raise(const char *what)
{
    throw EHEIF(QStringLiteral("HEIF error: %1").arg(QString::fromUtf8(what)));
}

void check(const heif_error &error)
{
    if (error.code != heif_error_Ok) {
        raise(error.message ? error.message : "unknown error");
    }
}

struct ContextFree {
    void operator()(heif_context *c) const { heif_context_free(c); }
};
struct HandleRelease {
    void operator()(heif_image_handle *h) const { heif_image_handle_release(h); }
};
struct ImageRelease {
    void operator()(heif_image *i) const { heif_image_release(i); }
};
struct OptionsFree {
    void operator()(heif_decoding_options *o) const { heif_decoding_options_free(o); }
};
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;

// A decoded picture: 8-bit RGBA rows as libheif left them.
struct DecodedPicture {
    std::unique_ptr<heif_image, ImageRelease> image;
    const std::uint8_t *rows = nullptr;
    int stride = 0;
    int width = 0;
    int height = 0;
    bool premultiplied = false;
};

QSize sizeOf(const heif_image_handle *handle)
{
    return QSize(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
}

// libheif reading a file held in memory (the bytes must outlive it). Decodes
// run on the calling thread alone: row thumbnails are already made on
// several threads at once.
class HeifFile {
public:
    HeifFile(const std::uint8_t *data, std::size_t size)
        : size_(size)
    {
        if (size == 0) {
            raise("empty file");
        }
        initLibheif();
        context_.reset(heif_context_alloc());
        if (!context_) {
            raise("out of memory");
        }
        // Reading checks the sizes the file states against the pixel cap;
        // each decode narrows this down to the picture it decodes.
        heif_context_set_maximum_image_size_limit(context_.get(), limitFor(maxPicturePixels()));
        heif_context_set_max_decoding_threads(context_.get(), 0);
        check(heif_context_read_from_memory_without_copy(context_.get(), data, size, nullptr));
        heif_image_handle *primary = nullptr;
        check(heif_context_get_primary_image_handle(context_.get(), &primary));
        primary_.reset(primary);
    }

    const heif_image_handle *primary() const { return primary_.get(); }

    // The smallest thumbnail of the primary picture whose sides both cover
    // atLeast; none when it has no such thumbnail.
    Handle thumbnailCovering(QSize atLeast) const
    {
        const int count = heif_image_handle_get_number_of_thumbnails(primary_.get());
        std::vector<heif_item_id> ids(static_cast<std::size_t>(std::clamp(count, 0, 64)));
        ids.resize(static_cast<std::size_t>(
            heif_image_handle_get_list_of_thumbnail_IDs(primary_.get(), ids.data(), static_cast<int>(ids.size()))));
        Handle best;
        for (const heif_item_id id : ids) {
            heif_image_handle *raw = nullptr;
            if (heif_image_handle_get_thumbnail(primary_.get(), id, &raw).code != heif_error_Ok) {
                continue;
            }
            Handle thumbnail(raw);
            const QSize size = sizeOf(raw);
            if (size.width() >= atLeast.width() && size.height() >= atLeast.height() &&
                (!best || size.width() < sizeOf(best.get()).width())) {
                best = std::move(thumbnail);
            }
        }
        return best;
    }

    // Decodes the picture of handle (the primary or a thumbnail) in full,
    // turned upright, as 8-bit RGBA. Refused before anything is decoded
    // when it would cost more than the file can honestly ask for: libheif
    // may then build nothing with a side longer than the longest the
    // headers give.
    DecodedPicture decode(const heif_image_handle *handle) const
    {
        // Coded pictures are padded to whole coding blocks (an HEVC encoder
        // may code a 77 x 13 picture as 80 x 64), so a little more than the
        // stated size is allowed for.
        const int stated = std::max({heif_image_handle_get_width(handle), heif_image_handle_get_height(handle),
                                     heif_image_handle_get_ispe_width(handle),
                                     heif_image_handle_get_ispe_height(handle)});
        const std::int64_t longest = static_cast<std::int64_t>(std::max(stated, 0)) + kCodedPadding;
        const QSize size = sizeOf(handle);
        if (!pictureSizeAllowed(size.width(), size.height())) {
            raise("Image too large");
        }
        if (!heifDecodeAllowed(static_cast<std::uint64_t>(longest), size_)) {
            raise("Image out of proportion to the file");
        }
        if (decodeCancelled()) {
            raise("decoding cancelled");
        }
        // libheif refuses sides at or above its limit.
        heif_context_set_maximum_image_size_limit(context_.get(), static_cast<int>(std::min<std::int64_t>(longest + 1, INT_MAX)));
        std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
        options->convert_hdr_to_8bit = 1;
        heif_image *raw = nullptr;
        const heif_error error =
            heif_decode_image(handle, &raw, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options.get());
        DecodedPicture decoded;
        decoded.image.reset(raw);
        check(error);
        if (!raw) {
            raise("no picture decoded");
        }
        if (decodeCancelled()) {
            raise("decoding cancelled");
        }
        decoded.width = heif_image_get_width(raw, heif_channel_interleaved);
        decoded.height = heif_image_get_height(raw, heif_channel_interleaved);
        decoded.rows = heif_image_get_plane_readonly(raw, heif_channel_interleaved, &decoded.stride);
        decoded.premultiplied = heif_image_is_premultiplied_alpha(raw) != 0;
        if (!decoded.rows || decoded.width <= 0 || decoded.height <= 0 || decoded.stride < decoded.width * 4 ||
            heif_image_get_bits_per_pixel_range(raw, heif_channel_interleaved) != 8) {
            raise("unexpected decoded picture");
        }
        return decoded;
    }

private:
    static constexpr int kCodedPadding = 64;

    static int limitFor(std::uint64_t pixels) { return static_cast<int>(std::min<std::uint64_t>(pixels, INT_MAX)); }

    std::unique_ptr<heif_context, ContextFree> context_;
    Handle primary_;
    std::size_t size_;
};

// A colour value of alpha a laid over white; a premultiplied value already
// holds its share of colour.
int overWhite(int value, int a, bool premultiplied)
{
    if (premultiplied) {
        return std::min(255, value + 255 - a);
    }
    return (value * a + 255 * (255 - a) + 127) / 255;
}

// Draws the decoded picture stretched over rect of target, row by row as
// the streamed formats do, so that a full decode and a stretched one agree
// pixel for pixel.
void draw(const DecodedPicture &picture, QImage &target, const QRect &rect)
{
    RowStretcher stretcher(picture.width, picture.height, target, rect, RowStretcher::Mode::Nearest);
    for (const int y : stretcher.rows()) {
        const std::uint8_t *row = picture.rows + static_cast<std::ptrdiff_t>(y) * picture.stride;
        stretcher.putRow(y, [&](int x) {
            const std::uint8_t *p = row + static_cast<std::ptrdiff_t>(x) * 4;
            const int a = p[3];
            return qRgb(overWhite(p[0], a, picture.premultiplied), overWhite(p[1], a, picture.premultiplied),
                        overWhite(p[2], a, picture.premultiplied));
        });
    }
    stretcher.finish();
}

// A decoded picture as a bitmap: reduced by the largest power of two that
// still covers fill, or at full size when fill is not valid.
void intoBitmap(const DecodedPicture &picture, TBitmap &into, QSize fill)
{
    const QSize size = halvedToFill(QSize(picture.width, picture.height), fill);
    into.SetSize(size.width(), size.height());
    draw(picture, into.Canvas(), QRect(QPoint(0, 0), size));
}

class HeifFormat final : public EncodedPictureFormat {
public:
    HeifFormat(QString name, std::vector<std::string> extensions, Family family)
        : EncodedPictureFormat(std::move(name), std::move(extensions), NameTest::EndsWith)
        , family_(family)
    {
    }

    bool hasSignature(const std::uint8_t *data, std::size_t size) const override
    {
        return data && familyOf(data, size) == family_;
    }

    PictureHeader readHeader(const std::uint8_t *data, std::size_t size) const override
    {
        // libheif reads AVIF files too; they belong to the AVIF format.
        if (familyOf(data, size) != family_) {
            raise("not a file of this kind");
        }
        const HeifFile file(data, size);
        const QSize upright = sizeOf(file.primary());
        return PictureHeader{upright.width(), upright.height(), false, false};
    }

    // libheif decodes only whole pictures: the full decode, kept reduced to
    // what fills.
    void decode(const std::uint8_t *data, std::size_t size, const PictureHeader &, TBitmap &into,
                QSize fill) const override
    {
        const HeifFile file(data, size);
        intoBitmap(file.decode(file.primary()), into, fill);
    }

    void stretch(const std::uint8_t *data, std::size_t size, QImage &target, const QRect &rect) const override
    {
        const HeifFile file(data, size);
        draw(file.decode(file.primary()), target, rect);
    }

    // A thumbnail stored with the primary picture that covers the asked
    // size is far cheaper than the picture itself.
    TBitmap smallDecode(const std::string &path, QSize atLeast) const override
    {
        atLeast = atLeast.expandedTo(QSize(1, 1));
        const std::vector<std::uint8_t> bytes = readWholeFile(path);
        const HeifFile file(bytes.data(), bytes.size());
        const Handle thumbnail = file.thumbnailCovering(atLeast);
        TBitmap decoded;
        intoBitmap(file.decode(thumbnail ? thumbnail.get() : file.primary()), decoded, atLeast);
        return grownTo(std::move(decoded), atLeast);
    }

    // From a stored thumbnail of at least the row's size when there is one;
    // else from the picture, by the rules of the other compressed formats.
    FormatThumbnail rowThumbnail(const std::string &path) const override
    {
        try {
            const std::vector<std::uint8_t> bytes = readWholeFile(path);
            if (!bytes.empty()) {
                const HeifFile file(bytes.data(), bytes.size());
                if (const Handle thumbnail = file.thumbnailCovering(rowThumbnailArea().size())) {
                    const DecodedPicture decoded = file.decode(thumbnail.get());
                    FormatThumbnail made;
                    made.thumbnail = newRowThumbnail();
                    draw(decoded, made.thumbnail.Canvas(), rowThumbnailArea());
                    made.ownPicture = true;
                    made.size = sizeOf(file.primary());
                    return made;
                }
            }
        } catch (const std::exception &) {
            // The picture's own path below gives the outcome a broken file has.
        }
        return EncodedPictureFormat::rowThumbnail(path);
    }

    // libheif turns the decoded pixels upright by the file's rotation and
    // mirror boxes, and the sizes it gives are those of the upright picture,
    // so nothing is left to turn.
    int orientation(const std::string &) const override { return 1; }

private:
    Family family_;
};

} // namespace

const PictureFormat &heicFormat()
{
    static const HeifFormat format(QStringLiteral("HEIC"), {"heic", "heif", "hif"}, Family::Heic);
    return format;
}

bool isAvifFileType(const std::uint8_t *data, std::size_t size)
{
    return data && familyOf(data, size) == Family::Avif;
}

} // namespace quillmere
