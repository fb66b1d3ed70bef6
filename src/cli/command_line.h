#pragma once

#include "imaging/picture_formats.h"
#include "search/similar_sets.h"

#include <QString>
#include <string>
#include <vector>

namespace quillmere {

// What the program was asked to do by its arguments.
struct CommandLine {
    enum class Mode {
        Window,  // no arguments: the wizard
        Help,    // --help
        Version, // --version
        List,    // --list FOLDER: print the sets of identical files
        ClearCache, // --clear-cache alone: empty the cache of pictures
        Usage,   // the arguments make no sense: `error` says why
    };
    Mode mode = Mode::Window;
    std::string folder;               // --list's folder, as path bytes
    QString mask = PictureMasks().front(); // --mask, the first format's by default
    bool recurse = true;              // --no-subfolders turns it off
    bool excludeSystemFolders = true; // --include-system-folders turns it off
    bool json = false;
    // --similar[=LEVEL]: sets of similar pictures instead of identical files;
    // --no-turns leaves turned and mirrored copies out.
    bool similar = false;
    SimilarityOptions similarity;
    // --no-cache: read every picture anew and keep nothing; --clear-cache
    // empties the cache first (alone, it does only that).
    bool useCache = true;
    bool clearCache = false;
    // --protect FOLDER (repeatable): files inside these folders are flagged
    // "protected" in the JSON output.
    std::vector<std::string> protectedFolders;
    std::string error;                // one line, for Usage
};

CommandLine ParseCommandLine(int argc, const char *const *argv);

// The text of --help and --version.
std::string UsageText();
std::string VersionText();

// The words --similar=LEVEL takes, strictest first: "same|near|...".
std::string SimilarityWords(const char *separator);

} // namespace quillmere
