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

std::uint64_t LumaHash(const FingerprintForm &layout)
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

// Calls visit(u, v, c) for every kept luma frequency (u, v) but the mean
// of variant t of the form, c its value there.
template <class Visit>
void forEachVariantLuma(const FingerprintForm &form, int variant, Visit visit)
{
    for (int v = 0; v < kLumaSide; ++v) {
        for (int u = 0; u < kLumaSide; ++u) {
            if (u == 0 && v == 0) {
                continue;
            }
            int su = 0;
            int sv = 0;
            variantSource(u, v, variant, su, sv);
            visit(u, v, variantSign(u, v, variant) * form.luma[sv * kLumaSide + su - 1]);
        }
    }
}

// Fingerprints kept apart by their hashes score no more than this, below
// every level the search offers.
constexpr int kGatedScore = 50;

// How each measure costs similarity points. Every measure is free up to
// what the changes a copy goes through (scaling, lossy coding, a crop of a
// few percent, 10% lighter, darker or more or less contrasted) move it,
// and costs beyond.
constexpr double kShapeWeight = 0.6;
// Brightness in levels of the mean luma: a 10% change moves it by about 25
// levels whatever the picture's own brightness (less where it clips).
constexpr double kBrightnessFree = 30.0;
constexpr double kBrightnessWeight = 1.0;
constexpr double kContrastFree = 0.18;
constexpr double kContrastWeight = 50.0;
constexpr double kColourFree = 4.0;
// Colour costs steeply: past what copies need, a few levels of chroma are
// what tells a picture from the same design in other colours.
constexpr double kColourWeight = 3.0;
constexpr double kColourFreePerLevel = 0.3; // per level of brightness change
constexpr double kMeanColourWeight = 9.0;
// How far the chroma may fade per unit of change of brightness (a share
// of the range) and contrast (a log ratio), and at most.
constexpr double kFadePerChange = 3.0;
constexpr double kLeastFade = 0.6;

// How far (in kLumaUnit) the lowest frequencies may move under a copy's
// changes; within it a standing form is taken as possible.
constexpr int kStandingMargin = kLumaUnit / 20;
constexpr double kStandingEnergyMargin = 0.05;

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

SimilarityLosses LossesOfVariant(const FingerprintForm &a, const FingerprintForm &b, int variant)
{
    SimilarityLosses losses;
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
        forEachVariantLuma(a, variant, [&](int u, int v, int fromA) {
            dot += std::int64_t {fromA} * b.luma[v * kLumaSide + u - 1];
        });
        shape = static_cast<double>(dot) / (double(kLumaUnit) * kLumaUnit);
    }
    losses.shape = 100.0 * (1.0 - shape) * kShapeWeight;

    // Brightness, as the difference of the mean luma in levels.
    const double brightness = std::abs(a.meanLuma - b.meanLuma) / 256.0;
    losses.brightness = std::max(0.0, brightness - kBrightnessFree) * kBrightnessWeight;

    // Contrast, as a ratio.
    const double contrastA = std::max<double>(a.contrast, kFlatContrast);
    const double contrastB = std::max<double>(b.contrast, kFlatContrast);
    const double contrast = std::abs(std::log(contrastA / contrastB));
    losses.contrast = std::max(0.0, contrast - kContrastFree) * kContrastWeight;

    // Colour: the distance of the chroma layouts, the mean colour included,
    // in levels, once the more colourful picture's chroma is scaled towards
    // the other's as far as the change of brightness and contrast between
    // them explains: a change of contrast scales the chroma, and darkening
    // or lightening fades it where channels clip.
    // What stays apart is a change of hue (the chroma turns) and a grey copy
    // of a coloured picture (its chroma would have to fade entirely): a grey
    // copy is as far from its colour original as that colour is strong, a
    // distinct picture as a recoloured one is, and the same photo in grey
    // only where it had hardly any colour.
    std::array<double, 2 * kChromaCoefficients> chromaA {};
    std::array<double, 2 * kChromaCoefficients> chromaB {};
    for (int v = 0; v < kChromaSide; ++v) {
        for (int u = 0; u < kChromaSide; ++u) {
            int su = 0;
            int sv = 0;
            variantSource(u, v, variant, su, sv);
            const int sign = variantSign(u, v, variant);
            // The mean colour counts more than its layout: a crop moves
            // the layout, a recolouring moves the mean.
            const double weight = u == 0 && v == 0 ? std::sqrt(kMeanColourWeight) : 1.0;
            const int at = v * kChromaSide + u;
            chromaA[2 * at] = weight * sign * a.cb[sv * kChromaSide + su];
            chromaA[2 * at + 1] = weight * sign * a.cr[sv * kChromaSide + su];
            chromaB[2 * at] = weight * b.cb[at];
            chromaB[2 * at + 1] = weight * b.cr[at];
        }
    }
    double normA = 0;
    double normB = 0;
    double dot = 0;
    for (std::size_t i = 0; i < chromaA.size(); ++i) {
        normA += chromaA[i] * chromaA[i];
        normB += chromaB[i] * chromaB[i];
        dot += chromaA[i] * chromaB[i];
    }
    // |s x - y|^2 for the stronger x, the weaker y, s the best within
    // [kColourFade, 1].
    const double strong = std::max(normA, normB);
    const double weak = std::min(normA, normB);
    const double fade = std::clamp(1.0 - kFadePerChange * (brightness / 255.0 + contrast), kLeastFade, 1.0);
    const double scale = strong > 0 ? std::clamp(dot / strong, fade, 1.0) : 1.0;
    const double colour = std::max(0.0, scale * scale * strong - 2 * scale * dot + weak);
    // Clipping also turns the chroma a little, so a change of brightness
    // excuses some more distance.
    const double colourFree = kColourFree + kColourFreePerLevel * std::min(brightness, kBrightnessFree);
    losses.colour = std::max(0.0, std::sqrt(colour) - colourFree) * kColourWeight;
    return losses;
}

int SimilarityOfVariant(const FingerprintForm &a, const FingerprintForm &b, int variant)
{
    return std::clamp(static_cast<int>(std::floor(100.0 - LossesOfVariant(a, b, variant).total())), 0, 99);
}

std::uint8_t StandingVariants(const FingerprintForm &layout)
{
    if (layout.contrast < kFlatContrast) {
        return 0xFF;
    }
    std::uint8_t standing = 0;
    for (int variant = 0; variant < kVariants; ++variant) {
        // Of the variant: the energy above and below the diagonal (a
        // transposition swaps them, a mirroring keeps them), and the
        // strongest positive and negative frequencies that mirroring left to
        // right negates and top to bottom does not (odd u, even v), and the
        // other way round.
        double wide = 0;
        double tall = 0;
        int across[2] = {0, 0}; // strongest positive, strongest negative
        int down[2] = {0, 0};
        forEachVariantLuma(layout, variant, [&](int u, int v, int c) {
            const double energy = double(c) * c;
            (u > v ? wide : tall) += u == v ? 0 : energy;
            if ((u & 1) != (v & 1)) {
                int *strongest = (u & 1) != 0 ? across : down;
                strongest[c < 0 ? 1 : 0] = std::max(strongest[c < 0 ? 1 : 0], std::abs(c));
            }
        });
        if (wide - tall >= -kStandingEnergyMargin * (wide + tall) && across[0] - across[1] >= -kStandingMargin &&
            down[0] - down[1] >= -kStandingMargin) {
            standing |= std::uint8_t(1u << variant);
        }
    }
    return standing;
}

FingerprintKey KeyOf(const PictureFingerprint &fingerprint, bool turns)
{
    FingerprintKey key;
    key.layout = Unpack(fingerprint);
    key.hash = LumaHash(key.layout.whole);
    key.innerHash = LumaHash(key.layout.inner);
    key.standing = turns ? StandingVariants(key.layout.whole) : 0;
    key.innerStanding = turns ? StandingVariants(key.layout.inner) : 0;
    return key;
}

std::vector<std::uint64_t> IndexHashes(const FingerprintKey &key, bool standing)
{
    if (!standing) {
        return {key.hash, key.innerHash};
    }
    std::vector<std::uint64_t> hashes;
    for (const auto &[hash, variants] : {std::pair {key.hash, key.standing}, std::pair {key.innerHash, key.innerStanding}}) {
        for (int variant = 0; variant < kVariants; ++variant) {
            if ((variants >> variant & 1) != 0) {
                hashes.push_back(HashVariant(hash, variant));
            }
        }
    }
    return hashes;
}

namespace {

// Whether two forms, of hashes and standing variants given, are within the
// hash gate as they are or in a pair of their standing forms.
bool formsWithinGate(std::uint64_t hashA, std::uint8_t standingA, std::uint64_t hashB, std::uint8_t standingB)
{
    if (std::popcount(hashA ^ hashB) <= kHashGate) {
        return true;
    }
    for (int s = 0; s < kVariants; ++s) {
        if ((standingA >> s & 1) == 0) {
            continue;
        }
        const std::uint64_t standing = HashVariant(hashA, s);
        for (int t = 0; t < kVariants; ++t) {
            if ((standingB >> t & 1) != 0 && std::popcount(standing ^ HashVariant(hashB, t)) <= kHashGate) {
                return true;
            }
        }
    }
    return false;
}

// The pairs of forms compared: whole with whole, inner with whole (a copy
// cropped from the first picture), whole with inner (the other way round).
struct FormPair {
    bool innerA;
    bool innerB;
};
constexpr FormPair kFormPairs[] = {{false, false}, {true, false}, {false, true}};

bool pairWithinGate(const FingerprintKey &a, const FingerprintKey &b, FormPair pair)
{
    return formsWithinGate(pair.innerA ? a.innerHash : a.hash, pair.innerA ? a.innerStanding : a.standing,
                           pair.innerB ? b.innerHash : b.hash, pair.innerB ? b.innerStanding : b.standing);
}

int bestVariant(const FingerprintForm &a, const FingerprintForm &b, bool turns)
{
    int best = 0;
    for (int variant = 0; variant < (turns ? kVariants : 1); ++variant) {
        best = std::max(best, SimilarityOfVariant(a, b, variant));
    }
    return best;
}

} // namespace

bool WithinHashGate(const FingerprintKey &a, const FingerprintKey &b)
{
    for (const FormPair pair : kFormPairs) {
        if (pairWithinGate(a, b, pair)) {
            return true;
        }
    }
    return false;
}

int KeySimilarity(const FingerprintKey &a, const FingerprintKey &b, bool turns)
{
    int best = -1;
    for (const FormPair pair : kFormPairs) {
        if (pairWithinGate(a, b, pair)) {
            best = std::max(best, bestVariant(pair.innerA ? a.layout.inner : a.layout.whole,
                                              pair.innerB ? b.layout.inner : b.layout.whole, turns));
        }
    }
    if (best < 0) {
        return std::min(bestVariant(a.layout.whole, b.layout.whole, turns), kGatedScore);
    }
    return best;
}

} // namespace quillmere
