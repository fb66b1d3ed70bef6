#pragma once

#include "platform/file_identity.h"

#include <QHash>
#include <QString>
#include <optional>
#include <vector>

namespace quillmere {

struct SimilarSearchResult;
class TDataGrid;

// The sets of identical files (or of similar pictures) of the last search,
// as the search read them, by the path text of each file (the text of its
// result row's Dest cell). The removal checks a marked file, and the copies that are to keep
// its content, against it.
class FoundFileRecord {
public:
    struct Member {
        QString pathText;
        FoundFile file;
        // How alike the member is to its set's first, in percent, and
        // whether its bytes are the first's: always so for identical files.
        int similarity = 100;
        bool sameBytesAsFirst = true;
    };

    void clear();
    // From the pair table, the number of rows of each of its sets and one
    // found file per row, as the comparison wrote them.
    void fill(TDataGrid &pairs, const std::vector<int> &setSizes, const std::vector<FoundFile> &files);
    // From the sets of a similar-picture search, the best copy first in each.
    void fill(const SimilarSearchResult &result);
    void addSet(std::vector<Member> members);

    // The set of the file and what the comparison saw of it; -1 and nothing
    // for a path text the search did not declare identical to another.
    int setOf(const QString &pathText) const;
    const FoundFile *find(const QString &pathText) const;
    const Member *findMember(const QString &pathText) const;
    // Where the file stands: its set and its place in it, 0 for the set's
    // first (a similar-picture set's best copy).
    struct Place {
        int set = 0;
        int member = 0;
    };
    std::optional<Place> placeOf(const QString &pathText) const;
    const Member &member(Place place) const
    {
        return sets_[static_cast<std::size_t>(place.set)][static_cast<std::size_t>(place.member)];
    }
    const std::vector<Member> &members(int set) const { return sets_[static_cast<std::size_t>(set)]; }
    int setCount() const { return static_cast<int>(sets_.size()); }

private:
    std::vector<std::vector<Member>> sets_;
    QHash<QString, std::pair<int, int>> where_; // path text -> set, member
};

} // namespace quillmere
