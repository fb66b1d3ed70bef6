#pragma once

#include "platform/file_identity.h"
#include "search/similar_sets.h"

#include <QString>
#include <string>
#include <vector>

namespace quillmere {

class FileCache;
class ListedFolders;
class SearchView;

// One picture of a similar-picture search's sets, as the search read it.
struct SimilarFile {
    QString pathText;  // as the result table's Dest cell shows it
    FoundFile found;   // the file as it was read, for the removal's checks
    int width = 0;     // the upright picture's full size
    int height = 0;
    int similarity = 0; // percent, to its set's first picture; 100 for the first
    bool sameBytesAsFirst = false; // its bytes are those of the set's first file
};

// What a similar-picture search found: its sets, the best copy first in
// each, and the files no format could read (left out, never failing the
// search).
struct SimilarSearchResult {
    std::vector<std::vector<SimilarFile>> sets;
    std::vector<std::string> unreadable; // paths, in listing order
    int fingerprinted = 0;               // pictures read and fingerprinted

    void clear() { *this = {}; }
};

// The similar-picture search over listed paths: fingerprints every file on
// `workers` threads (each opened only through the folders of `listed`, as
// the comparison opens them), then groups them at `options`. Shows its
// progress through `view`, whose pumps run on this thread; StopFlag set to
// 1 at a pump, or a pump that throws, ends it promptly, every worker ended.
// Returns false when it was stopped: nothing is filled then. With a cache,
// what it holds of a file as it is now is not read again, and what is read
// anew is stored in it.
bool FindSimilarPictures(const std::vector<std::string> &paths, const ListedFolders &listed,
                         const SimilarityOptions &options, SearchView &view, int workers,
                         SimilarSearchResult &result, FileCache *cache = nullptr);

} // namespace quillmere
