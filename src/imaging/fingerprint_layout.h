#pragma once

#include "imaging/picture_fingerprint.h"

#include <array>
#include <cstdint>
#include <vector>

namespace quillmere {

// What a PictureFingerprint holds, unpacked. The picture is first averaged
// over a square grid of kFingerprintGrid x kFingerprintGrid cells (the whole
// picture squeezed to a square, so a turned picture gives the transposed
// grid) in luma and the two chroma channels (JPEG's Y, Cb, Cr), and each
// channel is brought to its two-dimensional DCT. Only the lowest frequencies
// are kept: they describe the picture's layout and survive scaling, lossy
// coding and small crops, as in the DCT perceptual hash (Zauner 2010,
// "Implementation and Benchmarking of Perceptual Image Hash Functions").
// Crops beyond a few percent move that layout, so the same is kept a second
// time for the picture's central window (the inner form); comparing one
// picture's inner form with the other's whole form finds the cropped copy,
// which the DCT hash alone misses (Zauner above measures its weakness
// against cropping).
// Colour enters as the chroma's low frequencies. A grey copy of a coloured
// picture is told apart from it by as much as that colour is strong, as a
// recoloured picture is: the same photo in grey counts as a copy only where
// the photo had hardly any colour. Two grey renderings of one photo are
// copies of each other.
constexpr int kFingerprintGrid = 32;
// Luma frequencies kept on each axis (the mean is kept apart).
constexpr int kLumaSide = 10;
constexpr int kLumaCoefficients = kLumaSide * kLumaSide - 1;
// Chroma frequencies kept on each axis, the mean colour included.
constexpr int kChromaSide = 4;
constexpr int kChromaCoefficients = kChromaSide * kChromaSide;
// The index hash takes the signs of the luma frequencies below this on each
// axis (63 of them; bit v * 8 + u, bit 0 the mean, always 0).
constexpr int kHashSide = 8;

// One view of the picture: the whole of it, or its central window.
struct FingerprintForm {
    // Luma frequencies (u, v) but (0, 0), row by row (v * kLumaSide + u - 1),
    // scaled so that their Euclidean norm is kLumaUnit: only their shape
    // counts, not the picture's contrast.
    std::array<std::int16_t, kLumaCoefficients> luma {};
    // Chroma frequencies (v * kChromaSide + u), in levels of 0..255 per
    // channel: (0, 0) is the mean.
    std::array<std::int8_t, kChromaCoefficients> cb {};
    std::array<std::int8_t, kChromaCoefficients> cr {};
    std::uint16_t meanLuma = 0; // 0..255, times 256
    std::uint16_t contrast = 0; // norm of the kept luma frequencies, times 16
};

// The share of each side the inner form leaves out on either end: the
// inner form of a picture is the whole form of a copy cropped by that much
// per side, so a crop of up to about twice this compares well with one of
// the two.
constexpr double kInnerMargin = 0.05;

struct FingerprintLayout {
    FingerprintForm whole;
    FingerprintForm inner; // the central (1 - 2 kInnerMargin) of each side
};
constexpr int kLumaUnit = 16384;

static_assert(sizeof(FingerprintLayout) <= sizeof(PictureFingerprint::data));

FingerprintLayout Unpack(const PictureFingerprint &fingerprint);
void Pack(const FingerprintLayout &layout, PictureFingerprint &fingerprint);

// The eight ways to turn and mirror a picture (the dihedral group of the
// square). Variant t transposes the picture when bit 2 is set, then mirrors
// it left to right when bit 0 is set and top to bottom when bit 1 is set.
// On a DCT these are exact and need no pixels: transposing the picture
// transposes its frequencies, and mirroring an axis negates the odd
// frequencies of that axis. Variant 0 is the picture itself.
constexpr int kVariants = 8;

// The 64-bit index hash of a form: bit v * 8 + u is set when luma
// frequency (u, v) is positive.
std::uint64_t LumaHash(const FingerprintForm &form);
// The hash of variant t of the picture whose hash is given.
std::uint64_t HashVariant(std::uint64_t hash, int variant);

// The variants that may be the form's standing form (a bit each): the
// one whose lowest horizontal and vertical frequencies are both positive,
// the horizontal one the stronger. A turned or mirrored copy has the same
// standing form, so comparing standing forms finds it with one look instead
// of eight; where those two frequencies are too weak or too close to tell,
// every variant that might be it is in (all eight for a flat picture).
std::uint8_t StandingVariants(const FingerprintForm &form);

// A fingerprint ready to compare: unpacked, with the hashes of its whole
// and inner forms.
struct FingerprintKey {
    FingerprintLayout layout;
    std::uint64_t hash = 0;          // of the whole form
    std::uint64_t innerHash = 0;     // of the inner form
    std::uint8_t standing = 0;       // StandingVariants of the whole form, or none without turns
    std::uint8_t innerStanding = 0;  // the same of the inner form
};
FingerprintKey KeyOf(const PictureFingerprint &fingerprint, bool turns);

// The hashes under which an index keeps a picture and looks for it: its
// whole and inner forms as they are (`standing` false), or every standing
// form of both (true).
std::vector<std::uint64_t> IndexHashes(const FingerprintKey &key, bool standing);

// Pairs of forms whose hashes differ in more bits than this, both as they
// are and (with turns) in every pair of their standing forms, are never
// alike; fingerprints none of whose compared pairs of forms (whole with
// whole, inner with whole, whole with inner) is within it are never alike.
// The grouping's index finds every pair within it, so it is part of what
// "alike" means.
constexpr int kHashGate = 11;
bool WithinHashGate(const FingerprintKey &a, const FingerprintKey &b);

// What each measure of a comparison costs, in similarity points.
struct SimilarityLosses {
    double shape = 0;
    double brightness = 0;
    double contrast = 0;
    double colour = 0;
    double total() const { return shape + brightness + contrast + colour; }
};
SimilarityLosses LossesOfVariant(const FingerprintForm &a, const FingerprintForm &b, int variant);

// How alike variant `variant` of form a is to form b, 0..99.
int SimilarityOfVariant(const FingerprintForm &a, const FingerprintForm &b, int variant);

// FingerprintSimilarity on keys made with the same turns: the best of the
// whole forms compared, and of either picture's inner form compared with
// the other's whole form, each counted only within the hash gate.
int KeySimilarity(const FingerprintKey &a, const FingerprintKey &b, bool turns);

} // namespace quillmere
