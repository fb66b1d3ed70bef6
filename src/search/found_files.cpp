#include "search/found_files.h"

#include "search/similar_search.h"
#include "table/data_grid.h"

namespace quillmere {

void FoundFileRecord::clear()
{
    sets_.clear();
    where_.clear();
}

void FoundFileRecord::fill(TDataGrid &pairs, const std::vector<int> &setSizes, const std::vector<FoundFile> &files)
{
    clear();
    int row = 0;
    for (const int size : setSizes) {
        std::vector<Member> members;
        for (int i = 0; i < size && row < pairs.RowCount() && static_cast<std::size_t>(row) < files.size(); ++i, ++row) {
            members.push_back(Member {pairs.CellAt(0, row).text(), files[static_cast<std::size_t>(row)]});
        }
        addSet(std::move(members));
    }
}

void FoundFileRecord::fill(const SimilarSearchResult &result)
{
    clear();
    for (const std::vector<SimilarFile> &set : result.sets) {
        std::vector<Member> members;
        members.reserve(set.size());
        for (const SimilarFile &file : set) {
            members.push_back(Member {file.pathText, file.found, file.similarity, file.sameBytesAsFirst});
        }
        addSet(std::move(members));
    }
}

void FoundFileRecord::addSet(std::vector<Member> members)
{
    const int set = setCount();
    for (std::size_t i = 0; i < members.size(); ++i) {
        where_.insert(members[i].pathText, {set, static_cast<int>(i)});
    }
    sets_.push_back(std::move(members));
}

std::optional<FoundFileRecord::Place> FoundFileRecord::placeOf(const QString &pathText) const
{
    const auto found = where_.constFind(pathText);
    if (found == where_.constEnd()) {
        return std::nullopt;
    }
    return Place {found->first, found->second};
}

int FoundFileRecord::setOf(const QString &pathText) const
{
    const auto found = where_.constFind(pathText);
    return found == where_.constEnd() ? -1 : found->first;
}

const FoundFile *FoundFileRecord::find(const QString &pathText) const
{
    const Member *member = findMember(pathText);
    return member == nullptr ? nullptr : &member->file;
}

const FoundFileRecord::Member *FoundFileRecord::findMember(const QString &pathText) const
{
    const auto found = where_.constFind(pathText);
    if (found == where_.constEnd()) {
        return nullptr;
    }
    return &sets_[static_cast<std::size_t>(found->first)][static_cast<std::size_t>(found->second)];
}

} // namespace quillmere
