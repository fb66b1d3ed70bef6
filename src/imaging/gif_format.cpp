// GIF files ("*.gif"), decoded by giflib: the first image of the file drawn
// on its logical screen, transparency and the uncovered screen white,
// interlaced images put back in row order. Only the first image is read, one
// row at a time, so an animation of a thousand frames costs one frame.
#include "imaging/decode_cancel.h"
#include "imaging/encoded_picture_format.h"
#include "imaging/picture_limits.h"
#include "imaging/row_stretcher.h"
#include "platform/errors.h"

#include <QImage>
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include <gif_lib.h>

namespace quillmere {

// A GIF file the decoder cannot read.
class EGIF : public Exception {
public:
    using Exception::Exception;
};

namespace {

[[noreturn]] void fail(const char *what)
{
    throw EGIF(QStringLiteral("GIF error: %1").arg(QString::fromLatin1(what)));
}

[[noreturn]] void failWith(int code)
{
    const char *text = GifErrorString(code);
    fail(text ? text : "unknown error");
}

// An image of up to kFreeGifPixels decodes whatever its file; beyond that
// each byte of the file allows kGifPixelsPerFileByte. LZW codes of twelve
// bits can each stand for a run of 4096 pixels, so 25 kilobytes fill a
// 6000 x 6000 image of one colour that takes half a second to unpack; a file
// under a megabyte stays within 16 megapixels.
constexpr std::uint64_t kFreeGifPixels = 8ull << 20;
constexpr std::uint64_t kGifPixelsPerFileByte = 8;

bool gifPixelsBelievable(std::uint64_t pixels, std::uint64_t fileBytes)
{
    return pixels <= kFreeGifPixels + kGifPixelsPerFileByte * fileBytes;
}

// The bytes giflib reads from, and whether it asked past their end.
struct GifInput {
    const std::uint8_t *data = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;
    bool ranOut = false;
};

int readInput(GifFileType *gif, GifByteType *out, int count)
{
    auto *input = static_cast<GifInput *>(gif->UserData);
    const std::size_t wanted = count > 0 ? static_cast<std::size_t>(count) : 0;
    const std::size_t given = std::min(wanted, input->size - input->position);
    std::memcpy(out, input->data + input->position, given);
    input->position += given;
    if (given < wanted) {
        input->ranOut = true;
    }
    return static_cast<int>(given);
}

// Owns giflib's reader of one file.
class GifReader {
public:
    GifReader(const std::uint8_t *data, std::size_t size)
    {
        input_.data = data;
        input_.size = size;
        int error = 0;
        gif_ = DGifOpen(&input_, readInput, &error);
        if (!gif_) {
            failWith(error);
        }
        // The destructor does not run for a constructor that raises.
        if (gif_->SWidth <= 0 || gif_->SHeight <= 0) {
            DGifCloseFile(gif_, &error);
            fail("empty screen");
        }
    }
    ~GifReader()
    {
        int error = 0;
        DGifCloseFile(gif_, &error);
    }
    GifReader(const GifReader &) = delete;
    GifReader &operator=(const GifReader &) = delete;

    GifFileType *gif() const { return gif_; }
    bool ranOut() const { return input_.ranOut; }
    [[noreturn]] void raise() const { failWith(gif_->Error); }

    // Reads on to the first image's descriptor, noting its transparent
    // colour on the way; false when the file ends first. Extensions after
    // the first image are never read.
    bool findFirstImage(int &transparent)
    {
        transparent = NO_TRANSPARENT_COLOR;
        for (;;) {
            if (decodeCancelled()) {
                fail("decoding cancelled");
            }
            GifRecordType type = UNDEFINED_RECORD_TYPE;
            if (DGifGetRecordType(gif_, &type) == GIF_ERROR) {
                return false;
            }
            if (type == IMAGE_DESC_RECORD_TYPE) {
                return DGifGetImageDesc(gif_) != GIF_ERROR;
            }
            if (type == TERMINATE_RECORD_TYPE) {
                fail("no image in the file");
            }
            if (type == EXTENSION_RECORD_TYPE) {
                int code = 0;
                GifByteType *block = nullptr;
                if (DGifGetExtension(gif_, &code, &block) == GIF_ERROR) {
                    return false;
                }
                if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
                    GraphicsControlBlock control;
                    if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK) {
                        transparent = control.TransparentColor;
                    }
                }
                while (block) {
                    if (DGifGetExtensionNext(gif_, &block) == GIF_ERROR) {
                        return false;
                    }
                }
            }
        }
    }

private:
    GifInput input_;
    GifFileType *gif_ = nullptr;
};

// The image's colours: its own table, else the screen's; indices past the
// table black, the transparent index white.
std::array<QRgb, 256> paletteOf(const GifFileType *gif, int transparent)
{
    std::array<QRgb, 256> palette;
    palette.fill(qRgb(0, 0, 0));
    const ColorMapObject *map = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
    if (map && map->Colors) {
        for (int i = 0; i < map->ColorCount && i < 256; ++i) {
            palette[i] = qRgb(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue);
        }
    }
    if (transparent >= 0 && transparent < 256) {
        palette[transparent] = qRgb(255, 255, 255);
    }
    return palette;
}

// The row each line of an interlaced image is: four passes starting at rows
// 0, 4, 2 and 1, every 8th, 8th, 4th and 2nd row.
int interlacedRow(int line, int height)
{
    static const int kStart[4] = {0, 4, 2, 1};
    static const int kStep[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        const int lines = height > kStart[pass] ? (height - kStart[pass] + kStep[pass] - 1) / kStep[pass] : 0;
        if (line < lines) {
            return kStart[pass] + line * kStep[pass];
        }
        line -= lines;
    }
    return height; // never reached for line < height
}

// Draws the first image on its screen stretched over rect of target
// (nearest neighbour), as decoding it whole and stretching would, holding
// only the rows and columns the stretch takes. A file that ends early draws
// what it holds and raises nothing; a damaged one raises EGIF having drawn
// what was decoded.
void stretchGif(const std::uint8_t *data, std::size_t size, QImage &target, const QRect &rect)
{
    if (size == 0) {
        fail("empty file");
    }
    GifReader reader(data, size);
    GifFileType *gif = reader.gif();
    const int screenWidth = gif->SWidth;
    const int screenHeight = gif->SHeight;
    if (!pictureSizeAllowed(screenWidth, screenHeight)) {
        fail("Image too large");
    }
    int transparent = NO_TRANSPARENT_COLOR;
    const bool imageFound = reader.findFirstImage(transparent);
    if (!imageFound && !reader.ranOut()) {
        reader.raise();
    }
    RowStretcher stretcher(screenWidth, screenHeight, target, rect, RowStretcher::Mode::Nearest);
    const QRgb white = qRgb(255, 255, 255);
    const auto whiteAt = [&](int) { return white; };
    if (!imageFound) {
        stretcher.putRepeatedRow(0, screenHeight, whiteAt); // cut before its first image: the empty screen
        return;
    }
    const GifImageDesc &image = gif->Image;
    if (image.Width <= 0 || image.Height <= 0) {
        fail("empty image");
    }
    if (!pictureSizeAllowed(image.Width, image.Height)) {
        fail("Image too large");
    }
    const std::uint64_t imagePixels = static_cast<std::uint64_t>(image.Width) * static_cast<std::uint64_t>(image.Height);
    if (!gifPixelsBelievable(imagePixels, size) ||
        !gifPixelsBelievable(static_cast<std::uint64_t>(screenWidth) * static_cast<std::uint64_t>(screenHeight), size)) {
        fail("Image out of proportion to the file");
    }
    const std::array<QRgb, 256> palette = paletteOf(gif, transparent);
    const std::vector<int> &rows = stretcher.rows();
    const std::vector<int> &columns = stretcher.columns();
    // The picked pixels of one row, white where the image does not cover
    // the screen; for each picked column the image covers: (index into
    // columns, column within the image).
    std::vector<QRgb> sampled(columns.size(), white);
    std::vector<std::pair<std::size_t, int>> covered;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const int x = columns[i] - image.Left;
        if (x >= 0 && x < image.Width) {
            covered.emplace_back(i, x);
        }
    }
    // The screen around the image is white.
    const int imageTop = std::clamp(image.Top, 0, screenHeight);
    const int imageBottom = static_cast<int>(std::clamp<std::int64_t>(std::int64_t{image.Top} + image.Height, imageTop, screenHeight));
    stretcher.putRepeatedRow(0, imageTop, whiteAt);
    stretcher.putRepeatedRow(imageBottom, screenHeight, whiteAt);
    // An interlaced image delivers its rows out of order: the picked pixels
    // of the rows the stretch takes gather here over the four passes,
    // white until a pass covers them.
    std::vector<QRgb> grid;
    if (image.Interlace) {
        grid.resize(rows.size() * columns.size(), white);
    }
    // The last row the stretch takes, so that a plain image stops there.
    const int lastWanted = rows.empty() ? -1 : rows.back();
    std::vector<GifPixelType> line(static_cast<std::size_t>(image.Width));
    bool damaged = false;
    bool cancelled = false;
    for (int n = 0; n < image.Height; ++n) {
        const int y = image.Top + (image.Interlace ? interlacedRow(n, image.Height) : n);
        if (!image.Interlace && y > lastWanted) {
            break;
        }
        if (decodeCancelled()) {
            cancelled = true;
            break;
        }
        if (DGifGetLine(gif, line.data(), image.Width) == GIF_ERROR) {
            damaged = !reader.ranOut();
            break;
        }
        const auto at = std::lower_bound(rows.begin(), rows.end(), y);
        if (at == rows.end() || *at != y) {
            continue;
        }
        QRgb *picked = image.Interlace ? grid.data() + static_cast<std::size_t>(at - rows.begin()) * columns.size()
                                       : sampled.data();
        for (const auto &[index, x] : covered) {
            picked[index] = palette[line[static_cast<std::size_t>(x)]];
        }
        if (!image.Interlace) {
            stretcher.putSampledRow(y, picked);
        }
    }
    if (image.Interlace) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i] >= imageTop && rows[i] < imageBottom) {
                stretcher.putSampledRow(rows[i], grid.data() + i * columns.size());
            }
        }
    }
    stretcher.finish();
    if (cancelled) {
        fail("decoding cancelled");
    }
    if (damaged) {
        reader.raise();
    }
}

// The screen size from the header alone.
QSize screenSize(const std::uint8_t *data, std::size_t size)
{
    GifReader reader(data, size);
    return QSize(reader.gif()->SWidth, reader.gif()->SHeight);
}

class GifFormat final : public EncodedPictureFormat {
public:
    GifFormat()
        : EncodedPictureFormat(QStringLiteral("GIF"), {"gif"}, NameTest::EndsWith)
    {
    }

    bool hasSignature(const std::uint8_t *data, std::size_t size) const override
    {
        return size >= 6 && (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0);
    }

    // The logical screen's size: the first image is shown on it.
    PictureHeader readHeader(const std::uint8_t *data, std::size_t size) const override
    {
        const QSize screen = screenSize(data, size);
        return PictureHeader{screen.width(), screen.height(), false, false};
    }

    // giflib has no reduced decoding: the screen drawn stretched into a
    // bitmap reduced by the largest power of two that still covers fill.
    void decode(const std::uint8_t *data, std::size_t size, const PictureHeader &header, TBitmap &into,
                QSize fill) const override
    {
        if (size == 0) {
            fail("empty file");
        }
        const QSize reduced = halvedToFill(QSize(header.width, header.height), fill);
        if (!pictureSizeAllowed(reduced.width(), reduced.height())) {
            fail("Image too large");
        }
        into.SetSize(reduced.width(), reduced.height());
        stretchGif(data, size, into.Canvas(), QRect(QPoint(0, 0), reduced));
    }

    void stretch(const std::uint8_t *data, std::size_t size, QImage &target, const QRect &rect) const override
    {
        stretchGif(data, size, target, rect);
    }

    // GIF has no orientation of its own.
    int orientation(const std::string &) const override { return 1; }
};

} // namespace

const PictureFormat &gifFormat()
{
    static const GifFormat format;
    return format;
}

} // namespace quillmere
