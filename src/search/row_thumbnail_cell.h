#pragma once

#include <string>

namespace quillmere {

struct DecodedThumbnails;
class TDataGrid;
class TImageList;

// The thumbnail and resolution of result row `row`: the file's thumbnails
// made (makeThumbnails) and added to list, then the resolution text, if a
// step set one, written to the row's Res cell; otherwise the cell is left
// as it was. Returns the entry the row shows, or -1 when its name asked for
// no step.
int MakeRowThumbnail(const std::string &path, int row, TDataGrid &grid, TImageList &list);
// The same with thumbnails decoded beforehand.
int AddRowThumbnail(const DecodedThumbnails &decoded, int row, TDataGrid &grid, TImageList &list);

} // namespace quillmere
