#pragma once

#include "platform/file_measure.h"

#include <QString>
#include <functional>

namespace quillmere {

class FileList;
class SearchView;
class TDataGrid;

// The measuring stage: measures every path of the file list and writes each
// candidate (longer than 100 bytes, not in a recycle folder) as a row
// (`dest2` path text, `size2` general number text of the size) of the
// candidate table, then sorts that table by its size text so that equal sizes
// stand together. Several paths of one file (hard links, bind mounts) make
// one candidate: the first listed of them. Files are reached only through the
// list's folders as they were listed; a file whose folder was replaced since
// (by a symbolic link or another folder) is no candidate.
//
// Shows "Creating a list of files" in Label1 and each path in Label3, moves
// the progress bar (maximum count - 2, position = index) and lets pending
// messages run once per path. Returns false, touching nothing, when the list
// holds fewer than two paths: the search then ends.
bool MeasureCandidates(const FileList &list, TDataGrid &candidates, SearchView &view);

} // namespace quillmere
