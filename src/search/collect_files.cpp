#include "search/collect_files.h"

#include "common/stop_flag.h"
#include "platform/directory_reader.h"
#include "platform/path_text.h"
#include "platform/removal_folder_name.h"
#include "search/file_list.h"
#include "search/name_mask.h"
#include "search/search_view.h"

#include <climits>
#include <span>
#include <string>
#include <vector>

namespace quillmere {

namespace {

// A folder keeps its descriptor open, to open its subfolders from, only on
// the first 32 levels and on every 32nd level below them. However deep the
// tree, the walk then holds at most 32 + PATH_MAX / 64 descriptors, and any
// subfolder is reached from the nearest open folder above it by at most 32
// names.
constexpr std::size_t kLevelsHeldOpen = 32;

bool holdsOpen(std::size_t depth)
{
    return depth < kLevelsHeldOpen || depth % kLevelsHeldOpen == 0;
}

struct FolderEntry {
    std::string name;
    DirectoryReader::Kind kind;
};

struct HeldFolder {
    std::size_t depth;
    const DirectoryReader *reader;
};

struct Walk {
    FileMask mask;
    FileList &list;
    bool recurse;
    SearchView &view;
    // The folders being listed, from the start folder down: their names (the
    // start folder's is empty) and identities.
    std::vector<DirectoryReader::Step> levels;
    // The folders among them that are still open, shallowest first.
    std::vector<HeldFolder> held;
    // Where this user's removal folders met go, when anyone asks.
    std::vector<std::string> *removalFolders;
};

bool isDotEntry(const std::string &name)
{
    return name == "." || name == "..";
}

bool alreadyBeingListed(const Walk &walk, const DirectoryReader &reader)
{
    for (const DirectoryReader::Step &level : walk.levels) {
        if (level.device == reader.device() && level.inode == reader.inode()) {
            return true;
        }
    }
    return false;
}

// Every entry of the folder in the order the file system gives them, "."
// and ".." included; a read error ends the folder there.
std::vector<FolderEntry> readEntries(DirectoryReader &reader)
{
    std::vector<FolderEntry> entries;
    DirectoryReader::Entry entry;
    while (reader.next(entry)) {
        entries.push_back({ entry.name, entry.kind });
    }
    return entries;
}

// Opens the subfolder `name` of the deepest folder being listed.
DirectoryReader openSubfolder(const Walk &walk, const DirectoryReader &reader, const std::string &name)
{
    if (reader.isOpen()) {
        return DirectoryReader::openChild(reader, name.c_str());
    }
    const HeldFolder &anchor = walk.held.back();
    const std::span<const DirectoryReader::Step> via(walk.levels.begin() + static_cast<std::ptrdiff_t>(anchor.depth) + 1,
                                                     walk.levels.end());
    return DirectoryReader::openBelow(*anchor.reader, via, name.c_str());
}

// A removal folder is never listed: the file in it is being, or was being,
// overwritten. Only this user's own are collected; a link is never followed.
void noteRemovalFolder(Walk &walk, const DirectoryReader &reader, const std::string &folder, const std::string &name)
{
    if (walk.removalFolders == nullptr) {
        return;
    }
    const DirectoryReader found = openSubfolder(walk, reader, name);
    if (found.isOpen() && IsOwnRemovalFolder(found.mode(), found.owner())) {
        walk.removalFolders->push_back(folder + name);
    }
}

// Lists one folder (`folder` ends with "/"), the deepest of walk.levels;
// returns true when a stop request was seen, which ends the listing of every
// folder above too. The folder's entries are read whole first; it stays open
// only when it is to anchor deeper folders.
bool listFolder(Walk &walk, DirectoryReader &reader, const std::string &folder)
{
    FileList::UpdateScope update(walk.list);
    if (!reader.isOpen()) {
        return false;
    }
    const std::vector<FolderEntry> entries = readEntries(reader);
    const std::size_t depth = walk.levels.size() - 1;
    const bool anchors = holdsOpen(depth);
    if (anchors) {
        walk.held.push_back({ depth, &reader });
    } else {
        reader.close();
    }
    bool stopped = false;
    for (const FolderEntry &entry : entries) {
        if (entry.kind == DirectoryReader::Kind::Folder && IsRemovalFolderName(entry.name)) {
            noteRemovalFolder(walk, reader, folder, entry.name);
        } else if (entry.kind == DirectoryReader::Kind::Folder) {
            if (walk.recurse && !isDotEntry(entry.name)) {
                const std::string subfolder = folder + entry.name;
                // Deeper paths could not be opened by name later anyway; this
                // also bounds the depth of the walk.
                if (subfolder.size() + 1 < PATH_MAX) {
                    DirectoryReader child = openSubfolder(walk, reader, entry.name);
                    if (child.isOpen() && !alreadyBeingListed(walk, child)) {
                        walk.list.folders().add(subfolder, { child.device(), child.inode() });
                        walk.levels.push_back({ entry.name, child.device(), child.inode() });
                        listFolder(walk, child, subfolder + "/");
                        walk.levels.pop_back();
                    }
                }
                walk.view.setLabel1(QStringLiteral("Files Search: ") + pathToText(subfolder));
                walk.view.setLabel3(QStringLiteral("Found files: ") + QString::number(walk.list.count()));
                if (StopFlag == 1) {
                    stopped = true;
                    break;
                }
            }
        } else if (entry.kind == DirectoryReader::Kind::RegularFile && walk.mask.matches(entry.name)) {
            walk.list.append(folder + entry.name);
            walk.view.pumpMessages();
            if (StopFlag == 1) {
                stopped = true;
                break;
            }
        }
        // The advance to the next entry.
        walk.view.pumpMessages();
    }
    if (anchors) {
        walk.held.pop_back();
    }
    return stopped;
}

} // namespace

void CollectFiles(const std::string &folder, const QString &mask, FileList &list, bool recurse, SearchView &view,
                  std::vector<std::string> *removalFolders)
{
    std::string start = folder;
    if (start.empty() || start.back() != '/') {
        start += '/';
    }
    Walk walk { FileMask(mask), list, recurse, view, {}, {}, removalFolders };
    // The start folder is the user's explicit choice, so a link naming it is
    // followed; links met inside the tree never are.
    DirectoryReader reader = DirectoryReader::openPath(start, true);
    if (reader.isOpen()) {
        list.folders().addStart(FolderKey(start), { reader.device(), reader.inode() });
    }
    walk.levels.push_back({ std::string(), reader.device(), reader.inode() });
    listFolder(walk, reader, start);
}

} // namespace quillmere
