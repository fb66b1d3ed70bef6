#include "imaging/fingerprint_layout.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace quillmere {

namespace {
// Below this norm (in levels, times 16) a picture is flat: its luma shape
// says nothing and only its brightness and colour count.
constexpr int kFlatContrast = 16 * 2;
} // namespace

FingerprintLayout Unpack(const PictureFingerprint &fingerprint)
{
    FingerprintLayout layout;
    std::memcpy(&layout, fingerprint.data.data(), sizeof layout);
    return layout;
}

void Pack(const FingerprintLayout &layout, PictureFingerprint &fingerprint)
{
    fingerprint.data.fill(0);
    std::memcpy(fingerprint.data.data(), &layout, sizeof layout);
}

std::uint64_t LumaHash(const FingerprintLayout &layout)
{
    std::uint64_t hash = 0;
    if (layout.contrast < kFlatContrast) {
        return hash; // no shape: every flat picture in one place
    }
    for (int v = 0; v < kHashSide; ++v) {
        for (int u = 0; u < kHashSide; ++u) {
            if ((u != 0 || v != 0) && layout.luma[v * kLumaSide + u - 1] > 0) {
                hash |= std::uint64_t {1} << (v * kHashSide + u);
            }
        }
    }
    return hash;
}

namespace {

// The 8 x 8 bit matrix transposed (bit v * 8 + u to bit u * 8 + v), by
// three swaps of ever smaller blocks.
std::uint64_t transposeBits(std::uint64_t x)
{
    std::uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
    x ^= t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
    x ^= t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
    x ^= t ^ (t << 28);
    return x;
}

// Bits whose horizontal (u) or vertical (v) frequency is odd.
constexpr std::uint64_t kOddColumns = 0xAAAAAAAAAAAAAAAAull;
constexpr std::uint64_t kOddRows = 0xFF00FF00FF00FF00ull;

// The sign a mirroring gives frequency (u, v) in variant t.
int variantSign(int u, int v, int variant)
{
    const bool negate = ((variant & 1) != 0 && (u & 1) != 0) != ((variant & 2) != 0 && (v & 1) != 0);
    return negate ? -1 : 1;
}

// Frequency (u, v) of variant t is frequency (su, sv) of the picture, signed.
void variantSource(int u, int v, int variant, int &su, int &sv)
{
    su = (variant & 4) != 0 ? v : u;
    sv = (variant & 4) != 0 ? u : v;
}

// Fingerprints kept apart by their hashes score no more than this, below
// every level the search offers.
constexpr int kGatedScore = 50;

// How each measure costs similarity points. Every measure is free up to
// what the changes a copy goes through (scaling, lossy coding, a crop of a
// few percent, 10% lighter or darker) move it, and costs beyond.
constexpr double kShapeWeight = 0.6;
constexpr double kBrightnessFloor = 64.0;
constexpr double kBrightnessFree = 0.12;
constexpr double kBrightnessWeight = 100.0;
constexpr double kContrastFree = 0.15;
constexpr double kContrastWeight = 50.0;
constexpr double kColourFree = 4.0;
constexpr double kColourWeight = 1.0;

// How far (in kLumaUnit) the lowest frequencies may move under a copy's
// changes; within it a standing form is taken as possible.
constexpr int kStandingMargin = kLumaUnit / 12;

} // namespace

std::uint64_t HashVariant(std::uint64_t hash, int variant)
{
    if ((variant & 4) != 0) {
        hash = transposeBits(hash);
    }
    // Negating a frequency turns its sign bit over (a frequency of exactly
    // 0 would keep its 0; that rare bit costs at most one of the gate's).
    if ((variant & 1) != 0) {
        hash ^= kOddColumns;
    }
    if ((variant & 2) != 0) {
        hash ^= kOddRows;
    }
    return hash & ~std::uint64_t {1};
}

int SimilarityOfVariant(const FingerprintLayout &a, const FingerprintLayout &b, int variant)
{
    // The shape of the luma: the correlation of the kept frequencies, which
    // neither a brightness offset (the mean is left out) nor a contrast
    // factor (both are scaled to one norm) moves.
    double shape = 0;
    const bool flatA = a.contrast < kFlatContrast;
    const bool flatB = b.contrast < kFlatContrast;
    if (flatA && flatB) {
        shape = 1;
    } else if (!flatA && !flatB) {
        std::int64_t dot = 0;
        for (int v = 0; v < kLumaSide; ++v) {
            for (int u = 0; u < kLumaSide; ++u) {
                if (u == 0 && v == 0) {
                    continue;
                }
                int su = 0;
                int sv = 0;
                variantSource(u, v, variant, su, sv);
                const int fromA = variantSign(u, v, variant) * a.luma[sv * kLumaSide + su - 1];
                dot += std::int64_t {fromA} * b.luma[v * kLumaSide + u - 1];
            }
        }
        shape = static_cast<double>(dot) / (double(kLumaUnit) * kLumaUnit);
    }
    double loss = 100.0 * (1.0 - shape) * kShapeWeight;

    // Brightness, relative to the brighter picture (dark pictures are
    // measured against a floor so that a few levels do not count double).
    const double meanA = a.meanLuma / 256.0;
    const double meanB = b.meanLuma / 256.0;
    const double brightness = std::abs(meanA - meanB) / std::max({meanA, meanB, kBrightnessFloor});
    loss += std::max(0.0, brightness - kBrightnessFree) * kBrightnessWeight;

    // Contrast, as a ratio.
    const double contrastA = std::max<double>(a.contrast, kFlatContrast);
    const double contrastB = std::max<double>(b.contrast, kFlatContrast);
    const double contrast = std::abs(std::log(contrastA / contrastB));
    loss += std::max(0.0, contrast - kContrastFree) * kContrastWeight;

    // Colour: the distance of the chroma layouts, the mean colour included,
    // in levels. A grey copy of a coloured picture is as far from it as its
    // colour is strong: told apart, as a recoloured picture is.
    double colour = 0;
    for (int v = 0; v < kChromaSide; ++v) {
        for (int u = 0; u < kChromaSide; ++u) {
            int su = 0;
            int sv = 0;
            variantSource(u, v, variant, su, sv);
            const int sign = variantSign(u, v, variant);
            const double dCb = sign * a.cb[sv * kChromaSide + su] - b.cb[v * kChromaSide + u];
            const double dCr = sign * a.cr[sv * kChromaSide + su] - b.cr[v * kChromaSide + u];
            colour += dCb * dCb + dCr * dCr;
        }
    }
    loss += std::max(0.0, std::sqrt(colour) - kColourFree) * kColourWeight;

    return std::clamp(static_cast<int>(std::floor(100.0 - loss)), 0, 99);
}

std::uint8_t StandingVariants(const FingerprintLayout &layout)
{
    if (layout.contrast < kFlatContrast) {
        return 0xFF;
    }
    const int across = layout.luma[1 - 1];       // (1, 0)
    const int down = layout.luma[kLumaSide - 1]; // (0, 1)
    std::uint8_t standing = 0;
    for (int variant = 0; variant < kVariants; ++variant) {
        const bool transposed = (variant & 4) != 0;
        const int u = variantSign(1, 0, variant) * (transposed ? down : across);
        const int v = variantSign(0, 1, variant) * (transposed ? across : down);
        if (u >= -kStandingMargin && v >= -kStandingMargin && std::abs(u) - std::abs(v) >= -kStandingMargin) {
            standing |= std::uint8_t(1u << variant);
        }
    }
    return standing;
}

FingerprintKey KeyOf(const PictureFingerprint &fingerprint, bool turns)
{
    FingerprintKey key;
    key.layout = Unpack(fingerprint);
    key.hash = LumaHash(key.layout);
    key.standing = turns ? StandingVariants(key.layout) : 1;
    return key;
}

bool WithinHashGate(const FingerprintKey &a, const FingerprintKey &b)
{
    for (int s = 0; s < kVariants; ++s) {
        if ((a.standing >> s & 1) == 0) {
            continue;
        }
        const std::uint64_t standingA = HashVariant(a.hash, s);
        for (int t = 0; t < kVariants; ++t) {
            if ((b.standing >> t & 1) != 0 && std::popcount(standingA ^ HashVariant(b.hash, t)) <= kHashGate) {
                return true;
            }
        }
    }
    return false;
}

int KeySimilarity(const FingerprintKey &a, const FingerprintKey &b, bool turns)
{
    int best = 0;
    for (int variant = 0; variant < (turns ? kVariants : 1); ++variant) {
        best = std::max(best, SimilarityOfVariant(a.layout, b.layout, variant));
    }
    return WithinHashGate(a, b) ? best : std::min(best, kGatedScore);
}

} // namespace quillmere
