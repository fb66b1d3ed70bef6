#pragma once

#include <QString>
#include <cstdint>
#include <string>
#include <utility>

namespace quillmere {

// What became of one marked file.
enum class RemovalOutcome {
    Removed,
    NotCompared,  // the search did not declare this file identical to another
    Gone,         // no longer there
    Changed,      // another file or another state than the search compared
    LastCopy,     // no unmarked copy of its content is left unchanged
    OtherNames,   // hard links: overwriting would destroy what they hold
    NotWritable,  // cannot be opened for writing
    FolderLocked, // its folder does not let its entries be removed
    NotWritten,   // a write failed before any byte changed; the file is as it was
    TrashRefused, // the trash did not take it
    Stranded,     // overwritten, but a name of it could not be removed
    Incomplete,   // deleted, but not every pass was written over it
    Protected,    // inside a folder the user never removes from
    OtherFileSystem, // a link cannot reach the kept copy from another file system
    KeptChanged,     // the copy to link to is not the one the search read, unchanged
    AlreadyLinked,   // already another name of the kept copy: nothing to free
    NotLinked,       // the link could not be made or put in place; the file is as it was
    LinkedNotFreed,  // its name leads to the kept copy, but its old content could not be let go
};

struct RemovalResult {
    RemovalResult() = default;
    RemovalResult(RemovalOutcome outcome, std::string leftAt = {}, std::string detail = {})
        : outcome(outcome)
        , leftAt(std::move(leftAt))
        , detail(std::move(detail))
    {
    }

    RemovalOutcome outcome = RemovalOutcome::Removed;
    // Stranded: where the destroyed file lies now. Changed and NotWritten:
    // where an untouched file that could not get its name back lies.
    std::string leftAt;
    // Why a write or a step failed, in plain words (a system error's text).
    std::string detail;
    // Bytes whose last name went: the space the removal gives back.
    std::int64_t bytesFreed = 0;

    bool removed() const { return outcome == RemovalOutcome::Removed; }
};

// The plain words of the report for a file that was not removed.
QString RemovalReason(const RemovalResult &result);

} // namespace quillmere
