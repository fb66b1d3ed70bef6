#include "imaging/picture_fingerprint.h"

#include "imaging/bitmap.h"
#include "imaging/byte_source.h"
#include "imaging/fingerprint_layout.h"
#include "imaging/jpeg_decoder_input.h"
#include "imaging/jpeg_format.h"
#include "imaging/picture_content.h"
#include "imaging/picture_format.h"

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <exception>
#include <new>
#include <numbers>
#include <vector>
#include <xxhash.h>

namespace quillmere {

namespace {

constexpr int N = kFingerprintGrid;

// The picture averaged over an N x N grid, per channel: Y, Cb, Cr.
struct Grid {
    std::array<std::array<double, N * N>, 3> channel {};
};

// How the source pixels of one axis spread over the grid's cells, when the
// grid covers the window [start, start + length) of the axis: pixel i
// covers [i, i + 1), cell c covers [start + c * length / N, start + (c + 1)
// * length / N); a pixel lies in one cell or straddles two (cells are at
// least a pixel wide), and a pixel on the window's edge counts only with
// its share inside.
struct AxisSpread {
    std::vector<int> firstCell; // -1: outside the window
    std::vector<double> firstShare;
    std::vector<double> secondShare; // goes to firstCell + 1
};

AxisSpread spreadOf(int size, double start, double length)
{
    AxisSpread spread;
    spread.firstCell.assign(size, -1);
    spread.firstShare.assign(size, 0.0);
    spread.secondShare.assign(size, 0.0);
    const double cellSide = length / N;
    for (int i = 0; i < size; ++i) {
        const double from = std::max(i - start, 0.0);
        const double to = std::min(i + 1 - start, length);
        if (to <= from) {
            continue;
        }
        const int cell = std::min(N - 1, static_cast<int>(from / cellSide));
        const double end = cell == N - 1 ? length : (cell + 1) * cellSide;
        spread.firstCell[i] = cell;
        spread.firstShare[i] = std::min(to, end) - from;
        spread.secondShare[i] = std::max(0.0, to - end);
    }
    return spread;
}

// Area averaging over the central window that leaves `margin` of each side
// out, so that the grid of a resized copy is the grid of the original up to
// the resampling's own blur, and the grid of a copy cropped by `margin` is
// the grid of the original's window.
Grid gridOf(const QImage &image, double margin)
{
    const int width = image.width();
    const int height = image.height();
    const double windowWidth = width * (1 - 2 * margin);
    const double windowHeight = height * (1 - 2 * margin);
    const AxisSpread across = spreadOf(width, width * margin, windowWidth);
    const AxisSpread down = spreadOf(height, height * margin, windowHeight);
    Grid grid;
    std::vector<double> row(3 * N);
    for (int y = 0; y < height; ++y) {
        const int rowCell = down.firstCell[y];
        if (rowCell < 0) {
            continue;
        }
        std::fill(row.begin(), row.end(), 0.0);
        const auto *pixels = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const int cell = across.firstCell[x];
            if (cell < 0) {
                continue;
            }
            const double r = qRed(pixels[x]);
            const double g = qGreen(pixels[x]);
            const double b = qBlue(pixels[x]);
            const double yuv[3] = {0.299 * r + 0.587 * g + 0.114 * b, -0.168736 * r - 0.331264 * g + 0.5 * b,
                                   0.5 * r - 0.418688 * g - 0.081312 * b};
            const double share = across.firstShare[x];
            const double rest = across.secondShare[x];
            for (int c = 0; c < 3; ++c) {
                row[c * N + cell] += share * yuv[c];
                if (rest > 0) {
                    row[c * N + cell + 1] += rest * yuv[c];
                }
            }
        }
        const double share = down.firstShare[y];
        const double rest = down.secondShare[y];
        for (int c = 0; c < 3; ++c) {
            for (int i = 0; i < N; ++i) {
                grid.channel[c][rowCell * N + i] += share * row[c * N + i];
                if (rest > 0) {
                    grid.channel[c][(rowCell + 1) * N + i] += rest * row[c * N + i];
                }
            }
        }
    }
    const double area = (windowWidth / N) * (windowHeight / N);
    for (auto &channel : grid.channel) {
        for (double &value : channel) {
            value /= area;
        }
    }
    return grid;
}

// The DCT-II basis, scaled so that frequency (0, 0) of a grid is its mean:
// basis[k][x] = a(k) cos(pi (2x + 1) k / 2N), a(0) = 1 / N, a(k) = sqrt(2) / N
// on each axis, so that the two-dimensional frequency is
// sum basis[u][x] * basis[v][y] * f(x, y) times N.
struct Basis {
    std::array<std::array<double, N>, kLumaSide> row {};
    Basis()
    {
        for (int k = 0; k < kLumaSide; ++k) {
            for (int x = 0; x < N; ++x) {
                const double scale = k == 0 ? 1.0 : std::numbers::sqrt2;
                row[k][x] = scale * std::cos(std::numbers::pi * (2 * x + 1) * k / (2.0 * N)) / N;
            }
        }
    }
};

// The lowest side x side frequencies of one channel; [v][u].
std::vector<double> lowFrequencies(const std::array<double, N * N> &values, int side)
{
    static const Basis basis;
    // Along the rows first, then down the columns.
    std::vector<double> along(static_cast<std::size_t>(N) * side);
    for (int y = 0; y < N; ++y) {
        for (int u = 0; u < side; ++u) {
            double sum = 0;
            for (int x = 0; x < N; ++x) {
                sum += basis.row[u][x] * values[y * N + x];
            }
            along[y * side + u] = sum;
        }
    }
    std::vector<double> frequencies(static_cast<std::size_t>(side) * side);
    for (int v = 0; v < side; ++v) {
        for (int u = 0; u < side; ++u) {
            double sum = 0;
            for (int y = 0; y < N; ++y) {
                sum += basis.row[v][y] * along[y * side + u];
            }
            frequencies[v * side + u] = sum;
        }
    }
    return frequencies;
}

std::int8_t levelByte(double value)
{
    return static_cast<std::int8_t>(std::clamp(std::lround(value), -127L, 127L));
}

// The hash of the small decode's pixels, with its size.
std::uint64_t exactKeyOf(const QImage &image)
{
    XXH3_state_t *state = XXH3_createState();
    if (state == nullptr) {
        throw std::bad_alloc();
    }
    XXH3_64bits_reset(state);
    const int size[2] = {image.width(), image.height()};
    XXH3_64bits_update(state, size, sizeof size);
    for (int y = 0; y < image.height(); ++y) {
        XXH3_64bits_update(state, image.constScanLine(y), static_cast<std::size_t>(image.width()) * 4);
    }
    const std::uint64_t key = XXH3_64bits_digest(state);
    XXH3_freeState(state);
    return key;
}

} // namespace

namespace {

// The form of the grid: its low frequencies, luma scaled to one norm.
FingerprintForm formOf(const Grid &grid)
{
    FingerprintForm form;
    const std::vector<double> luma = lowFrequencies(grid.channel[0], kLumaSide);
    double norm = 0;
    for (std::size_t i = 1; i < luma.size(); ++i) {
        norm += luma[i] * luma[i];
    }
    norm = std::sqrt(norm);
    for (std::size_t i = 1; i < luma.size(); ++i) {
        form.luma[i - 1] = norm > 0 ? static_cast<std::int16_t>(std::lround(luma[i] / norm * kLumaUnit)) : 0;
    }
    form.meanLuma = static_cast<std::uint16_t>(std::clamp(std::lround(luma[0] * 256), 0L, 65535L));
    form.contrast = static_cast<std::uint16_t>(std::clamp(std::lround(norm * 16), 0L, 65535L));

    const std::vector<double> cb = lowFrequencies(grid.channel[1], kChromaSide);
    const std::vector<double> cr = lowFrequencies(grid.channel[2], kChromaSide);
    for (int i = 0; i < kChromaCoefficients; ++i) {
        form.cb[i] = levelByte(cb[i]);
        form.cr[i] = levelByte(cr[i]);
    }
    return form;
}

} // namespace

PictureFingerprint FingerprintOfUpright(const TBitmap &upright)
{
    QImage image = upright.ToDisplayImage().convertToFormat(QImage::Format_RGB32);
    PictureFingerprint fingerprint;
    if (image.isNull()) {
        return fingerprint;
    }
    // Every grid cell, of the inner window too, at least a pixel wide, as
    // the averaging assumes.
    const int least = static_cast<int>(std::ceil(N / (1 - 2 * kInnerMargin)));
    if (image.width() < least || image.height() < least) {
        image = image.scaled(std::max(image.width(), least), std::max(image.height(), least));
    }
    FingerprintLayout layout;
    layout.whole = formOf(gridOf(image, 0));
    layout.inner = formOf(gridOf(image, kInnerMargin));
    Pack(layout, fingerprint);
    fingerprint.exactKey = exactKeyOf(image);
    return fingerprint;
}

std::optional<FingerprintedFile> FingerprintPictureFile(const std::string &path)
{
    try {
        const PictureFormat *format = PictureFormatOfContent(path);
        if (format == nullptr) {
            return std::nullopt;
        }
        const std::optional<QSize> size = UprightPictureSize(path);
        if (!size || size->isEmpty()) {
            return std::nullopt;
        }
        const TBitmap small =
            UprightSmallDecode(*format, path, QSize(kFingerprintDecodeSide, kFingerprintDecodeSide));
        if (small.Width() <= 0 || small.Height() <= 0) {
            return std::nullopt;
        }
        return FingerprintedFile {FingerprintOfUpright(small), *size};
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

int FingerprintSimilarity(const PictureFingerprint &a, const PictureFingerprint &b, bool turns)
{
    return KeySimilarity(KeyOf(a, turns), KeyOf(b, turns), turns);
}

namespace {

// The upright picture at full size, 32-bit with alpha; null when it cannot
// be decoded.
QImage fullUpright(const std::string &path, QSize size)
{
    const PictureFormat *format = PictureFormatOfContent(path);
    if (format == nullptr) {
        return {};
    }
    const TBitmap bitmap = UprightSmallDecode(*format, path, size);
    if (bitmap.Width() != size.width() || bitmap.Height() != size.height()) {
        return {};
    }
    return bitmap.ToDisplayImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

bool SameJpegPicture(const std::string &pathA, const std::string &pathB)
{
    try {
        const PictureFormat &jpeg = jpegFormat();
        if (PictureFormatOfContent(pathA) != &jpeg || PictureFormatOfContent(pathB) != &jpeg
            || OrientationOf(jpeg, pathA) != OrientationOf(jpeg, pathB)) {
            return false;
        }
        const auto a = JpegDecoderInput(readWholeFile(pathA));
        if (!a) {
            return false;
        }
        const auto b = JpegDecoderInput(readWholeFile(pathB));
        return b && *a == *b;
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &) {
        return false;
    }
}

std::optional<PixelDigest> UprightPixelsDigest(const std::string &path)
{
    try {
        const std::optional<QSize> size = UprightPictureSize(path);
        if (!size || size->isEmpty()) {
            return std::nullopt;
        }
        const QImage pixels = fullUpright(path, *size);
        if (pixels.isNull()) {
            return std::nullopt;
        }
        const std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(), &XXH3_freeState);
        if (!state) {
            throw std::bad_alloc();
        }
        XXH3_128bits_reset(state.get());
        const std::size_t rowBytes = static_cast<std::size_t>(pixels.width()) * 4;
        for (int y = 0; y < pixels.height(); ++y) {
            XXH3_128bits_update(state.get(), pixels.constScanLine(y), rowBytes);
        }
        const XXH128_hash_t hash = XXH3_128bits_digest(state.get());
        return PixelDigest {pixels.size(), hash.low64, hash.high64};
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

bool UprightPixelsEqual(const std::string &pathA, const std::string &pathB)
{
    try {
        const std::optional<QSize> sizeA = UprightPictureSize(pathA);
        const std::optional<QSize> sizeB = UprightPictureSize(pathB);
        if (!sizeA || !sizeB || *sizeA != *sizeB || sizeA->isEmpty()) {
            return false;
        }
    } catch (const std::bad_alloc &) {
        throw;
    } catch (const std::exception &) {
        return false;
    }
    if (SameJpegPicture(pathA, pathB)) {
        return true;
    }
    // One picture at a time is decoded and let go of.
    const std::optional<PixelDigest> a = UprightPixelsDigest(pathA);
    return a && a == UprightPixelsDigest(pathB);
}

} // namespace quillmere
