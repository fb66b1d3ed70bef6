#pragma once

#include <cstdint>

namespace quillmere {

// How much a multi-scan (progressive) JPEG file costs to decode, from what
// its headers claim. Such a file is decoded into a buffer of coefficients for
// the whole picture, and every scan passes over the blocks of its components.
struct JpegScanCost {
    std::uint64_t coefficientBytes = 0; // the coefficient buffer
    std::uint64_t blockVisits = 0;      // blocks of each scan, summed over the scans
};

// Whether a file of fileBytes bytes can honestly cost that much. A complete
// multi-scan file codes every block in its first scan with at least one bit,
// and real encoders spend far more, so a few kilobytes claiming a picture of
// a quarter gigapixel in a hundred scans is a forgery (or a sliver of a cut
// file) whose decoding would take seconds and gigabytes for a grey picture.
// Small pictures pass whatever their file; beyond that the cost allowed
// grows with the file: a 200-megapixel progressive photo of a few megabytes
// passes, a 4-kilobyte file claiming 16384 x 16384 does not.
bool scanCostBelievable(const JpegScanCost &cost, std::uint64_t fileBytes);

// Whether a grayscale picture of `pixels` pixels is worth drawing from a file
// of fileBytes bytes when every one of its rows has to be decoded: the
// library's dither carries its error from row to row, so the rows of a
// grayscale thumbnail cannot be skipped, and a few kilobytes claiming a
// quarter gigapixel would take seconds for a grey picture. Real photos
// spend far more than a bit per 32 pixels.
bool ditheredRowsBelievable(std::uint64_t pixels, std::uint64_t fileBytes);

// The allowances: a floor that any file may use, and what each byte of the
// file adds.
constexpr std::uint64_t kFreeCoefficientBytes = 48ull << 20;
constexpr std::uint64_t kCoefficientBytesPerFileByte = 64;
constexpr std::uint64_t kFreeBlockVisits = 12ull << 20;
constexpr std::uint64_t kBlockVisitsPerFileByte = 12;
constexpr std::uint64_t kFreeDitheredPixels = 16ull << 20;
constexpr std::uint64_t kDitheredPixelsPerFileByte = 16;

} // namespace quillmere
