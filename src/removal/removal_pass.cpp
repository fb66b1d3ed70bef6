#include "removal/removal_pass.h"

#include "platform/path_text.h"
#include "removal/found_file_check.h"
#include "removal/overwrite.h"
#include "removal/recycle_bin.h"
#include "search/found_files.h"
#include "table/data_grid.h"

#include <QHash>
#include <exception>

namespace quillmere {

namespace {

// The marks of the result table by path text. Rows may be sorted while the
// pass runs, so a row found out of place sends it to look again.
class Marks {
public:
    explicit Marks(TDataGrid &grid)
        : grid_(grid)
    {
        index();
    }

    bool marked(const QString &pathText)
    {
        auto found = rows_.constFind(pathText);
        if (found != rows_.constEnd() && !holds(*found, pathText)) {
            index();
            found = rows_.constFind(pathText);
        }
        return found != rows_.constEnd() && grid_.CellAt(QStringLiteral("Del"), *found).asBoolean();
    }

private:
    bool holds(int row, const QString &pathText)
    {
        return row < grid_.RowCount() && grid_.CellAt(QStringLiteral("Dest"), row).text() == pathText;
    }
    void index()
    {
        rows_.clear();
        for (int row = 0; row < grid_.RowCount(); ++row) {
            rows_.insert(grid_.CellAt(QStringLiteral("Dest"), row).text(), row);
        }
    }

    TDataGrid &grid_;
    QHash<QString, int> rows_;
};

// Whether some other unmarked member of the file's set still stands as the
// comparison read it, so its content survives the removal.
bool unmarkedCopyStands(const FoundFileRecord &found, int set, const QString &pathText, Marks &marks)
{
    for (const FoundFileRecord::Member &member : found.members(set)) {
        if (member.pathText != pathText && !marks.marked(member.pathText)
            && FoundFileUnchanged(textToPath(member.pathText), member.file)) {
            return true;
        }
    }
    return false;
}

RemovalResult removeMarkedFile(const QString &pathText, RemovalMethod method, const FoundFileRecord &found,
                               const std::set<int> &everyCopyConfirmed, Marks &marks)
{
    const int set = found.setOf(pathText);
    if (set < 0) {
        return {RemovalOutcome::NotCompared, {}};
    }
    if (everyCopyConfirmed.count(set) == 0 && !unmarkedCopyStands(found, set, pathText, marks)) {
        return {RemovalOutcome::LastCopy, {}};
    }
    const std::string path = textToPath(pathText);
    const FoundFile &file = *found.find(pathText);
    if (method == RemovalMethod::RecycleBin) {
        return RecycleFile(path, file);
    }
    return OverwriteAndDeleteFile(path, file);
}

void reportNotRemoved(RemovalView &view, const std::vector<std::pair<QString, RemovalResult>> &notRemoved)
{
    if (notRemoved.empty()) {
        return;
    }
    view.addReportLine(QString());
    view.addReportLine(notRemoved.size() == 1
                           ? QStringLiteral("1 marked file was not removed:")
                           : QStringLiteral("%1 marked files were not removed:").arg(notRemoved.size()));
    for (const auto &[pathText, result] : notRemoved) {
        view.addReportLine(ShownPathText(pathText) + QStringLiteral(" \u2014 ") + RemovalReason(result));
    }
}

} // namespace

QString RemovalHeading(RemovalMethod method)
{
    return method == RemovalMethod::RecycleBin ? QStringLiteral("Next files removed to the Recycle bin:")
                                               : QStringLiteral("Next files removed from the Hard drive:");
}

std::vector<int> SetsLosingEveryCopy(TDataGrid &grid, const FoundFileRecord &found)
{
    Marks marks(grid);
    std::vector<int> sets;
    for (int set = 0; set < found.setCount(); ++set) {
        bool everyOne = !found.members(set).empty();
        for (const FoundFileRecord::Member &member : found.members(set)) {
            everyOne = everyOne && marks.marked(member.pathText);
        }
        if (everyOne) {
            sets.push_back(set);
        }
    }
    return sets;
}

void RemoveMarkedFiles(TDataGrid &grid, RemovalView &view, const FoundFileRecord &found,
                       const std::set<int> &everyCopyConfirmed)
{
    view.addReportLine(RemovalHeading(view.selectedMethod()));
    std::vector<std::pair<QString, RemovalResult>> notRemoved;
    try {
        Marks marks(grid);
        const int generation = found.generation();
        const int rowCount = grid.RowCount();
        view.setProgressMaximum(rowCount - 1);
        for (int row = 0; row < rowCount; ++row) {
            view.processMessages();
            view.setProgressPosition(row);
            if (found.generation() != generation) {
                // A search started meanwhile: its rows are not what was marked.
                break;
            }
            if (!grid.CellAt(QStringLiteral("Del"), row).asBoolean()) {
                continue;
            }
            const QString pathText = grid.CellAt(QStringLiteral("Dest"), row).text();
            const RemovalResult result =
                removeMarkedFile(pathText, view.selectedMethod(), found, everyCopyConfirmed, marks);
            if (result.removed()) {
                view.addReportLine(ShownPathText(pathText));
            } else {
                notRemoved.emplace_back(pathText, result);
            }
        }
    } catch (const std::exception &) {
        // Typically rows taken away by a search started meanwhile: the pass
        // ends here; what it did so far is still reported.
    }
    reportNotRemoved(view, notRemoved);
}

} // namespace quillmere
