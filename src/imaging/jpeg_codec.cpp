#include "imaging/jpeg_codec.h"

#include "imaging/bitmap.h"
#include "imaging/picture_limits.h"
#include "imaging/pixel_buffer.h"
#include "platform/errors.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jerror.h>
#include <jpeglib.h>

namespace quillmere {

namespace {

constexpr std::size_t kReadChunk = 4096;
const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

struct SourceManager {
    jpeg_source_mgr pub;
    const JOCTET *data;
    std::size_t size;
    std::size_t position;
    bool started;
};

} // namespace

// libjpeg's callbacks. A fatal error jumps back to the setjmp of the function
// that made the library call (see below); these functions themselves hold
// nothing that needs cleaning up.
extern "C" {

static void quillmereJpegErrorExit(j_common_ptr cinfo)
{
    ErrorManager *error = reinterpret_cast<ErrorManager *>(cinfo->err);
    std::longjmp(error->jump, 1);
}

// Warnings and trace messages are dropped, and the library prints nothing.
static void quillmereJpegEmitMessage(j_common_ptr, int) {}
static void quillmereJpegOutputMessage(j_common_ptr) {}

static void quillmereJpegInitSource(j_decompress_ptr) {}
static void quillmereJpegTermSource(j_decompress_ptr) {}

static boolean quillmereJpegFillInput(j_decompress_ptr cinfo)
{
    SourceManager *source = reinterpret_cast<SourceManager *>(cinfo->src);
    if (source->position >= source->size) {
        if (!source->started) {
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        }
        // The data has run out: an end-of-image marker lets the decoder
        // finish with what it has received.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->pub.next_input_byte = kEndOfImage;
        source->pub.bytes_in_buffer = sizeof kEndOfImage;
        return TRUE;
    }
    const std::size_t chunk = std::min(kReadChunk, source->size - source->position);
    source->pub.next_input_byte = source->data + source->position;
    source->pub.bytes_in_buffer = chunk;
    source->position += chunk;
    source->started = true;
    return TRUE;
}

static void quillmereJpegSkipInput(j_decompress_ptr cinfo, long count)
{
    if (count <= 0) {
        return;
    }
    SourceManager *source = reinterpret_cast<SourceManager *>(cinfo->src);
    std::size_t left = static_cast<std::size_t>(count);
    while (left > source->pub.bytes_in_buffer) {
        left -= source->pub.bytes_in_buffer;
        source->pub.bytes_in_buffer = 0;
        const bool exhausted = source->position >= source->size;
        quillmereJpegFillInput(cinfo);
        if (exhausted) {
            // Nothing is left to skip over; the end marker comes next.
            return;
        }
    }
    source->pub.next_input_byte += left;
    source->pub.bytes_in_buffer -= left;
}

// Every scan of a multi-scan file passes over the whole picture, so a small
// file of thousands of tiny scans could keep the decoder busy for minutes.
static void quillmereJpegProgress(j_common_ptr cinfo)
{
    if (cinfo->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxJpegScans) {
        ERREXIT(cinfo, JERR_NOTIMPL);
    }
}

} // extern "C"

namespace {

// One libjpeg decompressor over bytes in memory. The object stays where it
// was made (the library keeps pointers into it) and releases the library's
// memory when it goes, whether or not the decoding got through.
class Decompressor {
public:
    Decompressor(const std::uint8_t *data, std::size_t size)
    {
        std::memset(&cinfo, 0, sizeof cinfo);
        std::memset(&error, 0, sizeof error);
        jpeg_std_error(&error.pub);
        error.pub.error_exit = quillmereJpegErrorExit;
        error.pub.emit_message = quillmereJpegEmitMessage;
        error.pub.output_message = quillmereJpegOutputMessage;
        cinfo.err = &error.pub;

        std::memset(&source, 0, sizeof source);
        source.pub.init_source = quillmereJpegInitSource;
        source.pub.fill_input_buffer = quillmereJpegFillInput;
        source.pub.skip_input_data = quillmereJpegSkipInput;
        source.pub.resync_to_restart = jpeg_resync_to_restart;
        source.pub.term_source = quillmereJpegTermSource;
        source.data = data;
        source.size = size;

        std::memset(&progress, 0, sizeof progress);
        progress.progress_monitor = quillmereJpegProgress;
    }
    ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
    Decompressor(const Decompressor &) = delete;
    Decompressor &operator=(const Decompressor &) = delete;

    // The library clears the structure when it creates the decompressor, so
    // the source and the progress monitor are attached afterwards.
    void attach()
    {
        cinfo.src = &source.pub;
        cinfo.progress = &progress;
        // Bounds the coefficient buffers of multi-scan files: 8 bytes a pixel
        // covers four components at full resolution.
        cinfo.mem->max_memory_to_use = static_cast<long>(maxPicturePixels() * 8);
    }

    [[noreturn]] void raise() const
    {
        throw EJPEG(QStringLiteral("JPEG error #%1").arg(error.pub.msg_code));
    }

    jpeg_decompress_struct cinfo;
    ErrorManager error;
    SourceManager source;
    jpeg_progress_mgr progress;
};

// Each function below owns the setjmp for the library calls it makes: a fatal
// error jumps back into the same function, which then returns false. They
// hold nothing with a destructor, so the jump skips no C++ cleanup; their
// callers turn the failure into EJPEG once back in ordinary C++ frames.

bool runReadHeader(Decompressor &d, JpegHeader &header)
{
    if (setjmp(d.error.jump) != 0) {
        return false;
    }
    jpeg_create_decompress(&d.cinfo);
    d.attach();
    jpeg_read_header(&d.cinfo, TRUE);
    header.width = static_cast<int>(d.cinfo.image_width);
    header.height = static_cast<int>(d.cinfo.image_height);
    header.grayscale = d.cinfo.jpeg_color_space == JCS_GRAYSCALE;
    header.progressive = jpeg_has_multiple_scans(&d.cinfo) != 0;
    return true;
}

bool runStartDecoding(Decompressor &d)
{
    if (setjmp(d.error.jump) != 0) {
        return false;
    }
    jpeg_create_decompress(&d.cinfo);
    d.attach();
    jpeg_read_header(&d.cinfo, TRUE);
    if (!pictureSizeAllowed(d.cinfo.image_width, d.cinfo.image_height)) {
        ERREXIT(&d.cinfo, JERR_IMAGE_TOO_BIG);
    }
    d.cinfo.scale_num = 1;
    d.cinfo.scale_denom = 1;
    d.cinfo.do_block_smoothing = TRUE;
    d.cinfo.buffered_image = FALSE;
    switch (d.cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
        d.cinfo.out_color_space = JCS_GRAYSCALE;
        d.cinfo.quantize_colors = TRUE;
        d.cinfo.desired_number_of_colors = kMaxJpegColours;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        // The library delivers CMYK; it is turned into RGB row by row.
        d.cinfo.out_color_space = JCS_CMYK;
        break;
    default:
        // Blue, green, red, pad: the byte order of a 32-bit RGB QImage.
        d.cinfo.out_color_space = JCS_EXT_BGRX;
        break;
    }
    jpeg_start_decompress(&d.cinfo);
    return true;
}

// CMYK samples to opaque RGB, in place (both take four bytes a pixel). Adobe
// writes CMYK files with every sample inverted, so there a full sample means
// no ink; without the Adobe marker the samples are taken as they are.
void cmykRowToRgb(JSAMPROW row, JDIMENSION width, bool inverted)
{
    QRgb *out = reinterpret_cast<QRgb *>(row);
    for (JDIMENSION x = 0; x < width; ++x) {
        const JSAMPLE *p = row + 4 * x;
        unsigned c = p[0];
        unsigned m = p[1];
        unsigned y = p[2];
        unsigned k = p[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[x] = qRgb(static_cast<int>((c * k + 127) / 255), static_cast<int>((m * k + 127) / 255),
                      static_cast<int>((y * k + 127) / 255));
    }
}

bool runReadRows(Decompressor &d, JSAMPROW *rows)
{
    if (setjmp(d.error.jump) != 0) {
        return false;
    }
    const bool cmyk = d.cinfo.out_color_space == JCS_CMYK;
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        const JDIMENSION first = d.cinfo.output_scanline;
        // Rows lie at increasing addresses a multiple of 4 bytes apart, so
        // the recommended number of rows goes in each call.
        const JDIMENSION wanted =
            std::min<JDIMENSION>(static_cast<JDIMENSION>(d.cinfo.rec_outbuf_height), d.cinfo.output_height - first);
        const JDIMENSION got = jpeg_read_scanlines(&d.cinfo, rows + first, wanted);
        if (cmyk) {
            for (JDIMENSION i = 0; i < got; ++i) {
                cmykRowToRgb(rows[first + i], d.cinfo.output_width, d.cinfo.saw_Adobe_marker != 0);
            }
        }
        if (got == 0) {
            break;
        }
    }
    jpeg_finish_decompress(&d.cinfo);
    return true;
}

} // namespace

JpegHeader readJpegHeader(const std::uint8_t *data, std::size_t size)
{
    Decompressor d(data, size);
    JpegHeader header;
    if (!runReadHeader(d, header)) {
        d.raise();
    }
    return header;
}

void decodeJpeg(const std::uint8_t *data, std::size_t size, TBitmap &into)
{
    Decompressor d(data, size);
    if (!runStartDecoding(d)) {
        d.raise();
    }

    const bool indexed = d.cinfo.out_color_space == JCS_GRAYSCALE;
    const int width = static_cast<int>(d.cinfo.output_width);
    const int height = static_cast<int>(d.cinfo.output_height);
    QImage image = makePixelImage(width, height, indexed ? QImage::Format_Indexed8 : QImage::Format_RGB32, false);
    QList<QRgb> palette;
    if (indexed && d.cinfo.colormap != nullptr) {
        for (int i = 0; i < d.cinfo.actual_number_of_colors; ++i) {
            const int grey = d.cinfo.colormap[0][i];
            palette.append(qRgb(grey, grey, grey));
        }
    }

    std::vector<JSAMPROW> rows(static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
        rows[static_cast<std::size_t>(y)] = image.scanLine(y);
    }
    const bool complete = runReadRows(d, rows.data());
    if (!complete) {
        // Rows the decoder never finished would show whatever the reused
        // buffer held before; they are made black instead.
        for (int y = static_cast<int>(d.cinfo.output_scanline); y < height; ++y) {
            if (indexed) {
                std::memset(rows[static_cast<std::size_t>(y)], 0, static_cast<std::size_t>(width));
            } else {
                QRgb *line = reinterpret_cast<QRgb *>(rows[static_cast<std::size_t>(y)]);
                std::fill(line, line + width, qRgb(0, 0, 0));
            }
        }
    }
    into.SetPixels(std::move(image), indexed ? 8 : 32, std::move(palette));
    if (!complete) {
        d.raise();
    }
}

} // namespace quillmere
