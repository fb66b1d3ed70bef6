#include "search/collect_files.h"

#include "app/stop_flag.h"
#include "platform/directory_reader.h"
#include "platform/path_text.h"
#include "search/file_list.h"
#include "search/name_mask.h"
#include "search/search_view.h"

#include <climits>
#include <cstring>
#include <utility>
#include <vector>

namespace quillmere {

namespace {

struct Walk {
    NameMask mask;
    FileList &list;
    bool recurse;
    SearchView &view;
    // Identities of the folders being listed, from the start folder down.
    std::vector<std::pair<dev_t, ino_t>> open;
};

bool isDotEntry(const char *name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

bool alreadyOpen(const Walk &walk, const DirectoryReader &reader)
{
    for (const auto &[device, inode] : walk.open) {
        if (device == reader.device() && inode == reader.inode()) {
            return true;
        }
    }
    return false;
}

// Lists one folder (`folder` ends with "/"); returns true when a stop request
// was seen, which ends the listing of every folder above too.
bool listFolder(Walk &walk, DirectoryReader &reader, const std::string &folder)
{
    FileList::UpdateScope update(walk.list);
    DirectoryReader::Entry entry;
    if (!reader.isOpen() || !reader.next(entry)) {
        return false;
    }
    for (;;) {
        if (entry.kind == DirectoryReader::Kind::Folder) {
            if (walk.recurse && !isDotEntry(entry.name)) {
                const std::string subfolder = folder + entry.name;
                // Deeper paths could not be opened by name later anyway; this
                // also bounds the depth of the walk.
                if (subfolder.size() + 1 < PATH_MAX) {
                    DirectoryReader child = DirectoryReader::openChild(reader, entry.name);
                    if (child.isOpen() && !alreadyOpen(walk, child)) {
                        walk.open.emplace_back(child.device(), child.inode());
                        listFolder(walk, child, subfolder + "/");
                        walk.open.pop_back();
                    }
                }
                walk.view.setLabel1(QStringLiteral("Files Search: ") + pathToText(subfolder));
                walk.view.setLabel3(QStringLiteral("Found files: ") + QString::number(walk.list.count()));
                if (StopFlag == 1) {
                    return true;
                }
            }
        } else if (entry.kind == DirectoryReader::Kind::RegularFile && walk.mask.matches(entry.name)) {
            walk.list.append(folder + entry.name);
            walk.view.pumpMessages();
            if (StopFlag == 1) {
                return true;
            }
        }
        const bool more = reader.next(entry);
        walk.view.pumpMessages();
        if (!more) {
            return false;
        }
    }
}

} // namespace

void CollectFiles(const std::string &folder, const QString &mask, FileList &list, bool recurse, SearchView &view)
{
    std::string start = folder;
    if (start.empty() || start.back() != '/') {
        start += '/';
    }
    Walk walk { NameMask(mask), list, recurse, view, {} };
    // The start folder is the user's explicit choice, so a link naming it is
    // followed; links met inside the tree never are.
    DirectoryReader reader = DirectoryReader::openPath(start, true);
    if (reader.isOpen()) {
        walk.open.emplace_back(reader.device(), reader.inode());
    }
    listFolder(walk, reader, start);
}

} // namespace quillmere
