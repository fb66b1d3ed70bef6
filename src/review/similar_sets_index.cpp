#include "review/similar_sets_index.h"

namespace quillmere {

SimilarSetsIndex::SimilarSetsIndex(SimilarSearchResult result)
    : result_(std::move(result))
{
    for (std::size_t set = 0; set < result_.sets.size(); ++set) {
        const std::vector<SimilarFile> &members = result_.sets[set];
        for (std::size_t member = 0; member < members.size(); ++member) {
            places_.insert(members[member].pathText, Place { static_cast<int>(set), static_cast<int>(member) });
        }
    }
}

std::optional<SimilarSetsIndex::Place> SimilarSetsIndex::placeOf(const QString &pathText) const
{
    const auto found = places_.constFind(pathText);
    if (found == places_.constEnd()) {
        return std::nullopt;
    }
    return *found;
}

const SimilarFile &SimilarSetsIndex::file(Place place) const
{
    return result_.sets.at(static_cast<std::size_t>(place.set)).at(static_cast<std::size_t>(place.member));
}

std::optional<SimilarSetsIndex::Place> SimilarSetsIndex::comparedWith(const QString &pathText) const
{
    const std::optional<Place> place = placeOf(pathText);
    if (!place) {
        return std::nullopt;
    }
    const std::size_t members = result_.sets[static_cast<std::size_t>(place->set)].size();
    const int other = place->member == 0 ? 1 : 0;
    if (static_cast<std::size_t>(other) >= members) {
        return std::nullopt;
    }
    return Place { place->set, other };
}

} // namespace quillmere
