#pragma once

#include "search/similar_search.h"

#include <QHash>
#include <QString>
#include <optional>

namespace quillmere {

// The sets of the last similar-picture search, kept for the found page and
// looked up by the path text of a result row (its Dest cell). The result
// table can be sorted and marked at will; this keeps the search's own order,
// in which each set's first picture is its best copy.
class SimilarSetsIndex {
public:
    struct Place {
        int set = 0;
        int member = 0; // 0 is the set's best copy
    };

    SimilarSetsIndex() = default;
    explicit SimilarSetsIndex(SimilarSearchResult result);

    const SimilarSearchResult &result() const { return result_; }
    std::optional<Place> placeOf(const QString &pathText) const;
    const SimilarFile &file(Place place) const;

    // What the image view sets beside the row's picture: its set's best copy,
    // or for the best copy itself the set's second picture. Nothing for a
    // path text of no set.
    std::optional<Place> comparedWith(const QString &pathText) const;

private:
    SimilarSearchResult result_;
    QHash<QString, Place> places_;
};

} // namespace quillmere
