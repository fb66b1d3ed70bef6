#pragma once

#include "imaging/picture_fingerprint.h"

#include <array>
#include <cstdint>

namespace quillmere {

// What a PictureFingerprint holds, unpacked. The picture is first averaged
// over a square grid of kFingerprintGrid x kFingerprintGrid cells (the whole
// picture squeezed to a square, so a turned picture gives the transposed
// grid) in luma and the two chroma channels (JPEG's Y, Cb, Cr), and each
// channel is brought to its two-dimensional DCT. Only the lowest frequencies
// are kept: they describe the picture's layout and survive scaling, lossy
// coding and small crops, as in the DCT perceptual hash (Zauner 2010,
// "Implementation and Benchmarking of Perceptual Image Hash Functions").
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

struct FingerprintLayout {
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

// The 64-bit index hash: bit v * 8 + u is set when luma frequency (u, v)
// is positive.
std::uint64_t LumaHash(const FingerprintLayout &layout);
// The hash of variant t of the picture whose hash is given.
std::uint64_t HashVariant(std::uint64_t hash, int variant);

// The variants that may be the picture's standing form (a bit each): the
// one whose lowest horizontal and vertical frequencies are both positive,
// the horizontal one the stronger. A turned or mirrored copy has the same
// standing form, so comparing standing forms finds it with one look instead
// of eight; where those two frequencies are too weak or too close to tell,
// every variant that might be it is in (all eight for a flat picture).
std::uint8_t StandingVariants(const FingerprintLayout &layout);

// A fingerprint ready to compare: unpacked, with its hash.
struct FingerprintKey {
    FingerprintLayout layout;
    std::uint64_t hash = 0;
    std::uint8_t standing = 1; // StandingVariants, or only variant 0 without turns
};
FingerprintKey KeyOf(const PictureFingerprint &fingerprint, bool turns);

// Fingerprints whose hashes differ in more bits than this are never alike
// (without turns, as they are; with turns, in the closest pair of standing
// forms). The grouping's index finds every pair within it, so it is part of
// what "alike" means.
constexpr int kHashGate = 15;
bool WithinHashGate(const FingerprintKey &a, const FingerprintKey &b);

// How alike variant `variant` of picture a is to picture b, 0..99.
int SimilarityOfVariant(const FingerprintLayout &a, const FingerprintLayout &b, int variant);

// FingerprintSimilarity on keys made with the same turns.
int KeySimilarity(const FingerprintKey &a, const FingerprintKey &b, bool turns);

} // namespace quillmere
