#include "imaging/jpeg_codec.h"

#include "imaging/bitmap.h"
#include "imaging/jpeg_decompressor.h"
#include "imaging/jpeg_evidence.h"
#include "imaging/jpeg_scans.h"
#include "imaging/picture_limits.h"
#include "imaging/pixel_buffer.h"
#include "imaging/row_stretcher.h"

#include <QImage>
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include <jerror.h>

namespace quillmere {

namespace {

// Every picture, with what libjpeg needs to make it, stays within the pixel
// cap at four bytes a pixel.
std::uint64_t memoryCap()
{
    return maxPicturePixels() * 4;
}

std::uint64_t roundUp(std::uint64_t value, std::uint64_t multiple)
{
    return multiple == 0 ? value : (value + multiple - 1) / multiple * multiple;
}

// What decoding a multi-scan file will cost, from the frame header and the
// scans its markers announce. Called inside a setjmp'd function but makes no
// library call, so its vector never meets a longjmp.
JpegScanCost multiScanCost(const JpegDecompressor &d, std::size_t &scanCount)
{
    const jpeg_decompress_struct &cinfo = d.cinfo;
    const auto scans = listJpegScans(d.source.data, d.source.size, kMaxJpegScans);
    scanCount = scans.size();
    JpegScanCost cost;
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info &component = cinfo.comp_info[c];
        cost.coefficientBytes += roundUp(component.width_in_blocks, static_cast<std::uint64_t>(component.h_samp_factor)) *
            roundUp(component.height_in_blocks, static_cast<std::uint64_t>(component.v_samp_factor)) * sizeof(JBLOCK);
    }
    for (const std::vector<int> &scan : scans) {
        for (const int id : scan) {
            for (int c = 0; c < cinfo.num_components; ++c) {
                const jpeg_component_info &component = cinfo.comp_info[c];
                if (component.component_id == id) {
                    cost.blockVisits +=
                        static_cast<std::uint64_t>(component.width_in_blocks) * component.height_in_blocks;
                    break;
                }
            }
        }
    }
    return cost;
}

// The smallest DCT scale (n/8) whose output covers fill; full size when
// fill is empty or no smaller scale covers it.
void chooseScale(j_decompress_ptr cinfo, QSize fill)
{
    cinfo->scale_denom = 8;
    for (unsigned n = 1; n <= 8; ++n) {
        cinfo->scale_num = n;
        jpeg_calc_output_dimensions(cinfo);
        if (!fill.isEmpty() && cinfo->output_width >= static_cast<JDIMENSION>(fill.width()) &&
            cinfo->output_height >= static_cast<JDIMENSION>(fill.height())) {
            return;
        }
    }
    cinfo->scale_num = 1;
    cinfo->scale_denom = 1;
}

bool runReadHeader(JpegDecompressor &d, JpegHeader &header)
{
    if (setjmp(d.error.jump) != 0) {
        return false;
    }
    d.create(memoryCap());
    jpeg_read_header(&d.cinfo, TRUE);
    header.width = static_cast<int>(d.cinfo.image_width);
    header.height = static_cast<int>(d.cinfo.image_height);
    header.grayscale = d.cinfo.jpeg_color_space == JCS_GRAYSCALE;
    header.progressive = jpeg_has_multiple_scans(&d.cinfo) != 0;
    return true;
}

// Reads the header, refuses what would cost too much, makes the decoding
// choices and starts the decompressor. wholePicture: the caller holds the
// whole output picture, and libjpeg gets what the cap leaves of it;
// otherwise the caller holds one row.
bool runStartDecoding(JpegDecompressor &d, QSize fill, bool wholePicture)
{
    if (setjmp(d.error.jump) != 0) {
        return false;
    }
    d.create(memoryCap());
    jpeg_read_header(&d.cinfo, TRUE);
    if (!pictureSizeAllowed(d.cinfo.image_width, d.cinfo.image_height)) {
        ERREXIT(&d.cinfo, JERR_IMAGE_TOO_BIG);
    }
    if (jpeg_has_multiple_scans(&d.cinfo)) {
        // Too many scans, or a cost out of proportion to the file: refused
        // before the coefficient buffer is taken or any scan decoded.
        std::size_t scans = 0;
        const JpegScanCost cost = multiScanCost(d, scans);
        if (scans > static_cast<std::size_t>(kMaxJpegScans)) {
            ERREXIT(&d.cinfo, JERR_NOTIMPL);
        }
        if (!scanCostBelievable(cost, d.source.size)) {
            ERREXIT(&d.cinfo, JERR_IMAGE_TOO_BIG);
        }
    }
    d.cinfo.do_block_smoothing = TRUE;
    d.cinfo.buffered_image = FALSE;
    switch (d.cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
        d.cinfo.out_color_space = JCS_GRAYSCALE;
        d.cinfo.quantize_colors = TRUE;
        d.cinfo.desired_number_of_colors = kMaxJpegColours;
        // One-component output is always quantized in one pass; saying so
        // lets jpeg_skip_scanlines, which refuses two-pass quantizing, run.
        d.cinfo.two_pass_quantize = FALSE;
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
    chooseScale(&d.cinfo, fill);
    if (!wholePicture && d.cinfo.quantize_colors &&
        !ditheredRowsBelievable(static_cast<std::uint64_t>(d.cinfo.output_width) * d.cinfo.output_height,
                                d.source.size)) {
        ERREXIT(&d.cinfo, JERR_IMAGE_TOO_BIG);
    }
    const std::uint64_t bytesPerPixel = d.cinfo.out_color_space == JCS_GRAYSCALE ? 1 : 4;
    const std::uint64_t rowBytes = roundUp(d.cinfo.output_width * bytesPerPixel, 4);
    const std::uint64_t outputBytes = wholePicture ? rowBytes * d.cinfo.output_height : rowBytes;
    if (outputBytes >= memoryCap()) {
        ERREXIT(&d.cinfo, JERR_IMAGE_TOO_BIG);
    }
    d.setMemoryLimit(memoryCap() - outputBytes);
    jpeg_start_decompress(&d.cinfo);
    return true;
}

// CMYK samples to opaque RGB. Adobe writes CMYK files with every sample
// inverted, so there a full sample means no ink; without the Adobe marker the
// samples are taken as they are.
QRgb cmykToRgb(const JSAMPLE *p, bool inverted)
{
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
    return qRgb(static_cast<int>((c * k + 127) / 255), static_cast<int>((m * k + 127) / 255),
                static_cast<int>((y * k + 127) / 255));
}

// A row of CMYK samples to RGB in place (both take four bytes a pixel).
void cmykRowToRgb(JSAMPROW row, JDIMENSION width, bool inverted)
{
    QRgb *out = reinterpret_cast<QRgb *>(row);
    for (JDIMENSION x = 0; x < width; ++x) {
        out[x] = cmykToRgb(row + 4 * x, inverted);
    }
}

bool runReadRows(JpegDecompressor &d, JSAMPROW *rows, JpegCost &cost)
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
        cost.rowsDecoded += got;
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

// The colours of an indexed output row: the library's grey levels, then
// black for every index beyond them, as a decoded bitmap's colour table has.
std::array<QRgb, 256> greyTable(const jpeg_decompress_struct &cinfo)
{
    std::array<QRgb, 256> table;
    table.fill(qRgb(0, 0, 0));
    if (cinfo.colormap != nullptr) {
        for (int i = 0; i < std::min(cinfo.actual_number_of_colors, 256); ++i) {
            const int grey = cinfo.colormap[0][i];
            table[static_cast<std::size_t>(i)] = qRgb(grey, grey, grey);
        }
    }
    return table;
}

// Decodes the rows the stretcher reads, one at a time into row, and skips
// the others where the output allows: the dither of grayscale output carries
// its error from each row into the next, so there every row up to the last
// one read goes through the library's whole output path.
bool runStretchRows(JpegDecompressor &d, RowStretcher &stretcher, JSAMPLE *row, const std::array<QRgb, 256> &greys,
                    JpegCost &cost)
{
    if (setjmp(d.error.jump) != 0) {
        return false;
    }
    jpeg_decompress_struct &cinfo = d.cinfo;
    const bool dithered = cinfo.quantize_colors != 0;
    const bool cmyk = cinfo.out_color_space == JCS_CMYK;
    const bool inverted = cinfo.saw_Adobe_marker != 0;
    const JDIMENSION height = cinfo.output_height;
    while (cinfo.output_scanline < height) {
        const JDIMENSION wanted = static_cast<JDIMENSION>(stretcher.nextRow(static_cast<int>(cinfo.output_scanline)));
        if (wanted >= height || (!dithered && wanted > cinfo.output_scanline)) {
            // Nothing more is read, or the rows up to the next one read are
            // not needed for anything.
            jpeg_skip_scanlines(&cinfo, std::min(wanted, height) - cinfo.output_scanline);
            continue;
        }
        JSAMPROW rows[1] = {row};
        if (jpeg_read_scanlines(&cinfo, rows, 1) != 1) {
            break;
        }
        ++cost.rowsDecoded;
        const int y = static_cast<int>(cinfo.output_scanline) - 1;
        if (y != static_cast<int>(wanted)) {
            continue;
        }
        if (dithered) {
            stretcher.putRow(y, [&](int x) { return greys[row[x]]; });
        } else if (cmyk) {
            stretcher.putRow(y, [&](int x) { return cmykToRgb(row + 4 * x, inverted); });
        } else {
            const QRgb *pixels = reinterpret_cast<const QRgb *>(row);
            stretcher.putRow(y, [&](int x) { return pixels[x] | 0xFF000000u; });
        }
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

} // namespace

JpegHeader readJpegHeader(const std::uint8_t *data, std::size_t size)
{
    JpegDecompressor d(data, size);
    JpegHeader header;
    if (!runReadHeader(d, header)) {
        d.raise();
    }
    return header;
}

void decodeJpeg(const std::uint8_t *data, std::size_t size, TBitmap &into, QSize fill, JpegCost *cost)
{
    JpegCost spent;
    JpegDecompressor d(data, size);
    const auto report = [&] {
        spent.libraryPeakBytes = d.peakMemory();
        if (cost != nullptr) {
            *cost = spent;
        }
    };
    if (!runStartDecoding(d, fill, true)) {
        report();
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
    const bool complete = runReadRows(d, rows.data(), spent);
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
    report();
    if (!complete) {
        d.raise();
    }
}

void stretchJpeg(const std::uint8_t *data, std::size_t size, QImage &target, const QRect &rect, JpegCost *cost)
{
    JpegCost spent;
    JpegDecompressor d(data, size);
    const auto report = [&] {
        spent.libraryPeakBytes = d.peakMemory();
        if (cost != nullptr) {
            *cost = spent;
        }
    };
    if (!runStartDecoding(d, QSize(), false)) {
        report();
        d.raise();
    }
    const std::size_t bytesPerPixel = d.cinfo.out_color_space == JCS_GRAYSCALE ? 1 : 4;
    std::vector<JSAMPLE> row(static_cast<std::size_t>(d.cinfo.output_width) * bytesPerPixel);
    const std::array<QRgb, 256> greys = greyTable(d.cinfo);
    RowStretcher stretcher(static_cast<int>(d.cinfo.output_width), static_cast<int>(d.cinfo.output_height), target,
                           rect, RowStretcher::Mode::Nearest);
    const bool complete = runStretchRows(d, stretcher, row.data(), greys, spent);
    report();
    if (!complete) {
        d.raise();
    }
}

} // namespace quillmere
