#pragma once

#include <QString>
#include <string>
#include <vector>

namespace quillmere {

// What was done with one removal folder (see RemovalFolder) that an
// interrupted overwrite left behind.
struct LeftoverResult {
    enum class Action {
        PutBack,      // its file was untouched and got its name back
        NameTaken,    // its file was untouched, but its name is taken: it stays inside
        Surplus,      // its name holds the very same bytes (a link cut short): it was removed
        Finished,     // its file was written in part: overwritten again and deleted
        EmptyRemoved, // it held no file any more and was removed
        LeftAlone,    // it could not be finished; `detail` says why
    };
    Action action = Action::LeftAlone;
    // Where the file lies now or lay; the folder itself when it held none.
    std::string path;
    std::string detail;
};

// Finishes the removal folders at these paths, as the listing collected
// them: an untouched file is moved back under its name in the folder above
// (never replacing an entry), or removed when that name holds the very same
// bytes, as a replacement by a link that was cut short leaves it; one written in part is overwritten three
// times to its end and deleted, and the emptied folder is removed. A folder
// that is no longer one of this user's removal folders, or holds anything
// but one file and its marker, is left alone.
std::vector<LeftoverResult> FinishLeftovers(const std::vector<std::string> &folders);

// One line for a person: the path as shown and what was done.
QString LeftoverLine(const LeftoverResult &result);

} // namespace quillmere
