#include "imaging/jpeg_evidence.h"

namespace quillmere {

bool scanCostBelievable(const JpegScanCost &cost, std::uint64_t fileBytes)
{
    return cost.coefficientBytes <= kFreeCoefficientBytes + kCoefficientBytesPerFileByte * fileBytes &&
        cost.blockVisits <= kFreeBlockVisits + kBlockVisitsPerFileByte * fileBytes;
}

bool ditheredRowsBelievable(std::uint64_t pixels, std::uint64_t fileBytes)
{
    return pixels <= kFreeDitheredPixels + kDitheredPixelsPerFileByte * fileBytes;
}

} // namespace quillmere
