#include "imaging/bmp_reader.h"

#include "imaging/byte_source.h"
#include "imaging/picture_limits.h"
#include "imaging/pixel_buffer.h"
#include "imaging/row_stretcher.h"
#include "platform/errors.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

namespace quillmere {

namespace {

constexpr std::uint32_t kRgb = 0;       // uncompressed
constexpr std::uint32_t kRle8 = 1;      // run-length encoded 8-bit indices
constexpr std::uint32_t kRle4 = 2;      // run-length encoded 4-bit indices
constexpr std::uint32_t kBitFields = 3; // uncompressed with colour masks

constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
// The longest header version (124 bytes) holds every field we look at; the
// rest of a longer header is skipped.
constexpr std::size_t kHeaderFieldBytes = 124;

constexpr QRgb kOpaqueBlack = 0xFF000000u;

[[noreturn]] void raiseNotValid()
{
    throw EInvalidGraphic(QStringLiteral("Bitmap image is not valid"));
}

[[noreturn]] void raiseReadError()
{
    throw EReadError(QStringLiteral("Stream read error"));
}

void readExact(ByteSource &source, void *buffer, std::size_t count)
{
    if (source.read(buffer, count) != count) {
        raiseReadError();
    }
}

std::uint16_t le16(const std::uint8_t *p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t le32(const std::uint8_t *p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
        (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The information header in its 40-byte form, whatever form the file used.
struct InfoHeader {
    std::uint32_t size = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint16_t planes = 0;
    std::uint16_t bitsPerPixel = 0;
    std::uint32_t compression = kRgb;
    std::uint32_t imageSize = 0;
    std::uint32_t colourCount = 0;
    std::array<std::uint32_t, 3> masks{}; // red, green, blue
};

InfoHeader readInfoHeader(ByteSource &source)
{
    std::uint8_t sizeBytes[4];
    readExact(source, sizeBytes, sizeof sizeBytes);
    InfoHeader header;
    header.size = le32(sizeBytes);

    if (header.size == kCoreHeaderSize) {
        std::uint8_t core[8];
        readExact(source, core, sizeof core);
        header.width = le16(core);
        header.height = le16(core + 2);
        header.planes = le16(core + 4);
        header.bitsPerPixel = le16(core + 6);
        return header;
    }

    // Any other size: the rest of the header is as long as the size says.
    // Fields a short header lacks read as 0.
    const std::uint64_t rest = header.size >= 4 ? header.size - 4u : 0;
    if (rest > source.remaining()) {
        raiseReadError();
    }
    std::array<std::uint8_t, kHeaderFieldBytes> fields{};
    const std::size_t kept = static_cast<std::size_t>(std::min<std::uint64_t>(rest, kHeaderFieldBytes - 4));
    readExact(source, fields.data() + 4, kept);
    if (source.skip(rest - kept) != rest - kept) {
        raiseReadError();
    }
    const std::uint8_t *f = fields.data();
    header.width = static_cast<std::int32_t>(le32(f + 4));
    header.height = static_cast<std::int32_t>(le32(f + 8));
    header.planes = le16(f + 12);
    header.bitsPerPixel = le16(f + 14);
    header.compression = le32(f + 16);
    header.imageSize = le32(f + 20);
    header.colourCount = le32(f + 32);
    // Headers longer than 40 bytes carry their masks themselves.
    header.masks = {le32(f + 40), le32(f + 44), le32(f + 48)};
    return header;
}

// One colour mask of a bit-field picture, turned into an 8-bit channel.
class Channel {
public:
    explicit Channel(std::uint32_t mask)
        : mask_(mask)
    {
        if (mask != 0) {
            shift_ = std::countr_zero(mask);
            bits_ = 32 - std::countl_zero(mask) - shift_;
        }
    }
    std::uint32_t operator()(std::uint32_t pixel) const
    {
        if (mask_ == 0) {
            return 0;
        }
        const std::uint32_t value = (pixel & mask_) >> shift_;
        if (bits_ >= 8) {
            return value >> (bits_ - 8);
        }
        const std::uint32_t top = (1u << bits_) - 1;
        return (value * 255 + top / 2) / top;
    }

private:
    std::uint32_t mask_;
    int shift_ = 0;
    int bits_ = 0;
};

QImage::Format formatFor(int bitsPerPixel)
{
    switch (bitsPerPixel) {
    case 1:
        return QImage::Format_Mono;
    case 4:
    case 8:
        return QImage::Format_Indexed8;
    case 24:
        return QImage::Format_BGR888;
    default:
        return QImage::Format_RGB32;
    }
}

void fillOpaqueBlack(QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        std::fill(line, line + image.width(), kOpaqueBlack);
    }
}

// Uncompressed and bit-field pixel data, read row by row as the file stores
// them. Only `budget` bytes are read; the pixels beyond stay zero: black in
// true-colour pictures, the first colour table entry in indexed ones.
QImage readPlainPixels(ByteSource &source, const InfoHeader &header, std::uint64_t rowSize, std::uint64_t budget)
{
    const int width = static_cast<int>(header.width);
    const int height = static_cast<int>(header.height < 0 ? -header.height : header.height);
    const bool bottomUp = header.height > 0;
    const int depth = header.bitsPerPixel;
    const QImage::Format format = formatFor(depth);
    const bool trueColour = format == QImage::Format_RGB32;
    QImage image = makePixelImage(width, height, format, !trueColour);
    if (trueColour) {
        fillOpaqueBlack(image);
    }

    // Rows whose layout matches QImage's byte for byte go straight into the
    // image; the others pass through a row buffer and are converted.
    const bool direct = (depth == 1 || depth == 8 || depth == 24 || (depth == 32 && header.compression == kRgb)) &&
        static_cast<std::uint64_t>(image.bytesPerLine()) == rowSize;
    std::vector<std::uint8_t> row(direct ? 0 : static_cast<std::size_t>(rowSize));

    const Channel red(header.masks[0]);
    const Channel green(header.masks[1]);
    const Channel blue(header.masks[2]);

    for (int i = 0; i < height && budget > 0; ++i) {
        const std::size_t wanted = static_cast<std::size_t>(std::min(rowSize, budget));
        budget -= wanted;
        uchar *line = image.scanLine(bottomUp ? height - 1 - i : i);
        if (direct) {
            const std::size_t got = source.read(line, wanted);
            if (depth == 32) {
                QRgb *pixels = reinterpret_cast<QRgb *>(line);
                for (std::size_t x = 0; x < got / 4; ++x) {
                    pixels[x] |= kOpaqueBlack;
                }
            }
            if (got < wanted) {
                break;
            }
            continue;
        }
        const std::size_t got = source.read(row.data(), wanted);
        if (depth == 4) {
            const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(width), got * 2);
            for (std::size_t x = 0; x < count; ++x) {
                const std::uint8_t pair = row[x / 2];
                line[x] = (x % 2 == 0) ? pair >> 4 : pair & 0x0F;
            }
        } else {
            const std::size_t bytes = static_cast<std::size_t>(depth / 8);
            const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(width), got / bytes);
            QRgb *pixels = reinterpret_cast<QRgb *>(line);
            for (std::size_t x = 0; x < count; ++x) {
                const std::uint8_t *p = row.data() + x * bytes;
                const std::uint32_t value = bytes == 2 ? le16(p) : le32(p);
                pixels[x] = qRgb(static_cast<int>(red(value)), static_cast<int>(green(value)),
                                 static_cast<int>(blue(value)));
            }
        }
        if (got < wanted) {
            break;
        }
    }
    return image;
}

// Bytes of run-length encoded data, handed out one at a time from a buffer
// and never more than the budget.
class RunInput {
public:
    RunInput(ByteSource &source, std::uint64_t budget)
        : source_(source)
        , budget_(budget)
    {
    }
    bool next(std::uint8_t &byte)
    {
        if (position_ == filled_) {
            const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), budget_));
            filled_ = chunk > 0 ? source_.read(buffer_.data(), chunk) : 0;
            budget_ -= filled_;
            position_ = 0;
            if (filled_ == 0) {
                return false;
            }
        }
        byte = buffer_[position_++];
        return true;
    }

private:
    ByteSource &source_;
    std::uint64_t budget_;
    std::vector<std::uint8_t> buffer_ = std::vector<std::uint8_t>(65536);
    std::size_t filled_ = 0;
    std::size_t position_ = 0;
};

// Walks RLE8 or RLE4 data by the published rules of the bitmap format and
// hands the pixels to out: out.run(y, x, count, first, second) for count
// pixels from column x of row y (counted from the bottom) alternating between
// the two indices (both the same for RLE8), out.pixel(y, x, index) for a
// literal pixel. Runs and literal pixels that reach past the right edge are
// clipped, not wrapped; the walk stops at the end-of-bitmap code, at the end
// of the data, or once the position has left the top of the picture.
template <class Out>
void walkRunLengths(ByteSource &source, const InfoHeader &header, std::uint64_t budget, Out &out)
{
    const std::int64_t width = header.width;
    const std::int64_t height = header.height;
    const bool fourBit = header.compression == kRle4;
    RunInput input(source, budget);
    std::int64_t x = 0;
    std::int64_t y = 0; // counted from the bottom row up
    std::uint8_t first = 0;
    std::uint8_t second = 0;
    while (y < height && input.next(first) && input.next(second)) {
        if (first > 0) {
            // An encoded run: `first` pixels of one index (RLE8) or of two
            // alternating indices (RLE4, high nibble first).
            const int count = static_cast<int>(std::min<std::int64_t>(first, std::max<std::int64_t>(width - x, 0)));
            if (count > 0) {
                out.run(static_cast<int>(y), static_cast<int>(x), count, fourBit ? second >> 4 : second,
                        fourBit ? second & 0x0F : second);
            }
            x += first;
            continue;
        }
        if (second == 0) { // end of line
            x = 0;
            ++y;
        } else if (second == 1) { // end of bitmap
            break;
        } else if (second == 2) { // delta: move right and up
            std::uint8_t dx = 0;
            std::uint8_t dy = 0;
            if (!input.next(dx) || !input.next(dy)) {
                break;
            }
            x += dx;
            y += dy;
        } else {
            // Absolute mode: `second` literal pixels, padded to a 16-bit
            // boundary.
            const int pixels = second;
            const int bytes = fourBit ? (pixels + 1) / 2 : pixels;
            const auto put = [&](std::uint8_t index) {
                if (x < width && y < height) {
                    out.pixel(static_cast<int>(y), static_cast<int>(x), index);
                }
                ++x;
            };
            bool complete = true;
            for (int b = 0; b < bytes && complete; ++b) {
                std::uint8_t value = 0;
                complete = input.next(value);
                if (!complete) {
                    break;
                }
                if (fourBit) {
                    put(value >> 4);
                    if (2 * b + 1 < pixels) {
                        put(value & 0x0F);
                    }
                } else {
                    put(value);
                }
            }
            std::uint8_t pad = 0;
            if (!complete || (bytes % 2 == 1 && !input.next(pad))) {
                break;
            }
        }
    }
}

std::array<QRgb, 256> opaqueColours(const QList<QRgb> &palette)
{
    std::array<QRgb, 256> colours;
    colours.fill(kOpaqueBlack);
    for (int i = 0; i < std::min<int>(256, static_cast<int>(palette.size())); ++i) {
        colours[static_cast<std::size_t>(i)] = palette[i] | kOpaqueBlack;
    }
    return colours;
}

// Run-length data expanded into a whole 32-bit RGB picture; pixels no code
// reaches stay black.
QImage expandRunLengths(ByteSource &source, const InfoHeader &header, const QList<QRgb> &palette,
                        std::uint64_t budget)
{
    const int width = static_cast<int>(header.width);
    const int height = static_cast<int>(header.height);
    QImage image = makePixelImage(width, height, QImage::Format_RGB32, false);
    fillOpaqueBlack(image);
    struct Out {
        QImage &image;
        int height;
        std::array<QRgb, 256> colours;
        void run(int y, int x, int count, std::uint8_t first, std::uint8_t second)
        {
            QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(height - 1 - y)) + x;
            for (int k = 0; k < count; ++k) {
                line[k] = colours[k % 2 == 0 ? first : second];
            }
        }
        void pixel(int y, int x, std::uint8_t index)
        {
            reinterpret_cast<QRgb *>(image.scanLine(height - 1 - y))[x] = colours[index];
        }
    } out{image, height, opaqueColours(palette)};
    walkRunLengths(source, header, budget, out);
    return image;
}

// Run-length data drawn through a stretcher: only the pixels of the rows and
// columns it reads are kept, so a run costs what it covers of those, not its
// length.
void stretchRunLengths(ByteSource &source, const InfoHeader &header, const QList<QRgb> &palette,
                       std::uint64_t budget, RowStretcher &stretcher)
{
    const int height = static_cast<int>(header.height);
    const std::vector<int> &rows = stretcher.rows();
    const std::vector<int> &columns = stretcher.columns();
    struct Out {
        int height;
        const std::vector<int> &rows;
        const std::vector<int> &columns;
        std::array<QRgb, 256> colours;
        std::vector<QRgb> kept; // rows x columns, black until a code reaches them
        QRgb *rowOf(int y)
        {
            const int imageRow = height - 1 - y;
            const auto at = std::lower_bound(rows.begin(), rows.end(), imageRow);
            if (at == rows.end() || *at != imageRow) {
                return nullptr;
            }
            return kept.data() + static_cast<std::size_t>(at - rows.begin()) * columns.size();
        }
        void run(int y, int x, int count, std::uint8_t first, std::uint8_t second)
        {
            QRgb *row = rowOf(y);
            if (row == nullptr) {
                return;
            }
            for (auto at = std::lower_bound(columns.begin(), columns.end(), x); at != columns.end() && *at < x + count;
                 ++at) {
                row[at - columns.begin()] = colours[(*at - x) % 2 == 0 ? first : second];
            }
        }
        void pixel(int y, int x, std::uint8_t index)
        {
            QRgb *row = rowOf(y);
            const auto at = std::lower_bound(columns.begin(), columns.end(), x);
            if (row != nullptr && at != columns.end() && *at == x) {
                row[at - columns.begin()] = colours[index];
            }
        }
    } out{height, rows, columns, opaqueColours(palette), std::vector<QRgb>(rows.size() * columns.size(), kOpaqueBlack)};
    walkRunLengths(source, header, budget, out);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        stretcher.putSampledRow(rows[i], out.kept.data() + i * columns.size());
    }
}

// The colour of column x of a stored row of uncompressed or bit-field data
// of which the file holds `got` bytes, exactly as the whole picture read by
// readPlainPixels and then stretched shows it.
class StoredPixel {
public:
    StoredPixel(const InfoHeader &header, const QList<QRgb> &palette)
        : depth_(header.bitsPerPixel)
        , converted_(depth_ == 16 || (depth_ == 32 && header.compression == kBitFields))
        , colours_(opaqueColours(palette))
        , red_(header.masks[0])
        , green_(header.masks[1])
        , blue_(header.masks[2])
    {
    }
    QRgb operator()(const std::uint8_t *row, std::size_t got, int column) const
    {
        const auto x = static_cast<std::size_t>(column);
        const auto byte = [&](std::size_t i) -> std::uint32_t { return i < got ? row[i] : 0; };
        switch (depth_) {
        case 1:
            return colours_[(byte(x / 8) >> (7 - x % 8)) & 1];
        case 4:
            return colours_[x % 2 == 0 ? byte(x / 2) >> 4 : byte(x / 2) & 0x0F];
        case 8:
            return colours_[byte(x)];
        case 24:
            return qRgb(static_cast<int>(byte(3 * x + 2)), static_cast<int>(byte(3 * x + 1)),
                        static_cast<int>(byte(3 * x)));
        default:
            break;
        }
        const std::size_t size = static_cast<std::size_t>(depth_ / 8);
        if (!converted_) { // 32-bit pixels as stored, made opaque
            return (byte(4 * x) | byte(4 * x + 1) << 8 | byte(4 * x + 2) << 16 | byte(4 * x + 3) << 24) | kOpaqueBlack;
        }
        if ((x + 1) * size > got) { // a pixel the file lacks, even in part
            return kOpaqueBlack;
        }
        const std::uint32_t value = size == 2 ? le16(row + x * size) : le32(row + x * size);
        return qRgb(static_cast<int>(red_(value)), static_cast<int>(green_(value)), static_cast<int>(blue_(value)));
    }

private:
    int depth_;
    bool converted_;
    std::array<QRgb, 256> colours_;
    Channel red_;
    Channel green_;
    Channel blue_;
};

// Uncompressed and bit-field data drawn through a stretcher: the rows it
// reads are read one at a time, the others skipped, and the rows the file
// lacks are handed over together as zero bytes.
void stretchPlainPixels(ByteSource &source, const InfoHeader &header, const QList<QRgb> &palette,
                        std::uint64_t rowSize, std::uint64_t budget, RowStretcher &stretcher)
{
    const int height = static_cast<int>(header.height < 0 ? -header.height : header.height);
    const bool bottomUp = header.height > 0;
    const StoredPixel pixel(header, palette);
    std::vector<std::uint8_t> row;
    int stored = 0; // rows the file holds, the last perhaps in part
    for (; stored < height && budget > 0; ++stored) {
        const std::size_t wanted = static_cast<std::size_t>(std::min(rowSize, budget));
        budget -= wanted;
        const int y = bottomUp ? height - 1 - stored : stored;
        std::size_t got = 0;
        if (stretcher.needsRow(y)) {
            row.resize(wanted);
            got = source.read(row.data(), wanted);
            stretcher.putRow(y, [&](int x) { return pixel(row.data(), got, x); });
        } else {
            got = static_cast<std::size_t>(source.skip(wanted));
        }
        if (got < wanted) {
            ++stored;
            break;
        }
    }
    const auto missing = [&](int x) { return pixel(nullptr, 0, x); };
    if (bottomUp) {
        stretcher.putRepeatedRow(0, height - stored, missing);
    } else {
        stretcher.putRepeatedRow(stored, height, missing);
    }
    stretcher.finish();
}

// What the headers say about the pixel data that follows them.
struct Layout {
    InfoHeader header;
    QList<QRgb> palette;
    std::uint64_t rowSize = 0;
    std::uint64_t budget = 0; // pixel-data bytes to read
    bool empty = false;       // a file of no bytes
};

// Reads everything up to the pixel data and raises the designed errors; the
// pixel data itself can no longer fail.
Layout readLayout(ByteSource &source)
{
    Layout layout;
    if (source.remaining() == 0) {
        layout.empty = true;
        return layout;
    }

    std::uint8_t fileHeader[14];
    readExact(source, fileHeader, sizeof fileHeader);
    if (fileHeader[0] != 'B' || fileHeader[1] != 'M') {
        raiseNotValid();
    }

    InfoHeader header = readInfoHeader(source);
    if (header.planes != 1) {
        raiseNotValid();
    }

    const bool maskedDepth = header.bitsPerPixel == 16 || header.bitsPerPixel == 32;
    if (header.size == kInfoHeaderSize && maskedDepth && header.compression == kBitFields) {
        std::uint8_t masks[12];
        readExact(source, masks, sizeof masks);
        header.masks = {le32(masks), le32(masks + 4), le32(masks + 8)};
    }

    // The colour table: as many entries as the header says, or the default
    // for the depth. Entries past 256 are read but no index can reach them.
    std::uint64_t entries = header.colourCount;
    if (entries == 0 && header.bitsPerPixel <= 8) {
        entries = header.bitsPerPixel == 1 ? 2 : header.bitsPerPixel == 4 ? 16 : header.bitsPerPixel == 8 ? 256 : 0;
    }
    const std::size_t entrySize = header.size == kCoreHeaderSize ? 3 : 4;
    if (entries * entrySize > source.remaining()) {
        raiseReadError();
    }
    const std::size_t kept = static_cast<std::size_t>(std::min<std::uint64_t>(entries, 256));
    std::vector<std::uint8_t> table(kept * entrySize);
    readExact(source, table.data(), table.size());
    if (source.skip((entries - kept) * entrySize) != (entries - kept) * entrySize) {
        raiseReadError();
    }
    for (std::size_t i = 0; i < kept; ++i) {
        const std::uint8_t *e = table.data() + i * entrySize;
        layout.palette.append(qRgb(e[2], e[1], e[0]));
    }

    // Only pictures that can be built are read on.
    const std::int64_t rows = header.height < 0 ? -header.height : header.height;
    bool buildable = false;
    switch (header.compression) {
    case kRgb:
        buildable = header.bitsPerPixel == 1 || header.bitsPerPixel == 4 || header.bitsPerPixel == 8 ||
            header.bitsPerPixel == 16 || header.bitsPerPixel == 24 || header.bitsPerPixel == 32;
        break;
    case kBitFields:
        buildable = maskedDepth;
        break;
    case kRle8:
        buildable = header.bitsPerPixel == 8 && header.height > 0; // run-length data is always bottom-up
        break;
    case kRle4:
        buildable = header.bitsPerPixel == 4 && header.height > 0;
        break;
    default:
        break;
    }
    if (!buildable || !pictureSizeAllowed(header.width, rows)) {
        raiseNotValid();
    }
    if (header.compression == kRgb && header.bitsPerPixel == 16) {
        header.masks = {0x7C00, 0x03E0, 0x001F};
    }

    layout.rowSize = ((static_cast<std::uint64_t>(header.width) * header.bitsPerPixel + 31) / 32) * 4;
    const std::uint64_t announced =
        header.imageSize != 0 ? header.imageSize : layout.rowSize * static_cast<std::uint64_t>(rows);
    layout.budget = std::min(announced, source.remaining());
    layout.header = header;
    return layout;
}

bool runLength(const InfoHeader &header)
{
    return header.compression == kRle8 || header.compression == kRle4;
}

} // namespace

BmpInfo readBmpInfo(ByteSource &source)
{
    const Layout layout = readLayout(source);
    BmpInfo info;
    if (layout.empty) {
        return info;
    }
    const InfoHeader &header = layout.header;
    info.size = QSize(static_cast<int>(header.width), static_cast<int>(header.height < 0 ? -header.height : header.height));
    info.bitsPerPixel = runLength(header) ? 32 : header.bitsPerPixel;
    info.palette = layout.palette;
    info.pixelBytes = layout.budget;
    return info;
}

QSize stretchBmp(ByteSource &source, QImage &target, const QRect &rect)
{
    const Layout layout = readLayout(source);
    if (layout.empty) {
        return QSize(0, 0);
    }
    const InfoHeader &header = layout.header;
    const QSize size(static_cast<int>(header.width), static_cast<int>(header.height < 0 ? -header.height : header.height));
    if (runLength(header)) {
        RowStretcher stretcher(size.width(), size.height(), target, rect, RowStretcher::Mode::Nearest);
        stretchRunLengths(source, header, layout.palette, layout.budget, stretcher);
    } else {
        const auto mode = header.bitsPerPixel == 1 ? RowStretcher::Mode::AndReduce : RowStretcher::Mode::Nearest;
        RowStretcher stretcher(size.width(), size.height(), target, rect, mode);
        stretchPlainPixels(source, header, layout.palette, layout.rowSize, layout.budget, stretcher);
    }
    return size;
}

DecodedBitmap readBmp(ByteSource &source)
{
    DecodedBitmap result;
    Layout layout = readLayout(source);
    if (layout.empty) {
        return result;
    }
    result.palette = layout.palette;
    if (runLength(layout.header)) {
        result.image = expandRunLengths(source, layout.header, result.palette, layout.budget);
        result.bitsPerPixel = 32;
    } else {
        result.image = readPlainPixels(source, layout.header, layout.rowSize, layout.budget);
        result.bitsPerPixel = layout.header.bitsPerPixel;
    }
    return result;
}

} // namespace quillmere
