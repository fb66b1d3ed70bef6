#pragma once

#include "search/identical_sets.h"

namespace quillmere {

class ListedFolders;
class SearchView;
class TDataGrid;

// The comparison stage: within each run of candidate rows with equal size
// text, finds every set of byte-identical files and writes each set to the
// pair table as consecutive rows (column 0 the path text, column 1 the size
// text, both copied from the candidate row), members in candidate order, the
// sets ordered by the row of their first member. A file that cannot be
// opened or read any more is identical to nothing; the stage goes on.
//
// Shows "Compare files:" in Label1; for each candidate row s but the last it
// lets pending messages run, moves the progress bar to s (maximum rows - 2)
// and shows the row's path in Label3, just before that file is first read.
// Returns false, touching nothing, when the candidate table has fewer than
// two rows: the search then ends.
//
// Files are opened only through the folders of `listed` (the listing the
// candidates came from), each only while it is still the folder listed: a
// file whose folder was replaced since (by a symbolic link or another
// folder) is identical to nothing.
//
// `setSizes`, when given, receives the number of rows of each set written, in
// the order of the sets; `foundFiles`, when given, one entry per row written:
// the file as the comparison read it and its folder.
bool CompareCandidates(TDataGrid &candidates, TDataGrid &pairs, SearchView &view, const ListedFolders &listed,
                       const IdenticalSetsLimits &limits = {}, std::vector<int> *setSizes = nullptr,
                       std::vector<FoundFile> *foundFiles = nullptr);

} // namespace quillmere
