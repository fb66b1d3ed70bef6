#pragma once

#include <QSize>
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace quillmere {

class TBitmap;

// What the similar-picture search keeps of one picture: a few hundred bytes
// made from the format's small decode of the upright picture, never the
// pixels themselves. Trivially copyable and of fixed size, so that it can
// be stored and read back as it is.
struct PictureFingerprint {
    // Filled by FingerprintOfUpright; its layout is the fingerprint's own.
    std::array<std::uint8_t, 512> data {};
    // A hash of the small decode's pixels: equal pixels decoded alike, equal
    // key. Equal pictures reduced in different ways (a JPEG by its decoder's
    // DCT scaling, its PNG conversion by stretching) have different keys.
    std::uint64_t exactKey = 0;

    friend bool operator==(const PictureFingerprint &, const PictureFingerprint &) = default;
};

// The fingerprint of an upright picture as the format's small decode made it
// (at least kFingerprintDecodeSide on both sides).
PictureFingerprint FingerprintOfUpright(const TBitmap &upright);

// The smallest side the small decode is asked for.
constexpr int kFingerprintDecodeSide = 64;

// The fingerprint of the picture in a file (the path may be a descriptor's
// /proc/self/fd/N), read by the format its content is and turned upright by
// its orientation, with the upright picture's full size; nothing when no
// format reads the file or its pixels cannot be decoded. Raises nothing but
// std::bad_alloc.
struct FingerprintedFile {
    PictureFingerprint fingerprint;
    QSize size;
};
std::optional<FingerprintedFile> FingerprintPictureFile(const std::string &path);

// How alike two fingerprints are, in percent, 0 to 99 (100 is kept for
// pictures whose upright pixels are equal, which only a look at the pixels
// can tell). With turns, a copy turned by 90, 180 or 270 degrees or mirrored
// counts as alike as the untouched copy would.
int FingerprintSimilarity(const PictureFingerprint &a, const PictureFingerprint &b, bool turns);

// The version of the fingerprint's making and layout: fingerprints kept from
// another version are made anew.
constexpr int kFingerprintVersion = 1;

// A 128-bit hash of a picture's upright pixels at full size: pictures with
// equal pixels have equal digests, and different pixels meet in one digest
// with a chance of one in 2^128, so the digest stands for the pixels.
struct PixelDigest {
    QSize size;
    std::uint64_t low = 0;
    std::uint64_t high = 0;

    friend bool operator==(const PixelDigest &, const PixelDigest &) = default;
};
// The digest of the picture in a file, decoded in full; nothing when it
// cannot be decoded. Raises nothing but std::bad_alloc.
std::optional<PixelDigest> UprightPixelsDigest(const std::string &path);

// Whether two JPEG files differ in their metadata alone and are turned
// alike: the most common copy that is not byte for byte, known to hold equal
// pixels without decoding either. Raises nothing but std::bad_alloc.
bool SameJpegPicture(const std::string &pathA, const std::string &pathB);

// Whether two files hold pictures whose upright pixels are equal, every one
// of them, at full size, whatever their bytes. False when either cannot be
// decoded. Raises nothing but std::bad_alloc.
bool UprightPixelsEqual(const std::string &pathA, const std::string &pathB);

} // namespace quillmere
