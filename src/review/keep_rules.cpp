#include "review/keep_rules.h"

#include "platform/folder_set.h"
#include "platform/path_text.h"
#include "search/found_files.h"
#include "table/data_grid.h"

#include <QRegularExpression>
#include <cstdint>
#include <unordered_map>

namespace quillmere {

namespace {

// What a rule weighs of one row's file.
struct Facts {
    int set = -1;
    std::int64_t modifiedNs = 0;
    std::int64_t bytes = 0;
    std::int64_t pixels = -1;
    std::size_t pathBytes = 0;
    bool inside = false;
};

// The pixel count of a resolution text such as "1600 X 1200"; -1 for none.
std::int64_t pixelsOf(const QString &resolution)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d+)\\s*[xX]\\s*(\\d+)\\s*$"));
    const QRegularExpressionMatch match = pattern.match(resolution);
    if (!match.hasMatch()) {
        return -1;
    }
    return match.captured(1).toLongLong() * match.captured(2).toLongLong();
}

Facts factsOf(TDataGrid &grid, int row, const FoundFileRecord &sets, KeepRule rule, const FolderSet *folder)
{
    Facts facts;
    const QString pathText = grid.CellAt(QStringLiteral("Dest"), row).text();
    const FoundFileRecord::Member *member = sets.findMember(pathText);
    if (member == nullptr) {
        return facts;
    }
    facts.set = sets.setOf(pathText);
    facts.modifiedNs = member->file.file.modifiedNs;
    facts.bytes = member->file.file.size;
    const std::string path = textToPath(pathText);
    facts.pathBytes = path.size();
    if (rule == KeepRule::HighestResolution) {
        facts.pixels = pixelsOf(grid.CellAt(QStringLiteral("Res"), row).text());
    }
    if (rule == KeepRule::InsideFolder) {
        facts.inside = folder != nullptr && folder->holds(path);
    }
    return facts;
}

// Whether `a` is kept rather than `b`; never when they are alike by the
// rule, so the earlier row stays.
bool keptBefore(const Facts &a, const Facts &b, KeepRule rule)
{
    switch (rule) {
    case KeepRule::Oldest:
        return a.modifiedNs < b.modifiedNs;
    case KeepRule::Newest:
        return a.modifiedNs > b.modifiedNs;
    case KeepRule::HighestResolution:
        return a.pixels > b.pixels;
    case KeepRule::Largest:
        return a.bytes > b.bytes;
    case KeepRule::ShortestPath:
        return a.pathBytes < b.pathBytes;
    case KeepRule::InsideFolder:
        return a.inside && !b.inside;
    }
    return false;
}

} // namespace

const std::vector<KeepRuleInfo> &KeepRules()
{
    static const std::vector<KeepRuleInfo> rules {
        {KeepRule::Oldest, QStringLiteral("Keep the oldest")},
        {KeepRule::Newest, QStringLiteral("Keep the newest")},
        {KeepRule::HighestResolution, QStringLiteral("Keep the highest resolution")},
        {KeepRule::Largest, QStringLiteral("Keep the largest file")},
        {KeepRule::ShortestPath, QStringLiteral("Keep the shortest path")},
        {KeepRule::InsideFolder, QStringLiteral("Keep the copy inside a folder...")},
    };
    return rules;
}

void MarkAllButTheKeptCopies(TDataGrid &grid, const FoundFileRecord &sets, KeepRule rule, const RowLocked &locked,
                             const FolderSet *folder)
{
    const int rows = grid.RowCount();
    std::vector<Facts> facts;
    facts.reserve(static_cast<std::size_t>(rows));
    std::unordered_map<int, int> kept; // set -> row
    for (int row = 0; row < rows; ++row) {
        facts.push_back(factsOf(grid, row, sets, rule, folder));
        const Facts &mine = facts.back();
        if (mine.set < 0) {
            continue;
        }
        const auto [place, first] = kept.try_emplace(mine.set, row);
        if (!first && keptBefore(mine, facts[static_cast<std::size_t>(place->second)], rule)) {
            place->second = row;
        }
    }
    for (int row = 0; row < rows; ++row) {
        const Facts &mine = facts[static_cast<std::size_t>(row)];
        bool marked = mine.set >= 0 && kept.at(mine.set) != row;
        if (marked && rule == KeepRule::InsideFolder) {
            // No copy inside the folder: the rule chooses none to keep.
            marked = facts[static_cast<std::size_t>(kept.at(mine.set))].inside;
        }
        SetMark(grid, row, marked, locked);
    }
}

} // namespace quillmere
