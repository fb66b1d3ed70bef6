#pragma once

#include <QString>
#include <string>

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
    Stranded,     // overwritten, but its private name could not be removed
};

struct RemovalResult {
    RemovalOutcome outcome = RemovalOutcome::Removed;
    // Stranded: where the destroyed file lies now. Changed: where another
    // file that took the marked name meanwhile was left, if it could not be
    // put back.
    std::string leftAt;

    bool removed() const { return outcome == RemovalOutcome::Removed; }
};

// The plain words of the report for a file that was not removed.
QString RemovalReason(const RemovalResult &result);

} // namespace quillmere
