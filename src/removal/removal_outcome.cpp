#include "removal/removal_outcome.h"

#include "platform/path_text.h"

namespace quillmere {

namespace {

QString withDetail(const QString &text, const std::string &detail)
{
    return detail.empty() ? text : text + QStringLiteral(" (") + QString::fromStdString(detail) + QLatin1Char(')');
}

} // namespace

QString RemovalReason(const RemovalResult &result)
{
    switch (result.outcome) {
    case RemovalOutcome::Removed:
        return {};
    case RemovalOutcome::NotCompared:
        return QStringLiteral("not among the identical files of this search");
    case RemovalOutcome::Gone:
        return QStringLiteral("no longer exists");
    case RemovalOutcome::Changed:
        if (!result.leftAt.empty()) {
            return QStringLiteral("changed since the search; a file that could not get its name back lies, "
                                  "untouched, at ")
                + ShownPath(result.leftAt);
        }
        return QStringLiteral("changed since the search");
    case RemovalOutcome::LastCopy:
        return QStringLiteral("kept: it is the last copy of its content (no unmarked copy is left unchanged)");
    case RemovalOutcome::OtherNames:
        return QStringLiteral("kept: other names (hard links) share its content");
    case RemovalOutcome::NotWritable:
        return QStringLiteral("no permission to overwrite it");
    case RemovalOutcome::FolderLocked:
        return QStringLiteral("its folder does not allow removing it");
    case RemovalOutcome::NotWritten:
        if (!result.leftAt.empty()) {
            return withDetail(QStringLiteral("could not be overwritten"), result.detail)
                + QStringLiteral("; it now lies, unchanged, at ") + ShownPath(result.leftAt);
        }
        return withDetail(QStringLiteral("could not be overwritten"), result.detail)
            + QStringLiteral("; left as it was");
    case RemovalOutcome::TrashRefused:
        return QStringLiteral("could not be moved to the trash");
    case RemovalOutcome::Stranded:
        if (result.leftAt.empty()) {
            return QStringLiteral("overwritten but not deleted: ") + QString::fromStdString(result.detail);
        }
        return QStringLiteral("overwritten but could not be deleted; it now lies at ") + ShownPath(result.leftAt);
    case RemovalOutcome::Protected:
        return QStringLiteral("kept: it is inside a protected folder");
    case RemovalOutcome::Incomplete:
        return QStringLiteral("the overwrite stopped part way (") + QString::fromStdString(result.detail)
            + QStringLiteral("); the file was deleted, but some of its old content may remain on the disk");
    case RemovalOutcome::OtherFileSystem:
        return QStringLiteral("kept: it is on another file system than the copy kept, so it cannot be a link to it");
    case RemovalOutcome::KeptChanged:
        return QStringLiteral("kept: the copy it was to be linked to changed since the search");
    case RemovalOutcome::AlreadyLinked:
        return QStringLiteral("already a link to the copy kept; nothing to free");
    case RemovalOutcome::NotLinked:
        return withDetail(QStringLiteral("could not be replaced by a link"), result.detail)
            + QStringLiteral("; left as it was");
    case RemovalOutcome::LinkedNotFreed:
        return QStringLiteral("replaced by a link to the copy kept, but its old content could not be deleted; it "
                              "lies at ")
            + ShownPath(result.leftAt);
    }
    return {};
}

} // namespace quillmere
