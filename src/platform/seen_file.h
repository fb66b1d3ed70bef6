#pragma once

#include <QHash>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace quillmere {

// What the search saw of a file: its length and its last modification. A
// file marked for removal is removed only while both are unchanged, so a file
// that was edited or replaced after it was compared is never removed unseen.
struct SeenFile {
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;

    friend bool operator==(const SeenFile &, const SeenFile &) = default;
};

SeenFile SeenFileFromStat(const struct stat &info);
// From a modification time in nanoseconds since the epoch.
SeenFile SeenFileFromTimes(std::int64_t size, std::int64_t modifiedNs);

// The state of the regular file at exactly this path, without following a
// symbolic link; nothing for anything else or a path that cannot be looked up.
std::optional<SeenFile> SeenFileAt(const std::string &path);

// Finds what the search saw of the file whose path text is given (the text of
// a result row's Dest cell); nothing when the search did not record it.
using SeenFileLookup = std::function<std::optional<SeenFile>(const QString &pathText)>;

// The search's record of the files it compared, keyed by path text. The search
// fills it while it measures the files and empties it when a new search starts.
class SeenFileRecord {
public:
    void clear() { files_.clear(); }
    void remember(const QString &pathText, const SeenFile &file) { files_.insert(pathText, file); }
    std::optional<SeenFile> find(const QString &pathText) const;
    int count() const { return static_cast<int>(files_.size()); }
    SeenFileLookup lookup() const
    {
        return [this](const QString &pathText) { return find(pathText); };
    }

private:
    QHash<QString, SeenFile> files_;
};

} // namespace quillmere
