#include "imaging/tiff_codec.h"

#include "imaging/bitmap.h"
#include "imaging/decode_cancel.h"
#include "imaging/picture_format.h"
#include "imaging/picture_limits.h"
#include "imaging/row_stretcher.h"

#include <QImage>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

#include <tiffio.h>

namespace quillmere {

namespace {

// The file as libtiff's client procedures see it, and the first error
// libtiff reported.
struct TiffSession {
    TiffBytes file;
    std::uint64_t position = 0;
    std::string message;
};

tmsize_t readProc(thandle_t handle, void *buffer, tmsize_t count)
{
    auto *s = static_cast<TiffSession *>(handle);
    if (count <= 0 || s->position >= s->file.size) {
        return 0;
    }
    const std::uint64_t wanted = std::min<std::uint64_t>(static_cast<std::uint64_t>(count), s->file.size - s->position);
    std::uint64_t done = 0;
    if (s->file.data) {
        std::memcpy(buffer, s->file.data + s->position, wanted);
        done = wanted;
    } else {
        while (done < wanted) {
            const ssize_t got = ::pread(s->file.fd, static_cast<char *>(buffer) + done, wanted - done,
                                        static_cast<off_t>(s->position + done));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                break; // a read error or a file that shrank: the data ends here
            }
            done += static_cast<std::uint64_t>(got);
        }
    }
    s->position += done;
    return static_cast<tmsize_t>(done);
}

tmsize_t writeProc(thandle_t, void *, tmsize_t)
{
    return 0;
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence)
{
    auto *s = static_cast<TiffSession *>(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR) {
        base = s->position;
    } else if (whence == SEEK_END) {
        base = s->file.size;
    }
    if (offset > UINT64_MAX - base) {
        return static_cast<toff_t>(-1);
    }
    s->position = base + offset;
    return s->position;
}

int closeProc(thandle_t)
{
    return 0;
}

toff_t sizeProc(thandle_t handle)
{
    return static_cast<TiffSession *>(handle)->file.size;
}

// A file in memory is handed to libtiff as mapped, so strips are read in
// place rather than copied.
int mapProc(thandle_t handle, void **base, toff_t *size)
{
    auto *s = static_cast<TiffSession *>(handle);
    if (!s->file.data) {
        return 0;
    }
    *base = const_cast<std::uint8_t *>(s->file.data);
    *size = s->file.size;
    return 1;
}

void unmapProc(thandle_t, void *, toff_t) {}

int onError(TIFF *, void *userData, const char *, const char *format, va_list args)
{
    auto *s = static_cast<TiffSession *>(userData);
    if (s->message.empty()) {
        char text[300];
        std::vsnprintf(text, sizeof text, format, args);
        s->message = text;
    }
    return 1; // handled: libtiff's own handlers print nothing
}

int onWarning(TIFF *, void *, const char *, const char *, va_list)
{
    return 1;
}

// libtiff's process-wide handlers print to stderr; the few messages that do
// not go through a file's own handlers are dropped.
void silenceLibraryOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

[[noreturn]] void raise(const std::string &message)
{
    throw ETIFF(QStringLiteral("TIFF error: %1").arg(QString::fromStdString(message)));
}

// One open file; closes it when it goes.
class TiffReader {
public:
    explicit TiffReader(const TiffBytes &file)
    {
        silenceLibraryOnce();
        session_.file = file;
        if (file.size == 0) {
            raise("empty file");
        }
        TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
        if (!options) {
            raise("Out of memory");
        }
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(kTiffLibraryBlockBytes));
        TIFFOpenOptionsSetErrorHandlerExtR(options, onError, &session_);
        TIFFOpenOptionsSetWarningHandlerExtR(options, onWarning, &session_);
        tif_ = TIFFClientOpenExt("picture", file.data ? "r" : "rm", &session_, readProc, writeProc, seekProc,
                                 closeProc, sizeProc, mapProc, unmapProc, options);
        TIFFOpenOptionsFree(options);
        if (!tif_) {
            fail("not a TIFF file");
        }
    }
    ~TiffReader()
    {
        if (tif_) {
            TIFFClose(tif_);
        }
    }
    TiffReader(const TiffReader &) = delete;
    TiffReader &operator=(const TiffReader &) = delete;

    TIFF *tif() const { return tif_; }
    std::uint64_t fileSize() const { return session_.file.size; }

    // Raises libtiff's first error, or `otherwise` when it reported none.
    [[noreturn]] void fail(const char *otherwise) const
    {
        raise(session_.message.empty() ? std::string(otherwise) : session_.message);
    }

private:
    TiffSession session_;
    TIFF *tif_ = nullptr;
};

QSize pageSize(TIFF *tif)
{
    std::uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    if (width == 0 || height == 0 || width > INT_MAX || height > INT_MAX) {
        return QSize();
    }
    return QSize(static_cast<int>(width), static_cast<int>(height));
}

// Ends libtiff's RGBA reader however the drawing ends.
struct RgbaImage {
    TIFFRGBAImage img{};
    bool begun = false;
    ~RgbaImage()
    {
        if (begun) {
            TIFFRGBAImageEnd(&img);
        }
    }
};

// The colour of one pixel of libtiff's RGBA output laid over white. libtiff
// hands over colour with alpha premultiplied for RGB pictures (associated
// alpha, and unassociated alpha which it multiplies in); grey with alpha
// comes out as stored, with its alpha beside it.
QRgb overWhite(std::uint32_t abgr, bool premultiplied)
{
    const int a = static_cast<int>(TIFFGetA(abgr));
    const auto lay = [&](int value) {
        return premultiplied ? std::min(255, value + 255 - a) : (value * a + 255 * (255 - a) + 127) / 255;
    };
    return qRgb(lay(static_cast<int>(TIFFGetR(abgr))), lay(static_cast<int>(TIFFGetG(abgr))),
                lay(static_cast<int>(TIFFGetB(abgr))));
}

// Draws the current directory of reader stretched onto rect of target.
class PageDrawer {
public:
    PageDrawer(const TiffReader &reader, TiffCost *cost)
        : reader_(reader)
        , tif_(reader.tif())
        , cost_(cost)
    {
    }

    void draw(QImage &target, const QRect &rect)
    {
        const QSize size = pageSize(tif_);
        if (!pictureSizeAllowed(size.width(), size.height())) {
            raise("Image too large");
        }
        width_ = static_cast<std::uint32_t>(size.width());
        height_ = static_cast<std::uint32_t>(size.height());
        std::uint16_t planar = PLANARCONFIG_CONTIG, samples = 1;
        TIFFGetFieldDefaulted(tif_, TIFFTAG_PLANARCONFIG, &planar);
        TIFFGetFieldDefaulted(tif_, TIFFTAG_SAMPLESPERPIXEL, &samples);
        separate_ = planar == PLANARCONFIG_SEPARATE;
        const std::uint64_t line = TIFFScanlineSize64(tif_);
        const std::uint64_t stored = line * height_ * (separate_ ? samples : 1);
        if (line == 0 || !tiffWorkBelievable(std::max<std::uint64_t>(stored, std::uint64_t(width_) * height_),
                                             reader_.fileSize())) {
            raise("Image data out of proportion to the file");
        }

        RowStretcher stretcher(static_cast<int>(width_), static_cast<int>(height_), target, rect,
                               RowStretcher::Mode::Nearest);
        if (!stretcher.active()) {
            return;
        }
        std::uint16_t photometric = 0, bits = 0, inks = INKSET_CMYK;
        TIFFGetFieldDefaulted(tif_, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetFieldDefaulted(tif_, TIFFTAG_BITSPERSAMPLE, &bits);
        TIFFGetFieldDefaulted(tif_, TIFFTAG_INKSET, &inks);
        if (photometric == PHOTOMETRIC_SEPARATED && inks == INKSET_CMYK && bits == 16 && samples >= 4) {
            // libtiff's RGBA reader takes CMYK at 8 bits only.
            if (TIFFIsTiled(tif_) || separate_) {
                raise("16-bit CMYK only in strips of interleaved samples");
            }
            samples_ = samples;
            drawByRows(stretcher, &PageDrawer::cmyk16);
            return;
        }

        char message[1024] = {};
        if (!TIFFRGBAImageOK(tif_, message) || !TIFFRGBAImageBegin(&rgba_.img, tif_, 1, message)) {
            raise(message[0] ? std::string(message) : std::string("cannot read this kind of picture"));
        }
        rgba_.begun = true;
        // The stored pixels, whatever the Orientation tag says: asking for
        // the file's own orientation makes libtiff flip nothing.
        rgba_.img.req_orientation = rgba_.img.orientation;
        photometric = rgba_.img.photometric;
        premultiplied_ = photometric != PHOTOMETRIC_MINISBLACK && photometric != PHOTOMETRIC_MINISWHITE;
        // libtiff's RGBA reader (after it has set JPEG data to come out as
        // RGB) reads whole strips and tiles; plain strips are read row by
        // row, so a tall strip never has to be held.
        std::uint16_t subH = 1, subV = 1;
        TIFFGetFieldDefaulted(tif_, TIFFTAG_YCBCRSUBSAMPLING, &subH, &subV);
        const bool subsampled = photometric == PHOTOMETRIC_YCBCR && (subH != 1 || subV != 1);
        if (TIFFIsTiled(tif_) || separate_ || subsampled) {
            drawByBands(stretcher);
        } else {
            drawByRows(stretcher, &PageDrawer::rgbaRow);
        }
    }

private:
    // Whether the data of block (a strip or tile index) lies within the file.
    bool present(std::uint32_t block) const
    {
        int failed = 0;
        const std::uint64_t offset = TIFFGetStrileOffsetWithErr(tif_, block, &failed);
        const std::uint64_t count = TIFFGetStrileByteCountWithErr(tif_, block, &failed);
        return !failed && offset <= reader_.fileSize() && count <= reader_.fileSize() - offset;
    }

    void checkCancelled() const
    {
        if (decodeCancelled()) {
            raise("decoding cancelled");
        }
    }

    void putRow(RowStretcher &stretcher, int y, const std::uint32_t *colours)
    {
        const bool premultiplied = premultiplied_;
        stretcher.putRow(y, [&](int x) { return overWhite(colours[x], premultiplied); });
    }

    using RowConverter = void (PageDrawer::*)(std::uint32_t y, const std::uint8_t *line, std::uint32_t *colours);

    // One stored row turned into colours by libtiff's RGBA reader.
    void rgbaRow(std::uint32_t y, const std::uint8_t *line, std::uint32_t *colours)
    {
        rgba_.img.put.contig(&rgba_.img, colours, 0, y, width_, 1, 0, 0, const_cast<std::uint8_t *>(line));
    }

    // One stored row of 16-bit CMYK (in host order once libtiff has read
    // it) turned into colours as libtiff turns 8-bit CMYK: each ink taken
    // off white, black over all three.
    void cmyk16(std::uint32_t, const std::uint8_t *line, std::uint32_t *colours)
    {
        const auto *samples = reinterpret_cast<const std::uint16_t *>(line);
        const auto to8 = [](std::uint16_t v) { return (std::uint32_t(v) * 255 + 32767) / 65535; };
        for (std::uint32_t x = 0; x < width_; ++x) {
            const std::uint16_t *ink = samples + std::size_t(x) * samples_;
            const std::uint32_t white = 255 - to8(ink[3]);
            const std::uint32_t r = white * (255 - to8(ink[0])) / 255;
            const std::uint32_t g = white * (255 - to8(ink[1])) / 255;
            const std::uint32_t b = white * (255 - to8(ink[2])) / 255;
            colours[x] = r | g << 8 | b << 16 | 0xFF000000u;
        }
    }

    void drawByRows(RowStretcher &stretcher, RowConverter convert)
    {
        const tmsize_t lineBytes = TIFFScanlineSize(tif_);
        if (lineBytes <= 0) {
            reader_.fail("bad scanline size");
        }
        std::uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(tif_, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        rowsPerStrip = std::clamp<std::uint32_t>(rowsPerStrip, 1, height_);
        std::vector<std::uint8_t> line(static_cast<std::size_t>(lineBytes));
        std::vector<std::uint32_t> colours(width_);
        std::uint32_t lastStrip = UINT32_MAX;
        std::uint32_t nextRead = 0;
        for (const int wanted : stretcher.rows()) {
            const auto y = static_cast<std::uint32_t>(wanted);
            const std::uint32_t strip = TIFFComputeStrip(tif_, y, 0);
            if (!present(strip)) {
                return; // the file ends early: what came before stays drawn
            }
            if (strip != lastStrip) {
                // Most codecs cannot seek within a strip: its rows are
                // decoded in order from the strip's first.
                nextRead = y - y % rowsPerStrip;
                lastStrip = strip;
                if (cost_) {
                    ++cost_->blocksRead;
                }
            }
            for (; nextRead <= y; ++nextRead) {
                checkCancelled();
                if (TIFFReadScanline(tif_, line.data(), nextRead, 0) < 0) {
                    reader_.fail("cannot read a row");
                }
            }
            (this->*convert)(y, line.data(), colours.data());
            if (cost_) {
                ++cost_->rowsConverted;
            }
            putRow(stretcher, wanted, colours.data());
        }
    }

    void drawByBands(RowStretcher &stretcher)
    {
        const bool tiled = TIFFIsTiled(tif_);
        std::uint32_t band = 0, tileWidth = 0;
        if (tiled) {
            TIFFGetField(tif_, TIFFTAG_TILEWIDTH, &tileWidth);
            TIFFGetField(tif_, TIFFTAG_TILELENGTH, &band);
        } else {
            TIFFGetFieldDefaulted(tif_, TIFFTAG_ROWSPERSTRIP, &band);
        }
        band = std::min(band, height_);
        if (band == 0 || (tiled && tileWidth == 0)) {
            reader_.fail("bad strip or tile size");
        }
        if (std::uint64_t(width_) * band * 4 > kTiffBandBytes) {
            raise("Strips or tiles too large");
        }
        std::vector<std::uint32_t> colours(std::size_t(width_) * band);
        const std::uint16_t planes = separate_ ? rgba_.img.samplesperpixel : 1;
        for (std::uint32_t top = 0; top < height_; top += band) {
            const std::uint32_t rows = std::min(band, height_ - top);
            const int first = stretcher.nextRow(static_cast<int>(top));
            if (first >= static_cast<int>(top + rows)) {
                continue;
            }
            checkCancelled();
            for (std::uint16_t plane = 0; plane < planes; ++plane) {
                for (std::uint32_t x = 0; x < (tiled ? width_ : 1); x += (tiled ? tileWidth : 1)) {
                    const std::uint32_t block = tiled ? TIFFComputeTile(tif_, x, top, 0, plane)
                                                      : TIFFComputeStrip(tif_, top, plane);
                    if (!present(block)) {
                        return; // the file ends early: what came before stays drawn
                    }
                    if (cost_) {
                        ++cost_->blocksRead;
                    }
                }
            }
            rgba_.img.row_offset = static_cast<int>(top);
            rgba_.img.col_offset = 0;
            if (!TIFFRGBAImageGet(&rgba_.img, colours.data(), width_, rows)) {
                reader_.fail("cannot read a strip or tile");
            }
            if (cost_) {
                cost_->rowsConverted += rows;
            }
            for (int y = first; y < static_cast<int>(top + rows); y = stretcher.nextRow(y + 1)) {
                putRow(stretcher, y, colours.data() + std::size_t(y - static_cast<int>(top)) * width_);
            }
        }
    }

    const TiffReader &reader_;
    TIFF *tif_;
    TiffCost *cost_;
    RgbaImage rgba_;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    bool separate_ = false;
    bool premultiplied_ = true;
    std::uint16_t samples_ = 1;
};

// A reduced-resolution page: where its directory is, and its size.
struct ReducedPage {
    std::uint64_t offset = 0;
    QSize size;
};

bool isReduced(TIFF *tif)
{
    std::uint32_t kind = 0;
    return TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &kind) && (kind & FILETYPE_REDUCEDIMAGE) != 0;
}

// The smallest reduced page whose sides cover fill and are below full's:
// among the first page's SubIFDs and the pages after it, a few at most.
// Leaves reader on that page's directory, or on the first page.
bool chooseReducedPage(const TiffReader &reader, QSize full, QSize fill)
{
    TIFF *tif = reader.tif();
    std::vector<std::uint64_t> subPages;
    std::uint16_t count = 0;
    std::uint64_t *offsets = nullptr;
    if (TIFFGetField(tif, TIFFTAG_SUBIFD, &count, &offsets) && offsets) {
        subPages.assign(offsets, offsets + std::min<int>(count, kTiffPagesSearched));
    }
    std::vector<ReducedPage> found;
    for (int page = 1; page < kTiffPagesSearched && TIFFReadDirectory(tif); ++page) {
        if (isReduced(tif)) {
            found.push_back({TIFFCurrentDirOffset(tif), pageSize(tif)});
        }
    }
    for (const std::uint64_t offset : subPages) {
        if (TIFFSetSubDirectory(tif, offset) && isReduced(tif)) {
            found.push_back({offset, pageSize(tif)});
        }
    }
    const ReducedPage *best = nullptr;
    for (const ReducedPage &page : found) {
        const bool fits = page.size.isValid() && page.size.width() >= fill.width() &&
                          page.size.height() >= fill.height() && page.size.width() < full.width() &&
                          page.size.height() < full.height();
        if (fits && (!best || page.size.width() < best->size.width())) {
            best = &page;
        }
    }
    if (best && TIFFSetSubDirectory(tif, best->offset)) {
        return true;
    }
    if (!TIFFSetDirectory(tif, 0)) {
        reader.fail("cannot return to the first page");
    }
    return false;
}

} // namespace

bool tiffWorkBelievable(std::uint64_t work, std::uint64_t fileBytes)
{
    return work <= kFreeTiffWork || (work - kFreeTiffWork) / kTiffWorkPerFileByte < fileBytes;
}

TiffHeader readTiffHeader(const TiffBytes &file)
{
    const TiffReader reader(file);
    TiffHeader header;
    const QSize size = pageSize(reader.tif());
    if (!size.isValid()) {
        raise("Invalid image size");
    }
    header.width = size.width();
    header.height = size.height();
    std::uint16_t photometric = 0;
    header.grayscale = TIFFGetField(reader.tif(), TIFFTAG_PHOTOMETRIC, &photometric) &&
                       (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE);
    std::uint16_t orientation = 1;
    if (TIFFGetField(reader.tif(), TIFFTAG_ORIENTATION, &orientation) && orientation >= 1 && orientation <= 8) {
        header.orientation = orientation;
    }
    return header;
}

void stretchTiff(const TiffBytes &file, QImage &target, const QRect &rect, TiffCost *cost)
{
    const TiffReader reader(file);
    PageDrawer(reader, cost).draw(target, rect);
}

void decodeTiff(const TiffBytes &file, TBitmap &into, QSize fill, TiffCost *cost)
{
    const TiffReader reader(file);
    const QSize full = pageSize(reader.tif());
    if (!full.isValid()) {
        raise("Invalid image size");
    }
    QSize page = full;
    if (fill.isValid() && chooseReducedPage(reader, full, fill)) {
        page = pageSize(reader.tif());
    }
    const QSize reduced = halvedToFill(page, fill);
    if (!pictureSizeAllowed(reduced.width(), reduced.height())) {
        raise("Image too large");
    }
    into.SetSize(reduced.width(), reduced.height());
    PageDrawer(reader, cost).draw(into.Canvas(), QRect(QPoint(0, 0), reduced));
}

} // namespace quillmere
