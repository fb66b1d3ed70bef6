#include "imaging/stretch.h"

#include "imaging/row_stretcher.h"

#include <algorithm>
#include <array>

namespace quillmere {

namespace {

constexpr QRgb kOpaque = 0xFF000000u;

// The colour table of an indexed image, padded with black to every index the
// format can hold, so that a pixel beyond the file's colour table is black.
std::array<QRgb, 256> paddedColourTable(const QImage &image)
{
    std::array<QRgb, 256> table;
    table.fill(kOpaque);
    const QList<QRgb> colours = image.colorTable();
    const int n = std::min<int>(static_cast<int>(colours.size()), 256);
    for (int i = 0; i < n; ++i) {
        table[static_cast<std::size_t>(i)] = colours[i] | kOpaque;
    }
    return table;
}

struct Rgb32Sampler {
    QRgb operator()(const uchar *line, int x) const { return reinterpret_cast<const QRgb *>(line)[x] | kOpaque; }
};
struct Bgr888Sampler {
    QRgb operator()(const uchar *line, int x) const
    {
        const uchar *p = line + 3 * x;
        return qRgb(p[2], p[1], p[0]);
    }
};
struct Indexed8Sampler {
    const std::array<QRgb, 256> &table;
    QRgb operator()(const uchar *line, int x) const { return table[line[x]]; }
};
struct MonoSampler {
    const std::array<QRgb, 256> &table;
    QRgb operator()(const uchar *line, int x) const { return table[(line[x >> 3] >> (7 - (x & 7))) & 1]; }
};

// Hands every row the stretcher reads from a whole picture to it.
template <class Sampler>
void stretchRows(const QImage &source, RowStretcher &stretcher, Sampler sample)
{
    for (int y = stretcher.nextRow(0); y < source.height(); y = stretcher.nextRow(y + 1)) {
        const uchar *line = source.constScanLine(y);
        stretcher.putRow(y, [&](int x) { return sample(line, x); });
    }
    stretcher.finish();
}

} // namespace

void stretchPixels(const QImage &source, int bitsPerPixel, QImage &target, const QRect &rect)
{
    if (source.isNull() || target.isNull() || rect.isEmpty()) {
        return;
    }
    switch (target.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        break;
    default:
        target = target.convertToFormat(QImage::Format_RGB32);
        break;
    }
    if (bitsPerPixel == 1 && source.format() == QImage::Format_Mono) {
        const std::array<QRgb, 256> table = paddedColourTable(source);
        RowStretcher stretcher(source.width(), source.height(), target, rect, RowStretcher::Mode::AndReduce);
        stretchRows(source, stretcher, MonoSampler{table});
        return;
    }
    RowStretcher stretcher(source.width(), source.height(), target, rect, RowStretcher::Mode::Nearest);
    switch (source.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        stretchRows(source, stretcher, Rgb32Sampler{});
        return;
    case QImage::Format_BGR888:
        stretchRows(source, stretcher, Bgr888Sampler{});
        return;
    case QImage::Format_Indexed8: {
        const std::array<QRgb, 256> table = paddedColourTable(source);
        stretchRows(source, stretcher, Indexed8Sampler{table});
        return;
    }
    case QImage::Format_Mono: {
        const std::array<QRgb, 256> table = paddedColourTable(source);
        stretchRows(source, stretcher, MonoSampler{table});
        return;
    }
    default: {
        // Formats the decoders never produce: let Qt bring them to ours.
        const QImage converted = source.convertToFormat(QImage::Format_RGB32);
        stretchRows(converted, stretcher, Rgb32Sampler{});
        return;
    }
    }
}

} // namespace quillmere
