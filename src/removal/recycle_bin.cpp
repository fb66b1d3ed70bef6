#include "removal/recycle_bin.h"

#include "platform/trash.h"
#include "removal/found_file_check.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace quillmere {

namespace {

// Whether what arrived in the trash is the marked file as the comparison read
// it. The move itself sets its change time, so that one is not compared.
bool isMarkedFile(const struct stat &info, const FileIdentity &file)
{
    return S_ISREG(info.st_mode) && SameFile(info, file) && static_cast<std::int64_t>(info.st_size) == file.size
        && FileIdentityOf(info).modifiedNs == file.modifiedNs;
}

} // namespace

RemovalResult RecycleFile(const std::string &path, const FoundFile &found)
{
    FoundFileEntry entry;
    if (const auto problem = entry.open(path, found)) {
        return {*problem, {}};
    }
    TrashMove move = MoveToTrash(entry.folder(), entry.name());
    if (move.status == TrashMoveStatus::Gone) {
        return {RemovalOutcome::Gone, {}};
    }
    if (move.status != TrashMoveStatus::Moved || !move.entry) {
        return {RemovalOutcome::TrashRefused, {}};
    }
    // Another file may have taken the name between the check and the move.
    TrashedEntry &trashed = *move.entry;
    struct stat arrived {};
    if (::fstatat(trashed.filesFolder(), trashed.name().c_str(), &arrived, AT_SYMLINK_NOFOLLOW) == 0
        && isMarkedFile(arrived, found.file)) {
        return {};
    }
    if (trashed.putBack(entry.folder(), entry.name())) {
        return {RemovalOutcome::Changed, {}};
    }
    return {RemovalOutcome::Changed, trashed.path()};
}

} // namespace quillmere
