#include "search/similar_sets.h"

#include <stdexcept>

namespace quillmere {

const std::vector<SimilarityLevelInfo> &SimilarityLevels()
{
    static const std::vector<SimilarityLevelInfo> levels = {
        {SimilarityLevel::SamePicture, QStringLiteral("Same picture"), "same", 100,
         QStringLiteral("Only copies with the very same pixels: other metadata, or one picture in several lossless formats.")},
        {SimilarityLevel::NearlyEqual, QStringLiteral("Nearly equal"), "near", 95,
         QStringLiteral("Also resized, re-saved, converted and turned copies of a picture.")},
        {SimilarityLevel::Similar, QStringLiteral("Similar"), "similar", 84,
         QStringLiteral("Also copies cropped a little or made a little lighter, darker or more contrasted.")},
        {SimilarityLevel::Loose, QStringLiteral("Loose"), "loose", 78,
         QStringLiteral("Also more changed copies, at some risk of pairing different pictures that look alike.")},
    };
    return levels;
}

const SimilarityLevelInfo &SimilarityLevelOf(SimilarityLevel level)
{
    for (const SimilarityLevelInfo &info : SimilarityLevels()) {
        if (info.level == level) {
            return info;
        }
    }
    throw std::invalid_argument("unknown similarity level");
}

} // namespace quillmere
