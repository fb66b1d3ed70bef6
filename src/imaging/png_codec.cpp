#include "imaging/png_codec.h"

#include "imaging/decode_cancel.h"
#include "imaging/picture_limits.h"
#include "imaging/row_stretcher.h"
#include "platform/errors.h"

#include <QImage>
#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <png.h>

namespace quillmere {

namespace {

// Everything libpng's callbacks touch. It holds nothing with a destructor,
// so a longjmp out of libpng never skips one.
struct PngSession {
    const std::uint8_t *data = nullptr;
    std::size_t size = 0;
    std::size_t position = 0;
    bool ranOut = false;
    char message[200] = {};
    std::uint64_t heldBytes = 0;
    std::uint64_t peakBytes = 0;
    std::uint64_t rowsRead = 0;
    png_structp png = nullptr;
    png_infop info = nullptr;
};

void readData(png_structp png, png_bytep out, png_size_t count)
{
    auto *s = static_cast<PngSession *>(png_get_io_ptr(png));
    if (count > s->size - s->position) {
        s->ranOut = true;
        png_error(png, "file ends early");
    }
    std::memcpy(out, s->data + s->position, count);
    s->position += count;
}

void onError(png_structp png, png_const_charp message)
{
    auto *s = static_cast<PngSession *>(png_get_error_ptr(png));
    std::snprintf(s->message, sizeof s->message, "%s", message ? message : "");
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// libpng's allocations, counted and held within kPngLibraryMemory; each
// block carries its size in front of it.
constexpr std::size_t kBlockHeader = 16;

png_voidp allocate(png_structp png, png_alloc_size_t size)
{
    auto *s = static_cast<PngSession *>(png_get_mem_ptr(png));
    if (size > kPngLibraryMemory || s->heldBytes + size > kPngLibraryMemory) {
        return nullptr; // libpng reports "Out of memory"
    }
    auto *block = static_cast<unsigned char *>(std::malloc(size + kBlockHeader));
    if (!block) {
        return nullptr;
    }
    std::memcpy(block, &size, sizeof size);
    s->heldBytes += size;
    s->peakBytes = std::max(s->peakBytes, s->heldBytes);
    return block + kBlockHeader;
}

void release(png_structp png, png_voidp pointer)
{
    if (!pointer) {
        return;
    }
    auto *s = static_cast<PngSession *>(png_get_mem_ptr(png));
    auto *block = static_cast<unsigned char *>(pointer) - kBlockHeader;
    png_alloc_size_t size = 0;
    std::memcpy(&size, block, sizeof size);
    s->heldBytes -= size;
    std::free(block);
}

// Owns the libpng structures of one reading.
class PngReader {
public:
    PngReader(const std::uint8_t *data, std::size_t size)
    {
        s.data = data;
        s.size = size;
        s.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &s, onError, onWarning, &s, allocate, release);
        if (s.png) {
            s.info = png_create_info_struct(s.png);
        }
        if (!s.png || !s.info) {
            throw EPNG(QStringLiteral("PNG error: Out of memory"));
        }
    }
    ~PngReader() { png_destroy_read_struct(&s.png, &s.info, nullptr); }
    PngReader(const PngReader &) = delete;
    PngReader &operator=(const PngReader &) = delete;

    [[noreturn]] void raise() const { throw EPNG(QStringLiteral("PNG error: %1").arg(QString::fromLatin1(s.message))); }

    PngSession s;
};

// The signature and every chunk up to the image data. Makes only libpng
// calls, so nothing is skipped when one of them jumps back here.
bool runReadInfo(PngSession &s)
{
    if (setjmp(png_jmpbuf(s.png)) != 0) {
        return false;
    }
    png_set_read_fn(s.png, &s, readData);
    // libpng's limits: a million pixels a side (its rows then stay within
    // 8 megabytes), ancillary chunks of at most 8 megabytes, few kept.
    png_set_user_limits(s.png, PNG_USER_WIDTH_MAX, PNG_USER_HEIGHT_MAX);
    png_set_chunk_malloc_max(s.png, PNG_USER_CHUNK_MALLOC_MAX);
    png_set_chunk_cache_max(s.png, 128);
    // Skip every ancillary chunk but tRNS (a negative count covers all the
    // chunks libpng knows except IHDR, PLTE, tRNS, IDAT and IEND).
    png_set_keep_unknown_chunks(s.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    // Their checksums are not even computed: nothing of them is used.
    png_set_crc_action(s.png, PNG_CRC_DEFAULT, PNG_CRC_QUIET_USE);
    png_read_info(s.png, s.info);
    return true;
}

// Receives each row libpng delivers: pass (0 for a file without
// interlacing), the row's index within its pass, its raw samples. Returns
// whether more rows are wanted.
using RowHandler = bool (*)(void *context, int pass, int row, const std::uint8_t *raw);

// Reads the rows of every pass in file order into raw (one row's worth of
// bytes), handing each to handler.
bool runReadRows(PngSession &s, std::uint8_t *raw, RowHandler handler, void *context)
{
    if (setjmp(png_jmpbuf(s.png)) != 0) {
        return false;
    }
    const png_uint_32 width = png_get_image_width(s.png, s.info);
    const png_uint_32 height = png_get_image_height(s.png, s.info);
    const bool interlaced = png_get_interlace_type(s.png, s.info) == PNG_INTERLACE_ADAM7;
    for (int pass = 0; pass < (interlaced ? 7 : 1); ++pass) {
        const png_uint_32 columns = interlaced ? PNG_PASS_COLS(width, pass) : width;
        const png_uint_32 rows = interlaced ? PNG_PASS_ROWS(height, pass) : height;
        if (columns == 0) {
            continue; // libpng skips passes without pixels
        }
        for (png_uint_32 row = 0; row < rows; ++row) {
            if (decodeCancelled()) {
                png_error(s.png, "decoding cancelled");
            }
            png_read_row(s.png, raw, nullptr);
            ++s.rowsRead;
            if (!handler(context, pass, static_cast<int>(row), raw)) {
                return true;
            }
        }
    }
    return true;
}

// Turns raw samples of any colour type and depth into RGB composited over
// white.
class PixelReader {
public:
    PixelReader(png_structp png, png_infop info)
        : colourType_(png_get_color_type(png, info))
        , depth_(png_get_bit_depth(png, info))
        , channels_(png_get_channels(png, info))
    {
        png_bytep alpha = nullptr;
        int alphaCount = 0;
        png_color_16p key = nullptr;
        const bool hasTrns = png_get_tRNS(png, info, &alpha, &alphaCount, &key) != 0;
        if (colourType_ == PNG_COLOR_TYPE_PALETTE) {
            palette_.fill(qRgb(0, 0, 0)); // indices past the palette: black
            png_colorp colours = nullptr;
            int count = 0;
            png_get_PLTE(png, info, &colours, &count);
            for (int i = 0; i < count && i < 256; ++i) {
                const int a = hasTrns && alpha && i < alphaCount ? alpha[i] : 255;
                palette_[i] = qRgb(over(colours[i].red, a), over(colours[i].green, a), over(colours[i].blue, a));
            }
        } else if (hasTrns && key) {
            hasKey_ = true;
            keyGrey_ = key->gray;
            keyRed_ = key->red;
            keyGreen_ = key->green;
            keyBlue_ = key->blue;
        }
    }

    QRgb at(const std::uint8_t *row, int x) const
    {
        const int first = x * channels_;
        switch (colourType_) {
        case PNG_COLOR_TYPE_PALETTE:
            return palette_[sample(row, x)];
        case PNG_COLOR_TYPE_GRAY: {
            const unsigned grey = sample(row, first);
            if (hasKey_ && grey == keyGrey_) {
                return qRgb(255, 255, 255);
            }
            const int g = to8(grey);
            return qRgb(g, g, g);
        }
        case PNG_COLOR_TYPE_RGB: {
            const unsigned r = sample(row, first), g = sample(row, first + 1), b = sample(row, first + 2);
            if (hasKey_ && r == keyRed_ && g == keyGreen_ && b == keyBlue_) {
                return qRgb(255, 255, 255);
            }
            return qRgb(to8(r), to8(g), to8(b));
        }
        case PNG_COLOR_TYPE_GRAY_ALPHA: {
            const int g = over(to8(sample(row, first)), to8(sample(row, first + 1)));
            return qRgb(g, g, g);
        }
        default: { // PNG_COLOR_TYPE_RGB_ALPHA
            const int a = to8(sample(row, first + 3));
            return qRgb(over(to8(sample(row, first)), a), over(to8(sample(row, first + 1)), a),
                        over(to8(sample(row, first + 2)), a));
        }
        }
    }

private:
    // Sample number index of a row, at the file's depth.
    unsigned sample(const std::uint8_t *row, int index) const
    {
        switch (depth_) {
        case 8:
            return row[index];
        case 16:
            return (static_cast<unsigned>(row[2 * index]) << 8) | row[2 * index + 1];
        default: { // 1, 2 or 4 bits, the leftmost sample in the high bits
            const int bit = index * depth_;
            const int shift = 8 - depth_ - bit % 8;
            return (row[bit / 8] >> shift) & ((1u << depth_) - 1);
        }
        }
    }
    int to8(unsigned value) const
    {
        switch (depth_) {
        case 1:
            return static_cast<int>(value * 255);
        case 2:
            return static_cast<int>(value * 85);
        case 4:
            return static_cast<int>(value * 17);
        case 16:
            return static_cast<int>((value * 255 + 32767) / 65535);
        default:
            return static_cast<int>(value);
        }
    }
    // A colour value of alpha a laid over white.
    static int over(int value, int a) { return (value * a + 255 * (255 - a) + 127) / 255; }

    int colourType_;
    int depth_;
    int channels_;
    std::array<QRgb, 256> palette_{};
    bool hasKey_ = false;
    unsigned keyGrey_ = 0, keyRed_ = 0, keyGreen_ = 0, keyBlue_ = 0;
};

// Where the pixels of each Adam7 pass lie: first row, row step, first
// column, column step.
constexpr int kPassRow[7] = {0, 0, 4, 0, 2, 0, 1};
constexpr int kPassRowStep[7] = {8, 8, 8, 4, 4, 2, 2};
constexpr int kPassColumn[7] = {0, 4, 0, 2, 0, 1, 0};
constexpr int kPassColumnStep[7] = {8, 8, 4, 4, 2, 2, 1};

// Hands the rows of a file without interlacing to the stretcher as they
// come, and stops after the last row it reads.
struct SequentialRows {
    RowStretcher &stretcher;
    const PixelReader &pixels;
    std::vector<QRgb> sampled;
    int lastRow;

    static bool take(void *context, int, int y, const std::uint8_t *raw)
    {
        auto &self = *static_cast<SequentialRows *>(context);
        if (self.stretcher.needsRow(y)) {
            const std::vector<int> &columns = self.stretcher.columns();
            for (std::size_t i = 0; i < columns.size(); ++i) {
                self.sampled[i] = self.pixels.at(raw, columns[i]);
            }
            self.stretcher.putSampledRow(y, self.sampled.data());
        }
        return y < self.lastRow;
    }
};

// Gathers, over the seven passes of an interlaced file, the pixels the
// stretcher takes: for each row it reads, the picked columns, starting white.
struct InterlacedRows {
    RowStretcher &stretcher;
    const PixelReader &pixels;
    std::vector<QRgb> grid; // rows() x columns()
    // For each pass: (index into columns(), column within the pass).
    std::array<std::vector<std::pair<int, int>>, 7> passColumns;

    InterlacedRows(RowStretcher &s, const PixelReader &p)
        : stretcher(s)
        , pixels(p)
        , grid(s.rows().size() * s.columns().size(), qRgb(255, 255, 255))
    {
        const std::vector<int> &columns = s.columns();
        for (int pass = 0; pass < 7; ++pass) {
            for (std::size_t i = 0; i < columns.size(); ++i) {
                const int x = columns[i] - kPassColumn[pass];
                if (x >= 0 && x % kPassColumnStep[pass] == 0) {
                    passColumns[pass].emplace_back(static_cast<int>(i), x / kPassColumnStep[pass]);
                }
            }
        }
    }

    static bool take(void *context, int pass, int row, const std::uint8_t *raw)
    {
        auto &self = *static_cast<InterlacedRows *>(context);
        const int y = kPassRow[pass] + row * kPassRowStep[pass];
        const std::vector<int> &rows = self.stretcher.rows();
        const auto found = std::lower_bound(rows.begin(), rows.end(), y);
        if (found != rows.end() && *found == y) {
            QRgb *line = self.grid.data() + (found - rows.begin()) * self.stretcher.columns().size();
            for (const auto &[index, x] : self.passColumns[pass]) {
                line[index] = self.pixels.at(raw, x);
            }
        }
        return true;
    }

    void flush()
    {
        const std::size_t width = stretcher.columns().size();
        for (std::size_t i = 0; i < stretcher.rows().size(); ++i) {
            stretcher.putSampledRow(stretcher.rows()[i], grid.data() + i * width);
        }
    }
};

} // namespace

bool pngDataBelievable(std::uint64_t imageBytes, std::uint64_t fileBytes)
{
    return imageBytes <= kFreePngImageBytes + kPngImageBytesPerFileByte * fileBytes;
}

PngHeader readPngHeader(const std::uint8_t *data, std::size_t size)
{
    PngReader reader(data, size);
    if (!runReadInfo(reader.s)) {
        reader.raise();
    }
    PngHeader header;
    header.width = static_cast<int>(png_get_image_width(reader.s.png, reader.s.info));
    header.height = static_cast<int>(png_get_image_height(reader.s.png, reader.s.info));
    header.bitDepth = png_get_bit_depth(reader.s.png, reader.s.info);
    header.colourType = png_get_color_type(reader.s.png, reader.s.info);
    header.interlaced = png_get_interlace_type(reader.s.png, reader.s.info) == PNG_INTERLACE_ADAM7;
    return header;
}

void stretchPng(const std::uint8_t *data, std::size_t size, QImage &target, const QRect &rect, PngCost *cost)
{
    PngReader reader(data, size);
    PngSession &s = reader.s;
    const auto noteCost = [&] {
        if (cost) {
            cost->libraryPeakBytes = s.peakBytes;
            cost->rowsRead = s.rowsRead;
        }
    };
    if (!runReadInfo(s)) {
        noteCost();
        reader.raise();
    }
    const png_uint_32 width = png_get_image_width(s.png, s.info);
    const png_uint_32 height = png_get_image_height(s.png, s.info);
    if (!pictureSizeAllowed(width, height)) {
        std::snprintf(s.message, sizeof s.message, "Image too large");
        noteCost();
        reader.raise();
    }
    const std::uint64_t rowBytes = png_get_rowbytes(s.png, s.info);
    if (!pngDataBelievable((rowBytes + 1) * height, size)) {
        std::snprintf(s.message, sizeof s.message, "Image data out of proportion to the file");
        noteCost();
        reader.raise();
    }

    RowStretcher stretcher(static_cast<int>(width), static_cast<int>(height), target, rect, RowStretcher::Mode::Nearest);
    if (!stretcher.active()) {
        return;
    }
    const PixelReader pixels(s.png, s.info);
    std::vector<std::uint8_t> raw(rowBytes);
    bool finished = false;
    if (png_get_interlace_type(s.png, s.info) == PNG_INTERLACE_ADAM7) {
        InterlacedRows rows(stretcher, pixels);
        finished = runReadRows(s, raw.data(), InterlacedRows::take, &rows);
        rows.flush();
    } else {
        SequentialRows rows{stretcher, pixels, std::vector<QRgb>(stretcher.columns().size()),
                            stretcher.rows().empty() ? 0 : stretcher.rows().back()};
        finished = runReadRows(s, raw.data(), SequentialRows::take, &rows);
    }
    stretcher.finish();
    noteCost();
    // A file that ends early shows what it holds, as a cut JPEG file does.
    if (!finished && !s.ranOut) {
        reader.raise();
    }
}

} // namespace quillmere
