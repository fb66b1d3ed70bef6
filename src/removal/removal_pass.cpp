#include "removal/removal_pass.h"

#include "platform/path_text.h"
#include "removal/overwrite.h"
#include "removal/recycle_bin.h"
#include "table/data_grid.h"

#include <exception>

namespace quillmere {

QString RemovalHeading(RemovalMethod method)
{
    return method == RemovalMethod::RecycleBin ? QStringLiteral("Next files removed to the Recycle bin:")
                                               : QStringLiteral("Next files removed from the Hard drive:");
}

bool RemoveMarkedFile(const QString &pathText, RemovalMethod method, const std::optional<SeenFile> &seen)
{
    if (!seen) {
        return false;
    }
    const std::string path = textToPath(pathText);
    if (method == RemovalMethod::RecycleBin) {
        return RecycleFile(path, seen);
    }
    return OverwriteAndDeleteFile(path, seen);
}

void RemoveMarkedFiles(TDataGrid &grid, RemovalView &view, const SeenFileLookup &seenFiles)
{
    view.addReportLine(RemovalHeading(view.selectedMethod()));
    try {
        const int rowCount = grid.RowCount();
        view.setProgressMaximum(rowCount - 1);
        for (int row = 0; row < rowCount; ++row) {
            view.processMessages();
            view.setProgressPosition(row);
            if (!grid.CellAt(QStringLiteral("Del"), row).asBoolean()) {
                continue;
            }
            const QString pathText = grid.CellAt(QStringLiteral("Dest"), row).text();
            const std::optional<SeenFile> seen = seenFiles ? seenFiles(pathText) : std::nullopt;
            if (RemoveMarkedFile(pathText, view.selectedMethod(), seen)) {
                view.addReportLine(pathText);
            }
        }
    } catch (const std::exception &) {
        // Typically rows taken away by a search started meanwhile: the pass
        // ends here, the lines written so far stay and nothing is reported.
    }
}

} // namespace quillmere
