#pragma once

#include "search/found_files.h"

#include <optional>

#include <QSize>
#include <QString>

namespace quillmere {

class TSideBySideView;

// The caption of one compared picture: its file name, then its resolution,
// its size and how alike it is to its set's best copy.
QString ComparisonCaption(const FoundFileRecord::Member &file, QSize resolution, bool bestCopy);

// What the image view sets beside the row's picture: its set's best copy,
// or for the best copy itself the set's second picture. Nothing for a path
// text of no set.
std::optional<FoundFileRecord::Place> ComparedWith(const FoundFileRecord &sets, const QString &pathText);

// Loads the picture of the row whose Dest cell is `pathText` and the one it
// is compared with (see ComparedWith) into the view, the
// one earlier in its set (the best copy) on the left, each upright and
// captioned. False, with nothing loaded, for a path text of no set; a file
// that cannot be read raises its loading error.
bool LoadComparison(TSideBySideView &view, const FoundFileRecord &sets, const QString &pathText);

} // namespace quillmere
