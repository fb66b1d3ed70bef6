#include "removal/removal_outcome.h"

#include "platform/path_text.h"

namespace quillmere {

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
            return QStringLiteral("changed since the search; the file that took its name now lies at ")
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
            return QStringLiteral("could not be overwritten; it now lies, unchanged, at ") + ShownPath(result.leftAt);
        }
        return QStringLiteral("could not be overwritten; left as it was");
    case RemovalOutcome::TrashRefused:
        return QStringLiteral("could not be moved to the trash");
    case RemovalOutcome::Stranded:
        return QStringLiteral("overwritten but could not be deleted; it now lies at ") + ShownPath(result.leftAt);
    }
    return {};
}

} // namespace quillmere
