#pragma once

#include "review/similar_sets_index.h"

#include <QSize>
#include <QString>

namespace quillmere {

class TSideBySideView;

// The caption of one compared picture: its file name, then its resolution,
// its size and how alike it is to its set's best copy.
QString ComparisonCaption(const SimilarFile &file, QSize resolution, bool bestCopy);

// Loads the picture of the row whose Dest cell is `pathText` and the one it
// is compared with (see SimilarSetsIndex::comparedWith) into the view, the
// one earlier in its set (the best copy) on the left, each upright and
// captioned. False, with nothing loaded, for a path text of no set; a file
// that cannot be read raises its loading error.
bool LoadComparison(TSideBySideView &view, const SimilarSetsIndex &sets, const QString &pathText);

} // namespace quillmere
