#pragma once

#include <optional>
#include <string>

namespace quillmere::test {

// The test program's own home and data home, so that trashed files land in a
// trash that the tests can read and that is not the user's. GLib reads HOME and
// XDG_DATA_HOME once, on first use, so both are set before main() runs; TMPDIR
// is pointed inside the same home, which keeps the temporary files on the
// home's file system (the home trash takes only files on it).
class TrashHome {
public:
    static const TrashHome &instance();

    const std::string &home() const { return home_; }
    std::string dataHome() const { return home_ + "/.local/share"; }

    // Whether GLib, and so the desktop's own view of the trash, sees this
    // home; trashing must not run otherwise.
    bool usedByGio() const;
    // Empties the trash.
    void empty() const;
    // The trashed copy of the file that had this path, found through the
    // trash's info entries, or nothing.
    std::optional<std::string> trashedCopyOf(const std::string &originalPath) const;
    int entryCount() const;

    TrashHome(const TrashHome &) = delete;
    TrashHome &operator=(const TrashHome &) = delete;
    ~TrashHome();

private:
    TrashHome();
    std::string home_;
};

} // namespace quillmere::test
