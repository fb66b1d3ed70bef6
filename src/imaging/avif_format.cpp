#include "imaging/avif_format.h"

#include "imaging/byte_source.h"
#include "imaging/decode_cancel.h"
#include "imaging/encoded_picture_format.h"
#include "imaging/heif_format.h"
#include "imaging/picture_limits.h"
#include "imaging/row_stretcher.h"

#include <avif/avif.h>

#include <QImage>
#include <algorithm>
#include <cstdint>
#include <memory>

namespace quillmere {

namespace {

[[noreturn]] void raise(const char *what)
{
    throw EAVIF(QStringLiteral("AVIF error: %1").arg(QString::fromUtf8(what)));
}

void check(avifResult result)
{
    if (result != AVIF_RESULT_OK) {
        raise(avifResultToString(result));
    }
}

struct DecoderDestroy {
    void operator()(avifDecoder *d) const { avifDecoderDestroy(d); }
};

// How the stored picture is turned into the upright one: first turned
// anticlockwise by quarterTurns quarters, then mirrored.
struct Turn {
    int quarterTurns = 0;
    bool mirrorTopBottom = false;
    bool mirrorLeftRight = false;

    bool swapsSides() const { return quarterTurns % 2 == 1; }
};

Turn turnOf(const avifImage &image)
{
    Turn turn;
    if (image.transformFlags & AVIF_TRANSFORM_IROT) {
        turn.quarterTurns = image.irot.angle & 3;
    }
    if (image.transformFlags & AVIF_TRANSFORM_IMIR) {
        turn.mirrorTopBottom = image.imir.mode == 0;
        turn.mirrorLeftRight = image.imir.mode == 1;
    }
    return turn;
}

QSize uprightOf(QSize stored, const Turn &turn)
{
    return turn.swapsSides() ? stored.transposed() : stored;
}

// A decoded picture: 8-bit RGBA rows as stored in the file, with the turn
// that shows them upright.
struct DecodedPicture {
    avifRGBImage rgb{};
    Turn turn;

    DecodedPicture() = default;
    DecodedPicture(const DecodedPicture &) = delete;
    DecodedPicture &operator=(const DecodedPicture &) = delete;
    ~DecodedPicture() { avifRGBImageFreePixels(&rgb); }

    int storedWidth() const { return static_cast<int>(rgb.width); }
    int storedHeight() const { return static_cast<int>(rgb.height); }
    QSize upright() const { return uprightOf(QSize(storedWidth(), storedHeight()), turn); }

    // The stored pixel shown at (x, y) of the upright picture.
    const std::uint8_t *pixelAt(int x, int y) const
    {
        const QSize shown = upright();
        if (turn.mirrorLeftRight) {
            x = shown.width() - 1 - x;
        }
        if (turn.mirrorTopBottom) {
            y = shown.height() - 1 - y;
        }
        const int w = storedWidth();
        const int h = storedHeight();
        int sx = x;
        int sy = y;
        switch (turn.quarterTurns) {
        case 1:
            sx = w - 1 - y;
            sy = x;
            break;
        case 2:
            sx = w - 1 - x;
            sy = h - 1 - y;
            break;
        case 3:
            sx = y;
            sy = h - 1 - x;
            break;
        default:
            break;
        }
        return rgb.pixels + static_cast<std::ptrdiff_t>(sy) * rgb.rowBytes + static_cast<std::ptrdiff_t>(sx) * 4;
    }
};

// libavif reading a file held in memory (the bytes must outlive it). Decodes
// run on the calling thread alone: row thumbnails are already made on
// several threads at once.
class AvifFile {
public:
    AvifFile(const std::uint8_t *data, std::size_t size)
        : size_(size)
    {
        if (size == 0) {
            raise("empty file");
        }
        decoder_.reset(avifDecoderCreate());
        if (!decoder_) {
            raise("out of memory");
        }
        avifDecoder *decoder = decoder_.get();
        decoder->maxThreads = 1;
        // libavif holds about as many bytes a pixel as libheif does while it
        // decodes, so it gets the same share of the pixel cap; the limit
        // also bounds what the AV1 decoder may allocate for a frame.
        const std::uint64_t pixels = maxPicturePixels() * 4 / kHeifLibraryBytesPerPixel;
        decoder->imageSizeLimit = static_cast<std::uint32_t>(std::clamp<std::uint64_t>(pixels, 1, AVIF_DEFAULT_IMAGE_SIZE_LIMIT));
        decoder->imageDimensionLimit = static_cast<std::uint32_t>(std::min<std::uint64_t>(kMaxPictureSide, 0xFFFFFFFFull));
        // Files other writers made without every box the format asks for
        // still show, as they do in libheif.
        decoder->strictFlags = AVIF_STRICT_DISABLED;
        decoder->ignoreExif = AVIF_TRUE;
        decoder->ignoreXMP = AVIF_TRUE;
        check(avifDecoderSetIOMemory(decoder, data, size));
        check(avifDecoderParse(decoder));
        if (!decoder->image || decoder->image->width == 0 || decoder->image->height == 0) {
            raise("no picture");
        }
    }

    QSize storedSize() const { return QSize(static_cast<int>(decoder_->image->width), static_cast<int>(decoder_->image->height)); }
    QSize uprightSize() const { return uprightOf(storedSize(), turnOf(*decoder_->image)); }

    // Decodes the primary picture in full as 8-bit RGBA. Refused before
    // anything is decoded when it would cost more than the file can
    // honestly ask for.
    void decode(DecodedPicture &into)
    {
        const QSize size = storedSize();
        if (!pictureSizeAllowed(size.width(), size.height())) {
            raise("Image too large");
        }
        // AV1 codes a picture in whole blocks, so a little more than the
        // stated size is allowed for.
        const std::uint64_t longest = static_cast<std::uint64_t>(std::max(size.width(), size.height())) + kCodedPadding;
        if (!heifDecodeAllowed(longest, size_)) {
            raise("Image out of proportion to the file");
        }
        // The AV1 decoder may then build no frame larger than that either
        // (libavif scales a frame coded at another size than the headers
        // give to theirs): the limits are narrowed and the decoder set up
        // again, before anything is decoded.
        avifDecoder *decoder = decoder_.get();
        decoder->imageSizeLimit = static_cast<std::uint32_t>(std::min<std::uint64_t>(decoder->imageSizeLimit, longest * longest));
        decoder->imageDimensionLimit = static_cast<std::uint32_t>(longest);
        check(avifDecoderReset(decoder));
        if (decodeCancelled()) {
            raise("decoding cancelled");
        }
        check(avifDecoderNextImage(decoder));
        if (decodeCancelled()) {
            raise("decoding cancelled");
        }
        const avifImage *image = decoder_->image;
        // libavif gives the picture at the size its headers say.
        if (!image || image->width != std::uint32_t(size.width()) || image->height != std::uint32_t(size.height()) ||
            !image->yuvPlanes[AVIF_CHAN_Y]) {
            raise("unexpected decoded picture");
        }
        avifRGBImageSetDefaults(&into.rgb, image);
        into.rgb.format = AVIF_RGB_FORMAT_RGBA;
        into.rgb.depth = 8;
        into.rgb.alphaPremultiplied = AVIF_FALSE;
        avifRGBImageAllocatePixels(&into.rgb);
        if (!into.rgb.pixels) {
            raise("out of memory");
        }
        check(avifImageYUVToRGB(image, &into.rgb));
        into.turn = turnOf(*image);
    }

private:
    static constexpr int kCodedPadding = 64;
    static constexpr std::uint64_t kMaxPictureSide = 1ull << 20;

    std::unique_ptr<avifDecoder, DecoderDestroy> decoder_;
    std::size_t size_;
};

// A colour value of alpha a laid over white.
int overWhite(int value, int a)
{
    return (value * a + 255 * (255 - a) + 127) / 255;
}

// Draws the decoded picture upright, stretched over rect of target, row by
// row as the streamed formats do, so that a full decode and a stretched one
// agree pixel for pixel.
void draw(const DecodedPicture &picture, QImage &target, const QRect &rect)
{
    const QSize upright = picture.upright();
    RowStretcher stretcher(upright.width(), upright.height(), target, rect, RowStretcher::Mode::Nearest);
    for (const int y : stretcher.rows()) {
        stretcher.putRow(y, [&](int x) {
            const std::uint8_t *p = picture.pixelAt(x, y);
            const int a = p[3];
            return qRgb(overWhite(p[0], a), overWhite(p[1], a), overWhite(p[2], a));
        });
    }
    stretcher.finish();
}

class AvifFormat final : public EncodedPictureFormat {
public:
    AvifFormat()
        : EncodedPictureFormat(QStringLiteral("AVIF"), {"avif"}, NameTest::EndsWith)
    {
    }

    bool hasSignature(const std::uint8_t *data, std::size_t size) const override
    {
        return data && isAvifFileType(data, size);
    }

    PictureHeader readHeader(const std::uint8_t *data, std::size_t size) const override
    {
        if (!isAvifFileType(data, size)) {
            raise("not an AVIF file");
        }
        const QSize upright = AvifFile(data, size).uprightSize();
        return PictureHeader{upright.width(), upright.height(), false, false};
    }

    // libavif decodes only whole pictures: the full decode, kept reduced to
    // what fills.
    void decode(const std::uint8_t *data, std::size_t size, const PictureHeader &, TBitmap &into,
                QSize fill) const override
    {
        AvifFile file(data, size);
        DecodedPicture decoded;
        file.decode(decoded);
        const QSize shown = halvedToFill(decoded.upright(), fill);
        into.SetSize(shown.width(), shown.height());
        draw(decoded, into.Canvas(), QRect(QPoint(0, 0), shown));
    }

    void stretch(const std::uint8_t *data, std::size_t size, QImage &target, const QRect &rect) const override
    {
        AvifFile file(data, size);
        DecodedPicture decoded;
        file.decode(decoded);
        draw(decoded, target, rect);
    }

    // The decoded pixels are turned upright here, and the sizes given are
    // those of the upright picture, so nothing is left to turn.
    int orientation(const std::string &) const override { return 1; }
};

} // namespace

const PictureFormat &avifFormat()
{
    static const AvifFormat format;
    return format;
}

} // namespace quillmere
