#include "imaging/stretch.h"

#include <algorithm>
#include <array>
#include <vector>

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

// The part of the target that is written, and how target positions map back.
struct Placement {
    QRect clip;   // inside the target image
    QRect stretch; // the whole stretched rectangle
};

template <class Sampler>
void sampleNearest(const QImage &source, QImage &target, const Placement &place, Sampler sample)
{
    const int sw = source.width();
    const int sh = source.height();
    const int dw = place.stretch.width();
    const int dh = place.stretch.height();
    std::vector<int> columns(static_cast<std::size_t>(place.clip.width()));
    for (int x = place.clip.left(); x <= place.clip.right(); ++x) {
        columns[static_cast<std::size_t>(x - place.clip.left())] = nearestSourceIndex(x - place.stretch.left(), dw, sw);
    }
    for (int y = place.clip.top(); y <= place.clip.bottom(); ++y) {
        const uchar *line = source.constScanLine(nearestSourceIndex(y - place.stretch.top(), dh, sh));
        QRgb *out = reinterpret_cast<QRgb *>(target.scanLine(y)) + place.clip.left();
        for (const int sx : columns) {
            *out++ = sample(line, sx);
        }
    }
}

// The source span [first, last) that falls onto target position index: at
// least one pixel, and consecutive spans never overlap.
std::pair<int, int> sourceSpan(int index, int targetLength, int sourceLength)
{
    const int first = static_cast<int>(static_cast<long long>(index) * sourceLength / targetLength);
    const int last = static_cast<int>(static_cast<long long>(index + 1) * sourceLength / targetLength);
    return {first, std::max(last, first + 1)};
}

void andReduceMono(const QImage &source, QImage &target, const Placement &place)
{
    const std::array<QRgb, 256> table = paddedColourTable(source);
    const MonoSampler sample{table};
    const int sw = source.width();
    const int sh = source.height();
    const int dw = place.stretch.width();
    const int dh = place.stretch.height();
    for (int y = place.clip.top(); y <= place.clip.bottom(); ++y) {
        const auto [rowFirst, rowLast] = sourceSpan(y - place.stretch.top(), dh, sh);
        QRgb *out = reinterpret_cast<QRgb *>(target.scanLine(y));
        for (int x = place.clip.left(); x <= place.clip.right(); ++x) {
            const auto [colFirst, colLast] = sourceSpan(x - place.stretch.left(), dw, sw);
            QRgb combined = 0xFFFFFFFFu;
            for (int sy = rowFirst; sy < rowLast; ++sy) {
                const uchar *line = source.constScanLine(sy);
                for (int sx = colFirst; sx < colLast; ++sx) {
                    combined &= sample(line, sx);
                }
            }
            out[x] = combined | kOpaque;
        }
    }
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
    const Placement place{rect.intersected(target.rect()), rect};
    if (place.clip.isEmpty()) {
        return;
    }

    if (bitsPerPixel == 1 && source.format() == QImage::Format_Mono) {
        andReduceMono(source, target, place);
        return;
    }
    switch (source.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        sampleNearest(source, target, place, Rgb32Sampler{});
        return;
    case QImage::Format_BGR888:
        sampleNearest(source, target, place, Bgr888Sampler{});
        return;
    case QImage::Format_Indexed8: {
        const std::array<QRgb, 256> table = paddedColourTable(source);
        sampleNearest(source, target, place, Indexed8Sampler{table});
        return;
    }
    case QImage::Format_Mono: {
        const std::array<QRgb, 256> table = paddedColourTable(source);
        sampleNearest(source, target, place, MonoSampler{table});
        return;
    }
    default: {
        // Formats the decoders never produce: let Qt bring them to ours.
        const QImage converted = source.convertToFormat(QImage::Format_RGB32);
        sampleNearest(converted, target, place, Rgb32Sampler{});
        return;
    }
    }
}

} // namespace quillmere
