#include "cli/list_mode.h"

#include "common/stop_flag.h"
#include "cli/command_line.h"
#include "cli/json_path.h"
#include "platform/folder_set.h"
#include "cli/mask_texts.h"
#include "imaging/picture_content.h"
#include "imaging/picture_formats.h"
#include "platform/absolute_path.h"
#include "platform/file_cache.h"
#include "platform/path_text.h"
#include "search/collect_files.h"
#include "search/compare_stage.h"
#include "search/file_list.h"
#include "search/measure_stage.h"
#include "search/path_rules.h"
#include "search/search_view.h"
#include "search/similar_search.h"
#include "platform/processor_count.h"
#include "table/program_tables.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <functional>
#include <algorithm>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace quillmere {

namespace {

// Shows the stage and the file or count on one line of a terminal, a few
// times a second at most.
class TerminalProgress : public SearchView {
public:
    explicit TerminalProgress(std::FILE *err)
        : err_(err)
    {
    }
    ~TerminalProgress() override
    {
        if (shown_) {
            std::fputs("\r\033[K", err_);
            std::fflush(err_);
        }
    }
    void setLabel1(const QString &text) override
    {
        label1_ = text;
        show();
    }
    void setLabel3(const QString &text) override
    {
        label3_ = text;
        show();
    }
    void setLabel4(const QString &) override { }
    void setProgressMaximum(int) override { }
    void setProgressPosition(int) override { }
    void pumpMessages() override { }

private:
    void show()
    {
        const auto now = std::chrono::steady_clock::now();
        if (shown_ && now - last_ < std::chrono::milliseconds(200)) {
            return;
        }
        last_ = now;
        shown_ = true;
        std::string line = ShownPathText(label1_ + QLatin1Char(' ') + label3_).toStdString();
        if (line.size() > 100) {
            line = line.substr(0, 48) + "..." + line.substr(line.size() - 48);
        }
        std::fprintf(err_, "\r\033[K%s", line.c_str());
        std::fflush(err_);
    }

    std::FILE *err_;
    QString label1_;
    QString label3_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_;
};

// Why the folder cannot be searched, or nothing.
std::string folderProblem(const std::string &folder)
{
    const std::string shown = ShownPath(folder).toStdString();
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        return "cannot search \"" + shown + "\": " + std::strerror(errno);
    }
    if (!S_ISDIR(info.st_mode)) {
        return "cannot search \"" + shown + "\": not a folder";
    }
    DIR *dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return "cannot search \"" + shown + "\": " + std::strerror(errno);
    }
    ::closedir(dir);
    return {};
}

// One file as a JSON object: its path, its size in bytes and, for a picture
// a format reads, the upright picture's width and height from its headers.
std::string jsonFile(const std::string &path)
{
    std::string object = "{\"path\": " + JsonPathString(path);
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        object += ", \"size\": " + std::to_string(static_cast<long long>(info.st_size));
    }
    if (const std::optional<QSize> size = UprightPictureSize(path)) {
        object += ", \"width\": " + std::to_string(size->width()) + ", \"height\": " + std::to_string(size->height());
    }
    return object + "}";
}

// A file's JSON object with "protected": true added when the file lies in a
// protected folder.
std::string withProtection(std::string object, const std::string &path, const FolderSet &protection)
{
    if (protection.holds(path)) {
        object.insert(object.size() - 1, ", \"protected\": true");
    }
    return object;
}

// One file of a printed set: its raw path bytes, and its JSON object.
struct PrintedFile {
    std::string path;
    std::string json;
};

// Prints sets as raw paths, one per line with an empty line between sets,
// or as a JSON array of sets of file objects.
void printSetList(std::size_t sets, const std::function<std::size_t(std::size_t set)> &sizeOf,
                  const std::function<PrintedFile(std::size_t set, std::size_t i)> &fileOf, bool json,
                  std::FILE *out)
{
    if (json) {
        std::fputs("[", out);
    }
    for (std::size_t set = 0; set < sets; ++set) {
        if (json) {
            std::fputs(set == 0 ? "\n  [" : ",\n  [", out);
        } else if (set > 0) {
            std::fputc('\n', out);
        }
        for (std::size_t i = 0; i < sizeOf(set); ++i) {
            const PrintedFile file = fileOf(set, i);
            if (json) {
                std::fprintf(out, "%s%s", i == 0 ? "\n    " : ",\n    ", file.json.c_str());
            } else {
                std::fwrite(file.path.data(), 1, file.path.size(), out);
                std::fputc('\n', out);
            }
        }
        if (json) {
            std::fputs("\n  ]", out);
        }
    }
    if (json) {
        std::fputs(sets == 0 ? "]\n" : "\n]\n", out);
    }
    std::fflush(out);
}

void printSets(TDataGrid &pairs, const std::vector<int> &setSizes, const FolderSet &protection, bool json,
               std::FILE *out)
{
    // Where each set starts in the pair table; a set never reaches past it.
    std::vector<int> firstRow;
    int row = 0;
    for (const int size : setSizes) {
        firstRow.push_back(row);
        row += size;
    }
    const int rows = pairs.RowCount();
    printSetList(
        setSizes.size(),
        [&](std::size_t set) {
            return static_cast<std::size_t>(std::clamp(rows - firstRow[set], 0, setSizes[set]));
        },
        [&](std::size_t set, std::size_t i) {
            std::string path = textToPath(pairs.CellAt(0, firstRow[set] + static_cast<int>(i)).text());
            std::string object = json ? withProtection(jsonFile(path), path, protection) : std::string();
            return PrintedFile {std::move(path), std::move(object)};
        },
        json, out);
}

// The sets of similar pictures, in the formats of printSets; each JSON file
// also gives its similarity to its set's first picture. What the search read
// of each file is printed, not what the file holds by now.
void printSimilarSets(const SimilarSearchResult &result, const FolderSet &protection, bool json, std::FILE *out)
{
    printSetList(
        result.sets.size(), [&](std::size_t set) { return result.sets[set].size(); },
        [&](std::size_t set, std::size_t i) {
            const SimilarFile &file = result.sets[set][i];
            std::string path = textToPath(file.pathText);
            char numbers[160];
            std::snprintf(numbers, sizeof numbers, ", \"size\": %lld, \"width\": %d, \"height\": %d, \"similarity\": %d}",
                          static_cast<long long>(file.found.file.size), file.width, file.height, file.similarity);
            std::string object = withProtection("{\"path\": " + JsonPathString(path) + numbers, path, protection);
            return PrintedFile {std::move(path), std::move(object)};
        },
        json, out);
}

// The files no picture format could read: a count, then one line each.
void reportUnreadable(const std::vector<std::string> &unreadable, std::FILE *err)
{
    if (unreadable.empty()) {
        return;
    }
    if (unreadable.size() == 1) {
        std::fputs("quillmere: 1 file could not be read as a picture:\n", err);
    } else {
        std::fprintf(err, "quillmere: %zu files could not be read as pictures:\n", unreadable.size());
    }
    for (const std::string &path : unreadable) {
        std::fprintf(err, "quillmere: not read: %s\n", ShownPath(path).toStdString().c_str());
    }
}

} // namespace

int RunListMode(const CommandLine &line, std::FILE *out, std::FILE *err, bool showProgress)
{
    SilentSearchView silent;
    TerminalProgress terminal(err);
    return RunListMode(line, out, err, showProgress ? static_cast<SearchView &>(terminal) : silent);
}

int ClearPictureCache(std::FILE *out)
{
    FileCache cache(DefaultFileCacheFolder());
    if (!cache.enabled()) {
        return 1; // the cache said why
    }
    cache.clear();
    std::fprintf(out, "Emptied the cache %s\n", ShownPath(cache.databasePath()).toStdString().c_str());
    return 0;
}

int RunListMode(const CommandLine &line, std::FILE *out, std::FILE *err, SearchView &view)
{
    if (line.clearCache) {
        if (const int status = ClearPictureCache(err); status != 0) {
            return status;
        }
    }
    if (PictureMaskPatterns(line.mask).isEmpty()) {
        std::fprintf(err, "quillmere: unknown mask \"%s\": use %s\n", line.mask.toLocal8Bit().constData(),
                     QuotedMasks(", ", " or ").c_str());
        return 1;
    }
    // As in the window: a relative folder is taken against the working
    // folder, and an empty one is the root.
    const std::string folder = line.folder.empty() ? std::string("/") : AbsoluteFolder(line.folder);
    if (const std::string problem = folderProblem(folder); !problem.empty()) {
        std::fprintf(err, "quillmere: %s\n", problem.c_str());
        return 1;
    }
    // Each protected folder is resolved once, before the search.
    const FolderSet protection(line.protectedFolders);
    for (const std::string &missing : protection.missing()) {
        std::fprintf(err, "quillmere: cannot protect \"%s\": not a folder\n", ShownPath(missing).toStdString().c_str());
        return 1;
    }

    FileList files;
    auto candidates = makeCandidateGrid();
    auto pairs = makePairGrid();
    std::vector<int> setSizes;
    // The listing ends early when the stop flag is up; nothing here raises it.
    StopFlag = 0;
    std::vector<std::string> removalFolders;
    CollectFiles(folder, line.mask, files, line.recurse, view, &removalFolders);
    StopFlag = 1;
    // The list mode changes no file: what interrupted removals left is only
    // named, for a search in the window to finish.
    for (const std::string &removalFolder : removalFolders) {
        std::fprintf(err,
                     "quillmere: not searched, left by an interrupted removal (a search in the window finishes it): "
                     "%s\n",
                     ShownPath(removalFolder).toStdString().c_str());
    }
    if (line.excludeSystemFolders) {
        RemoveSystemPaths(files);
    }
    if (line.similar) {
        SimilarSearchResult result;
        // The search reads the flag at its pumps; nothing here raises it.
        StopFlag = 0;
        std::optional<FileCache> cache;
        if (line.useCache) {
            cache.emplace(DefaultFileCacheFolder());
        }
        FindSimilarPictures(files.paths(), files.folders(), line.similarity, view,
                            std::max(1, UsableProcessorCount()), result, cache ? &*cache : nullptr);
        StopFlag = 1;
        printSimilarSets(result, protection, line.json, out);
        reportUnreadable(result.unreadable, err);
        return 0;
    }
    if (MeasureCandidates(files, *candidates, view)) {
        CompareCandidates(*candidates, *pairs, view, files.folders(), {}, &setSizes);
    }
    printSets(*pairs, setSizes, protection, line.json, out);
    return 0;
}

} // namespace quillmere
