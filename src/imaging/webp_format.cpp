// WebP files ("*.webp"), decoded by libwebp: lossy, lossless and with an
// alpha channel (laid over white); an animation shows its first frame on its
// canvas. libwebp scales while it decodes, so the image view and the small
// decode get exactly the size they need.
#include "imaging/byte_source.h"
#include "imaging/decode_cancel.h"
#include "imaging/encoded_picture_format.h"
#include "imaging/picture_limits.h"
#include "platform/errors.h"

#include <QImage>
#include <algorithm>
#include <cstring>
#include <memory>

#include <webp/decode.h>
#include <webp/demux.h>

namespace quillmere {

// A WebP file the decoder cannot read.
class EWebP : public Exception {
public:
    using Exception::Exception;
};

namespace {

[[noreturn]] void fail(const char *what)
{
    throw EWebP(QStringLiteral("WebP error: %1").arg(QString::fromLatin1(what)));
}

const char *statusText(VP8StatusCode status)
{
    switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY:
        return "out of memory";
    case VP8_STATUS_INVALID_PARAM:
        return "invalid parameter";
    case VP8_STATUS_BITSTREAM_ERROR:
        return "damaged data";
    case VP8_STATUS_UNSUPPORTED_FEATURE:
        return "unsupported feature";
    case VP8_STATUS_SUSPENDED:
    case VP8_STATUS_NOT_ENOUGH_DATA:
        return "file ends early";
    default:
        return "unknown error";
    }
}

// A picture of up to kFreeWebPPixels decodes whatever its file; beyond that
// each byte of the file allows kWebPPixelsPerFileByte. Lossless coding can
// spend no bit at all on a pixel and lossy coding a fraction of one, so a
// few hundred bytes can claim 268 megapixels that take seconds and a
// gigabyte to decode; a file under a megabyte stays within 16 megapixels.
// Photos spend a bit or more per pixel, so a 24 megapixel photo of 2
// megabytes passes; a huge flat graphic of a few kilobytes gets the stand-in.
constexpr std::uint64_t kFreeWebPPixels = 8ull << 20;
constexpr std::uint64_t kWebPPixelsPerFileByte = 8;

bool webpPixelsBelievable(std::uint64_t pixels, std::uint64_t fileBytes)
{
    return pixels <= kFreeWebPPixels + kWebPPixelsPerFileByte * fileBytes;
}

// The row thumbnail of a picture of up to this many pixels is taken from a
// full-size decode, pixel for pixel as the other formats take theirs; a
// larger one is decoded scaled down to the thumbnail's size first, so that
// it never holds more than the reduced picture (libwebp delivers whole
// pictures only, not rows).
constexpr std::uint64_t kFullThumbnailPixels = 4ull << 20;

// Feeding the decoder this much at a time lets a long decode see the
// cancel flag between pieces.
constexpr std::size_t kFeedBytes = 256 * 1024;

struct DemuxDeleter {
    void operator()(WebPDemuxer *demux) const { WebPDemuxDelete(demux); }
};
struct IDecoderDeleter {
    void operator()(WebPIDecoder *decoder) const { WebPIDelete(decoder); }
};

WebPBitstreamFeatures featuresOf(const std::uint8_t *data, std::size_t size)
{
    WebPBitstreamFeatures features;
    const VP8StatusCode status = WebPGetFeatures(data, size, &features);
    if (status != VP8_STATUS_OK) {
        fail(statusText(status));
    }
    if (features.width <= 0 || features.height <= 0) {
        fail("empty picture");
    }
    return features;
}

// The first frame's bitstream and where it lies on the canvas.
struct Frame {
    const std::uint8_t *data = nullptr;
    std::size_t size = 0;
    QRect area;
};

// A caller-owned pixel buffer, 4 bytes a pixel in the order of QImage's
// 32-bit formats on this machine.
constexpr WEBP_CSP_MODE kOutputMode = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? MODE_BGRA : MODE_ARGB;

// A colour value of alpha a laid over white.
inline std::uint32_t over(std::uint32_t value, std::uint32_t a)
{
    return (value * a + 255 * (255 - a) + 127) / 255;
}

// Turns decoded ARGB pixels into opaque RGB laid over white.
void layOverWhite(QRgb *row, int width)
{
    for (int x = 0; x < width; ++x) {
        const QRgb p = row[x];
        const std::uint32_t a = qAlpha(p);
        if (a != 255) {
            row[x] = qRgb(static_cast<int>(over(qRed(p), a)), static_cast<int>(over(qGreen(p), a)),
                          static_cast<int>(over(qBlue(p), a)));
        }
    }
}

// Decodes frame scaled to frameImage's size into it (32-bit, rows laid
// over white). Returns the rows decoded: all of them, or fewer for a file
// cut short, the others then white. Raises EWebP on damaged data, the rows
// decoded before it laid over white.
int decodeFrame(const Frame &frame, QImage &frameImage)
{
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) {
        fail("library version mismatch");
    }
    const int width = frameImage.width();
    const int height = frameImage.height();
    if (width != frame.area.width() || height != frame.area.height()) {
        config.options.use_scaling = 1;
        config.options.scaled_width = width;
        config.options.scaled_height = height;
    }
    config.output.colorspace = kOutputMode;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = frameImage.bits();
    config.output.u.RGBA.stride = static_cast<int>(frameImage.bytesPerLine());
    config.output.u.RGBA.size = static_cast<std::size_t>(frameImage.sizeInBytes());
    std::unique_ptr<WebPIDecoder, IDecoderDeleter> decoder(WebPIDecode(nullptr, 0, &config));
    if (!decoder) {
        fail("out of memory");
    }
    VP8StatusCode status = VP8_STATUS_SUSPENDED;
    for (std::size_t fed = 0; fed < frame.size && status == VP8_STATUS_SUSPENDED;) {
        if (decodeCancelled()) {
            status = VP8_STATUS_USER_ABORT;
            break;
        }
        fed = std::min(frame.size, fed + kFeedBytes);
        status = WebPIUpdate(decoder.get(), frame.data, fed);
    }
    int rows = 0;
    if (status == VP8_STATUS_OK) {
        rows = height;
    } else {
        int left = 0, top = 0, areaWidth = 0;
        if (!WebPIDecodedArea(decoder.get(), &left, &top, &areaWidth, &rows)) {
            rows = 0;
        }
        rows = std::clamp(rows, 0, height);
    }
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(frameImage.scanLine(y));
        if (y < rows) {
            layOverWhite(row, width);
        } else {
            std::fill(row, row + width, qRgb(255, 255, 255));
        }
    }
    if (status == VP8_STATUS_USER_ABORT) {
        fail("decoding cancelled");
    }
    if (status != VP8_STATUS_OK && status != VP8_STATUS_SUSPENDED) {
        fail(statusText(status));
    }
    return rows;
}

// Decodes the picture's first frame onto canvas, which holds the whole
// canvas scaled to the canvas image's size and starts white. A file that
// ends early keeps what it holds and raises nothing.
void decodeOnto(const std::uint8_t *data, std::size_t size, QImage &canvas)
{
    if (size == 0) {
        fail("empty file");
    }
    const WebPBitstreamFeatures features = featuresOf(data, size);
    const int canvasWidth = features.width;
    const int canvasHeight = features.height;
    if (!pictureSizeAllowed(canvasWidth, canvasHeight)) {
        fail("Image too large");
    }
    if (!webpPixelsBelievable(static_cast<std::uint64_t>(canvasWidth) * static_cast<std::uint64_t>(canvasHeight), size)) {
        fail("Image out of proportion to the file");
    }
    Frame frame{data, size, QRect(0, 0, canvasWidth, canvasHeight)};
    std::unique_ptr<WebPDemuxer, DemuxDeleter> demux;
    if (features.has_animation) {
        // libwebp's still decoder refuses animations; the demuxer finds the
        // first frame's bitstream, in as much of the file as there is.
        const WebPData whole{data, size};
        WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
        demux.reset(WebPDemuxPartial(&whole, &state));
        if (!demux || state == WEBP_DEMUX_PARSE_ERROR) {
            fail("damaged animation");
        }
        WebPIterator iterator;
        if (!WebPDemuxGetFrame(demux.get(), 1, &iterator)) {
            WebPDemuxReleaseIterator(&iterator);
            if (state == WEBP_DEMUX_DONE) {
                fail("animation without frames");
            }
            return; // cut before its first frame: all white
        }
        frame.data = iterator.fragment.bytes;
        frame.size = iterator.fragment.size;
        frame.area = QRect(iterator.x_offset, iterator.y_offset, iterator.width, iterator.height);
        WebPDemuxReleaseIterator(&iterator);
        if (!QRect(0, 0, canvasWidth, canvasHeight).contains(frame.area) || frame.area.isEmpty()) {
            fail("frame outside its canvas");
        }
    }
    // Where the frame lands on the scaled canvas.
    const auto scaled = [](int position, int length, int scaledLength) {
        return static_cast<int>(static_cast<std::int64_t>(position) * scaledLength / length);
    };
    const int left = scaled(frame.area.left(), canvasWidth, canvas.width());
    const int top = scaled(frame.area.top(), canvasHeight, canvas.height());
    const int right = scaled(frame.area.left() + frame.area.width(), canvasWidth, canvas.width());
    const int bottom = scaled(frame.area.top() + frame.area.height(), canvasHeight, canvas.height());
    if (right <= left || bottom <= top) {
        return; // a frame too small to show at this scale
    }
    if (left == 0 && top == 0 && right == canvas.width() && bottom == canvas.height()) {
        decodeFrame(frame, canvas); // straight into the canvas: no second buffer
        return;
    }
    QImage frameImage(right - left, bottom - top, QImage::Format_RGB32);
    if (frameImage.isNull()) {
        fail("out of memory");
    }
    try {
        decodeFrame(frame, frameImage);
    } catch (const EWebP &) {
        for (int y = 0; y < frameImage.height(); ++y) {
            std::memcpy(canvas.scanLine(top + y) + 4 * left, frameImage.constScanLine(y), 4 * static_cast<std::size_t>(frameImage.width()));
        }
        throw;
    }
    for (int y = 0; y < frameImage.height(); ++y) {
        std::memcpy(canvas.scanLine(top + y) + 4 * left, frameImage.constScanLine(y), 4 * static_cast<std::size_t>(frameImage.width()));
    }
}

// The smallest size, in the picture's proportions, that covers fill; the
// picture's own size when it is no larger or fill is not valid.
QSize scaledToFill(QSize picture, QSize fill)
{
    if (!fill.isValid() || picture.width() <= fill.width() || picture.height() <= fill.height()) {
        return picture;
    }
    const std::int64_t w = picture.width(), h = picture.height();
    std::int64_t width = fill.width(), height = fill.height();
    if (width * h >= height * w) {
        height = (w - 1 + h * width) / w; // the width decides
    } else {
        width = (h - 1 + w * height) / h;
    }
    return QSize(static_cast<int>(std::min(width, w)), static_cast<int>(std::min(height, h)));
}

class WebPFormat final : public EncodedPictureFormat {
public:
    WebPFormat()
        : EncodedPictureFormat(QStringLiteral("WebP"), {"webp"}, NameTest::EndsWith)
    {
    }

    bool hasSignature(const std::uint8_t *data, std::size_t size) const override
    {
        return size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0;
    }

    // The canvas size (an animation's whole area).
    PictureHeader readHeader(const std::uint8_t *data, std::size_t size) const override
    {
        const WebPBitstreamFeatures features = featuresOf(data, size);
        return PictureHeader{features.width, features.height, false, false};
    }

    // libwebp scales while decoding: the picture at the smallest size that
    // covers fill.
    void decode(const std::uint8_t *data, std::size_t size, const PictureHeader &header, TBitmap &into,
                QSize fill) const override
    {
        if (size == 0) {
            fail("empty file");
        }
        const QSize picture(header.width, header.height);
        if (!pictureSizeAllowed(picture.width(), picture.height())) {
            fail("Image too large");
        }
        const QSize target = scaledToFill(picture, fill);
        into.SetSize(target.width(), target.height());
        decodeOnto(data, size, into.Canvas());
    }

    void stretch(const std::uint8_t *data, std::size_t size, QImage &target, const QRect &rect) const override
    {
        if (size == 0) {
            fail("empty file");
        }
        const WebPBitstreamFeatures features = featuresOf(data, size);
        const QSize picture(features.width, features.height);
        const bool full = static_cast<std::uint64_t>(picture.width()) * static_cast<std::uint64_t>(picture.height()) <=
                          kFullThumbnailPixels;
        TBitmap decoded;
        try {
            decode(data, size, PictureHeader{picture.width(), picture.height(), false, false}, decoded,
                   full ? QSize() : rect.size().expandedTo(QSize(1, 1)));
        } catch (const EWebP &) {
            if (!decoded.Empty()) {
                decoded.StretchDraw(target, rect);
            }
            throw;
        }
        decoded.StretchDraw(target, rect);
    }

    // The EXIF chunk of the file's top-level chunk list, from its byte-order
    // mark on. Reads chunk headers and skips the others' contents.
    std::vector<std::uint8_t> exifBlock(const std::string &path) const override
    {
        FileSource file(path);
        std::uint8_t head[12];
        if (file.read(head, sizeof head) != sizeof head || !hasSignature(head, sizeof head)) {
            return {};
        }
        constexpr std::uint32_t kLargestExif = 16u << 20;
        std::uint8_t chunk[8];
        while (file.read(chunk, sizeof chunk) == sizeof chunk) {
            const std::uint32_t length = static_cast<std::uint32_t>(chunk[4]) | static_cast<std::uint32_t>(chunk[5]) << 8 |
                                         static_cast<std::uint32_t>(chunk[6]) << 16 | static_cast<std::uint32_t>(chunk[7]) << 24;
            if (std::memcmp(chunk, "EXIF", 4) == 0) {
                if (length > kLargestExif || length > file.remaining()) {
                    return {};
                }
                std::vector<std::uint8_t> exif(length);
                exif.resize(file.read(exif.data(), exif.size()));
                // Some writers keep the "Exif\0\0" that starts a JPEG's EXIF
                // segment.
                static const std::uint8_t kExifPrefix[6] = {'E', 'x', 'i', 'f', 0, 0};
                if (exif.size() >= sizeof kExifPrefix && std::memcmp(exif.data(), kExifPrefix, sizeof kExifPrefix) == 0) {
                    exif.erase(exif.begin(), exif.begin() + sizeof kExifPrefix);
                }
                return exif;
            }
            const std::uint64_t padded = static_cast<std::uint64_t>(length) + (length & 1);
            if (file.skip(padded) != padded) {
                break;
            }
        }
        return {};
    }
};

} // namespace

const PictureFormat &webpFormat()
{
    static const WebPFormat format;
    return format;
}

} // namespace quillmere
