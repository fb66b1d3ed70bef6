#pragma once

#include <QTemporaryDir>
#include <string>

namespace quillmere::test {

// A temporary folder that tests fill with files, folders, links and FIFOs.
// Paths are byte strings, so names that are not valid UTF-8 work too.
class TempTree {
public:
    TempTree();
    // Removes the whole tree by its byte paths, whatever the names and the
    // modes left in it (QTemporaryDir cannot remove names that are not UTF-8).
    ~TempTree();
    TempTree(const TempTree &) = delete;
    TempTree &operator=(const TempTree &) = delete;
    const std::string &root() const { return root_; }
    std::string path(const std::string &relative) const;

    std::string writeFile(const std::string &relative, const std::string &bytes) const;
    std::string makeFolder(const std::string &relative) const;
    std::string makeFifo(const std::string &relative) const;
    std::string makeSymlink(const std::string &relative, const std::string &target) const;
    static std::string readFile(const std::string &path);
    static bool exists(const std::string &path);

private:
    QTemporaryDir dir_;
    std::string root_;
};

// Replaces the file at `path` by a new file (another inode) with `bytes`,
// renamed over it, its modification time copied from the old one, as sync
// tools and some editors do.
void replaceKeepingTimes(const std::string &path, const std::string &bytes);

} // namespace quillmere::test
