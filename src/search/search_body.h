#pragma once

#include "imaging/picture_formats.h"
#include "platform/file_identity.h"
#include "search/similar_search.h"

#include <vector>

#include <QString>
#include <functional>
#include <string>

namespace quillmere {

class FileCache;
class FileList;
class SearchView;
class TDataGrid;

// The options page as one search reads it.
struct SearchOptions {
    bool recurse = true;               // CheckBox1 "Search in subdirectories"
    QString mask = PictureMasks().front(); // ComboBox1's selected item
    std::string folder;                // Edit1, as path bytes
    bool excludeSystemFolders = true;  // CheckBox2 "Excluded system folders"
    // What counts as a duplicate: identical files (the default) or similar
    // pictures, at the level and with the turns of `similarity`.
    bool similarPictures = false;
    SimilarityOptions similarity;
    // What was read of each picture is kept between searches in the user's
    // cache folder, so that a second search need not read it again.
    bool rememberPictures = true;
    // Folders whose files are never removed ("Never remove from"), as path
    // bytes; their files are still searched and shown.
    std::vector<std::string> protectedFolders;
};

// Everything one search works on; the main window owns all of it.
struct SearchContext {
    SearchView &view;
    FileList &files;        // Memo1
    TDataGrid &results;     // DataGrid1
    TDataGrid &candidates;  // DataGrid2
    TDataGrid &pairs;       // DataGrid3

    std::function<void()> clearReport;     // empties Memo3
    std::function<void()> clearThumbnails; // removes every image from ImageList1
    // Reads the options page: recurse, then the mask, then the start folder.
    std::function<SearchOptions()> readOptions;
    // The result stage: fills DataGrid1 from the pair table. Returns false
    // when it met a stop request, which ends the run at once without "Finish".
    // Left empty, the run ends after the comparison.
    std::function<bool()> fillResults;
    // Called right after the listing with this user's removal folders it met
    // (what interrupted removals left behind), when there are any, for the
    // caller to finish and report. Left empty, they stay as they are.
    std::function<void(const std::vector<std::string> &folders)> finishRemovalFolders;

    // Filled by the comparison: the number of pair-table rows of each set of
    // identical files, in pair-table order, and for each pair-table row the
    // file as the comparison read it.
    std::vector<int> setSizes;
    std::vector<FoundFile> foundFiles;

    // A similar-picture search instead fills `similar` (its own typed sets;
    // the candidate and pair tables stay empty) and then calls
    // fillSimilarResults, which returns false at a stop request like
    // fillResults. `fingerprintWorkers` threads read the pictures.
    SimilarSearchResult similar;
    std::function<bool()> fillSimilarResults;
    int fingerprintWorkers = 1;

    // Where what was read of each picture is kept between searches; none
    // when the options say not to (readOptions may set it).
    FileCache *cache = nullptr;
};

// The search body that Start runs when StopFlag has become 0: empties the
// file list, the report, the thumbnails and the three tables, shows
// "Files search ", lists the files, hands the removal folders met to
// finishRemovalFolders, drops system folders when asked, measures
// and orders the candidates, compares them and fills the results. One guard
// around all of it takes every error without a message box. Unless the result
// stage stopped or the search was abandoned (SearchAbandoned from a pump), the
// run ends by repainting the result table and setting StopFlag to 1, with
// "Finish" in Label1 after a complete search and "Search ended early: " and
// the reason (the error's text, "out of memory") after an error.
void RunSearchBody(SearchContext &context);

} // namespace quillmere
