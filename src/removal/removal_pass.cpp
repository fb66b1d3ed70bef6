#include "removal/removal_pass.h"

#include "platform/locale_formats.h"
#include "platform/path_text.h"
#include "removal/found_file_check.h"
#include "removal/hard_link.h"
#include "removal/overwrite.h"
#include "removal/recycle_bin.h"
#include "platform/unique_fd.h"
#include "table/data_grid.h"

#include <algorithm>
#include <exception>
#include <fcntl.h>
#include <iterator>
#include <optional>
#include <sys/stat.h>

namespace quillmere {

namespace {

bool insideProtectedFolder(const RemovalPlan &plan, const QString &pathText)
{
    return plan.protectedFolders.holds(textToPath(pathText));
}

// Refuses a marked file inside a protected folder, checked on the folder the
// path leads to now, links followed. A folder that is no longer the one the
// search saw cannot be cleared this way: such a file is refused as changed,
// as the removal itself would refuse it.
std::optional<RemovalResult> protectedRefusal(const RemovalPlan &plan, const QString &pathText,
                                              const FoundFile *file)
{
    if (plan.protectedFolders.empty()) {
        return std::nullopt;
    }
    const std::string path = textToPath(pathText);
    const UniqueFd folder(::open(FolderOfPath(path).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) {
        return std::nullopt; // nothing can be removed through it
    }
    if (plan.protectedFolders.holdsFolder(folder.get())) {
        return RemovalResult {RemovalOutcome::Protected};
    }
    struct stat info {};
    if (file != nullptr && (::fstat(folder.get(), &info) != 0 || FolderIdentityOf(info) != file->folder)) {
        return RemovalResult {RemovalOutcome::Changed};
    }
    return std::nullopt;
}

// Whether some other unmarked member of the file's set still stands as the
// comparison read it, so its content survives the removal. A member that is
// the marked file itself (one file reached by two paths) keeps nothing. A
// member inside a protected folder stays whatever its mark.
bool unmarkedCopyStands(const RemovalPlan &plan, int set, const QString &pathText, const FoundFile &file)
{
    for (const FoundFileRecord::Member &member : plan.found.members(set)) {
        const bool sameFile =
            member.file.file.device == file.file.device && member.file.file.inode == file.file.inode;
        if (member.pathText != pathText && !sameFile
            && (!plan.marked.contains(member.pathText) || insideProtectedFolder(plan, member.pathText))
            && FoundFileUnchanged(textToPath(member.pathText), member.file)) {
            return true;
        }
    }
    return false;
}

// Makes the marked file a hard link to the first member of its set that
// stays (unmarked, or inside a protected folder) with the same bytes and
// stands unchanged on the same file system; names that member in `keptText`. When none will do, says why: no such member at
// all, only other names of the marked file itself, or only copies that a
// link cannot reach.
RemovalResult linkMarkedFile(const RemovalPlan &plan, int set, const QString &pathText, QString &keptText)
{
    const FoundFileRecord::Member &marked = *plan.found.findMember(pathText);
    RemovalOutcome refusal = RemovalOutcome::LastCopy;
    for (const FoundFileRecord::Member &member : plan.found.members(set)) {
        const bool stays = !plan.marked.contains(member.pathText) || insideProtectedFolder(plan, member.pathText);
        if (member.pathText == pathText || !stays || !member.sameBytesAsFirst || !marked.sameBytesAsFirst
            || !KeptCopyStands(textToPath(member.pathText), member.file)) {
            continue;
        }
        if (member.file.file.device == marked.file.file.device && member.file.file.inode == marked.file.file.inode) {
            refusal = RemovalOutcome::AlreadyLinked;
            continue;
        }
        RemovalResult result = ReplaceWithHardLink(textToPath(pathText), marked.file, textToPath(member.pathText),
                                                   member.file);
        if (result.outcome == RemovalOutcome::OtherFileSystem || result.outcome == RemovalOutcome::KeptChanged) {
            if (refusal != RemovalOutcome::AlreadyLinked) {
                refusal = result.outcome;
            }
            continue;
        }
        keptText = member.pathText;
        return result;
    }
    return {refusal};
}

RemovalResult removeMarkedFile(const RemovalPlan &plan, const QString &pathText, QString &keptText)
{
    if (std::optional<RemovalResult> refused = protectedRefusal(plan, pathText, plan.found.find(pathText))) {
        return *refused;
    }
    const int set = plan.found.setOf(pathText);
    if (set < 0) {
        return {RemovalOutcome::NotCompared, {}};
    }
    if (plan.method == RemovalMethod::HardLinks) {
        return linkMarkedFile(plan, set, pathText, keptText);
    }
    const FoundFile &file = *plan.found.find(pathText);
    if (plan.everyCopyConfirmed.count(set) == 0 && !unmarkedCopyStands(plan, set, pathText, file)) {
        return {RemovalOutcome::LastCopy, {}};
    }
    const std::string path = textToPath(pathText);
    RemovalResult result =
        plan.method == RemovalMethod::RecycleBin ? RecycleFile(path, file) : OverwriteAndDeleteFile(path, file);
    // Neither method takes a file that has other names, so its length is
    // what goes.
    if (result.removed()) {
        result.bytesFreed = file.file.size;
    }
    return result;
}

using Unremoved = std::vector<std::pair<QString, RemovalResult>>;

// One section after the removed files: an empty line, a count, and each
// file with the reason in plain words.
void reportSection(RemovalView &view, const Unremoved &files, const QString &one, const QString &many)
{
    if (files.empty()) {
        return;
    }
    view.addReportLine(QString());
    view.addReportLine(files.size() == 1 ? one : many.arg(files.size()));
    for (const auto &[pathText, result] : files) {
        view.addReportLine(ShownPathText(pathText) + QStringLiteral(" \u2014 ") + RemovalReason(result));
    }
}

// What a removed file was like, when it was a similar picture rather than a
// copy of the bytes kept: "<path> — 93% like <path>". A member is set
// against its set's first picture; a first picture removed is set against
// the kept member most like it, unless a member with its very bytes stays.
// Nothing for a file that an identical copy outlives, or none at all.
std::optional<QString> similarLine(const RemovalPlan &plan, const QSet<QString> &removed, const QString &pathText)
{
    const int set = plan.found.setOf(pathText);
    if (set < 0) {
        return std::nullopt;
    }
    const std::vector<FoundFileRecord::Member> &members = plan.found.members(set);
    const FoundFileRecord::Member &first = members.front();
    const auto line = [](const QString &path, int similarity, const QString &like) {
        return ShownPathText(path) + QStringLiteral(" \u2014 %1% like ").arg(similarity) + ShownPathText(like);
    };
    if (first.pathText != pathText) {
        const FoundFileRecord::Member &member = *plan.found.findMember(pathText);
        if (member.sameBytesAsFirst) {
            return std::nullopt;
        }
        return line(pathText, member.similarity, first.pathText);
    }
    const FoundFileRecord::Member *likest = nullptr;
    for (const FoundFileRecord::Member &member : members) {
        if (member.pathText == pathText || removed.contains(member.pathText)
            || !FoundFileUnchanged(textToPath(member.pathText), member.file)) {
            continue;
        }
        if (member.sameBytesAsFirst) {
            return std::nullopt;
        }
        if (likest == nullptr || member.similarity > likest->similarity) {
            likest = &member;
        }
    }
    if (likest == nullptr) {
        return std::nullopt;
    }
    return line(pathText, likest->similarity, likest->pathText);
}

// The removed files that were similar pictures, not copies of the bytes
// kept, behind an empty line and a count, so that nobody takes them for
// exact copies.
void reportSimilarRemoved(RemovalView &view, const RemovalPlan &plan, const std::vector<QString> &removedInOrder)
{
    const QSet<QString> removed(removedInOrder.begin(), removedInOrder.end());
    std::vector<QString> lines;
    for (const QString &pathText : removedInOrder) {
        if (std::optional<QString> line = similarLine(plan, removed, pathText)) {
            lines.push_back(std::move(*line));
        }
    }
    if (lines.empty()) {
        return;
    }
    view.addReportLine(QString());
    view.addReportLine(lines.size() == 1
                           ? QStringLiteral("1 removed file was similar, not identical, to the copy kept:")
                           : QStringLiteral("%1 removed files were similar, not identical, to the copy kept:")
                                 .arg(lines.size()));
    for (const QString &line : lines) {
        view.addReportLine(line);
    }
}

} // namespace

RemovalPlan PlanRemoval(TDataGrid &grid, const FoundFileRecord &found, RemovalMethod method)
{
    RemovalPlan plan;
    plan.method = method;
    plan.found = found;
    const int rowCount = grid.RowCount();
    plan.rows.reserve(static_cast<std::size_t>(rowCount));
    for (int row = 0; row < rowCount; ++row) {
        RemovalPlan::Row planned {grid.CellAt(QStringLiteral("Dest"), row).text(),
                                  grid.CellAt(QStringLiteral("Del"), row).asBoolean()};
        if (planned.marked) {
            plan.marked.insert(planned.pathText);
        }
        plan.rows.push_back(std::move(planned));
    }
    return plan;
}

QString RemovalHeading(RemovalMethod method)
{
    switch (method) {
    case RemovalMethod::RecycleBin:
        return QStringLiteral("Next files removed to the Recycle bin:");
    case RemovalMethod::HardDrive:
        break;
    case RemovalMethod::HardLinks:
        return QStringLiteral("Next files replaced by links to the copy kept:");
    }
    return QStringLiteral("Next files removed from the Hard drive:");
}

RemovalSummary SummarizeRemoval(const RemovalPlan &plan)
{
    RemovalSummary summary;
    // A protected file stays whatever its mark.
    const auto removable = [&plan](const QString &pathText) {
        return plan.marked.contains(pathText) && !insideProtectedFolder(plan, pathText);
    };
    for (const RemovalPlan::Row &row : plan.rows) {
        summary.files += row.marked && !insideProtectedFolder(plan, row.pathText) ? 1 : 0;
    }
    const std::vector<int> losing = SetsLosingEveryCopy(plan);
    summary.setsLosingEveryCopy = static_cast<int>(losing.size());
    // A file's bytes come back once, when its last name goes: never while an
    // unmarked row names it (with hard links, the kept copy itself), and
    // with hard links never in a set where no copy stays to link to.
    QSet<std::pair<dev_t, ino_t>> kept;
    QSet<std::pair<dev_t, ino_t>> counted;
    for (int set = 0; set < plan.found.setCount(); ++set) {
        for (const FoundFileRecord::Member &member : plan.found.members(set)) {
            if (!removable(member.pathText)) {
                kept.insert({member.file.file.device, member.file.file.inode});
            }
        }
    }
    for (int set = 0; set < plan.found.setCount(); ++set) {
        if (plan.method == RemovalMethod::HardLinks && std::find(losing.begin(), losing.end(), set) != losing.end()) {
            continue;
        }
        for (const FoundFileRecord::Member &member : plan.found.members(set)) {
            const std::pair<dev_t, ino_t> inode {member.file.file.device, member.file.file.inode};
            if (removable(member.pathText) && !kept.contains(inode) && !counted.contains(inode)) {
                counted.insert(inode);
                summary.bytes += std::max<std::int64_t>(member.file.file.size, 0);
            }
        }
    }
    return summary;
}

QString ByteCountText(std::int64_t bytes)
{
    if (bytes < 1024) {
        return QString::number(bytes) + QStringLiteral(" B");
    }
    // The units of the table's Size column, with two decimals in the
    // locale's own separator.
    static const char *const kUnits[] = {" KB", " MB", " GB", " TB"};
    double value = static_cast<double>(bytes) / 1024;
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(kUnits)) {
        value /= 1024;
        ++unit;
    }
    QString number = QString::number(value, 'f', 2);
    number.replace(QLatin1Char('.'), localeFormats().decimalSeparator);
    return number + QLatin1String(kUnits[unit]);
}

QString RemovalSummaryText(const RemovalSummary &summary, RemovalMethod method)
{
    QString text = summary.files == 1 ? QStringLiteral("1 file is marked")
                                      : QStringLiteral("%1 files are marked").arg(summary.files);
    text += method == RemovalMethod::HardLinks ? QStringLiteral("; replacing them by links frees ")
                                               : QStringLiteral("; removing them frees ");
    text += ByteCountText(summary.bytes) + QLatin1Char('.');
    if (summary.setsLosingEveryCopy > 0) {
        const bool one = summary.setsLosingEveryCopy == 1;
        if (method == RemovalMethod::HardLinks) {
            text += one ? QStringLiteral("\n1 set has every copy marked: no copy stays to link to, so its files "
                                         "stay.")
                        : QStringLiteral("\n%1 sets have every copy marked: no copy stays to link to, so their "
                                         "files stay.")
                              .arg(summary.setsLosingEveryCopy);
        } else {
            text += one ? QStringLiteral("\n1 set would lose every copy.")
                        : QStringLiteral("\n%1 sets would lose every copy.").arg(summary.setsLosingEveryCopy);
        }
    }
    return text;
}

QString SpaceFreedLine(std::int64_t bytes, RemovalMethod method)
{
    if (method == RemovalMethod::RecycleBin) {
        return QStringLiteral("Space freed once the trash is emptied: ") + ByteCountText(bytes);
    }
    return QStringLiteral("Space freed: ") + ByteCountText(bytes);
}

std::vector<int> SetsLosingEveryCopy(const RemovalPlan &plan)
{
    std::vector<int> sets;
    for (int set = 0; set < plan.found.setCount(); ++set) {
        bool everyOne = !plan.found.members(set).empty();
        for (const FoundFileRecord::Member &member : plan.found.members(set)) {
            everyOne = everyOne && plan.marked.contains(member.pathText)
                && !insideProtectedFolder(plan, member.pathText);
        }
        if (everyOne) {
            sets.push_back(set);
        }
    }
    return sets;
}

void RemoveMarkedFiles(const RemovalPlan &plan, RemovalView &view)
{
    view.addReportLine(RemovalHeading(plan.method));
    Unremoved notRemoved;
    // Deleted, but not every byte was overwritten: neither removed as asked
    // nor still there.
    Unremoved incomplete;
    std::vector<QString> removed;
    std::int64_t freed = 0;
    try {
        const int rowCount = static_cast<int>(plan.rows.size());
        view.setProgressMaximum(rowCount - 1);
        for (int row = 0; row < rowCount; ++row) {
            view.processMessages();
            view.setProgressPosition(row);
            const RemovalPlan::Row &planned = plan.rows[static_cast<std::size_t>(row)];
            if (!planned.marked) {
                continue;
            }
            QString keptText;
            const RemovalResult result = removeMarkedFile(plan, planned.pathText, keptText);
            if (result.removed()) {
                view.addReportLine(keptText.isEmpty() ? ShownPathText(planned.pathText)
                                                      : ShownPathText(planned.pathText)
                                           + QStringLiteral(" \u2014 replaced by a link to ")
                                           + ShownPathText(keptText));
                removed.push_back(planned.pathText);
                freed += result.bytesFreed;
            } else {
                (result.outcome == RemovalOutcome::Incomplete ? incomplete : notRemoved)
                    .emplace_back(planned.pathText, result);
            }
        }
    } catch (const std::exception &) {
        // Out of memory or the like: the pass ends here; what it did so far
        // is still reported.
    }
    try {
        reportSimilarRemoved(view, plan, removed);
    } catch (const std::exception &) {
        // Out of memory: the files removed are listed above all the same.
    }
    reportSection(view, incomplete, QStringLiteral("1 marked file was deleted but not wholly overwritten:"),
                  QStringLiteral("%1 marked files were deleted but not wholly overwritten:"));
    reportSection(view, notRemoved, QStringLiteral("1 marked file was not removed:"),
                  QStringLiteral("%1 marked files were not removed:"));
    view.addReportLine(QString());
    view.addReportLine(SpaceFreedLine(freed, plan.method));
}

} // namespace quillmere
