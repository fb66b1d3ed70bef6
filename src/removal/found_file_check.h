#pragma once

#include "platform/file_identity.h"
#include "platform/unique_fd.h"
#include "removal/removal_outcome.h"

#include <optional>
#include <string>
#include <sys/stat.h>

namespace quillmere {

// A found file reached the way the removal reaches it: its folder opened by
// path and checked to be the folder the search saw, then the name looked up
// inside that folder without following a link and checked to be the very file
// the comparison read, in the same state.
class FoundFileEntry {
public:
    // Nothing when the file stands as the search saw it; Gone or Changed
    // otherwise (a folder replaced, by a link or otherwise, is Changed).
    std::optional<RemovalOutcome> open(const std::string &path, const FoundFile &found);

    int folder() const { return folder_.get(); }
    const std::string &name() const { return name_; }
    // What the name led to when it was checked.
    const struct stat &info() const { return info_; }
    // The path of another entry in the same folder.
    std::string sibling(const std::string &name) const;

private:
    std::string path_;
    UniqueFd folder_;
    std::string name_;
    struct stat info_ {};
};

// Whether the found file still stands as the search saw it.
bool FoundFileUnchanged(const std::string &path, const FoundFile &found);

} // namespace quillmere
