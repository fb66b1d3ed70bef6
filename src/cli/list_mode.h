#pragma once

#include <cstdio>

namespace quillmere {

struct CommandLine;
class SearchView;

// The list mode: the search's listing, measuring and comparison with the
// window's rules, without a window, printing the sets of identical files to
// `out` (raw path bytes, one per line, an empty line between sets; or JSON:
// an array of sets, each an array of files, each file an object with its
// "path", its "size" in bytes and, for a picture a format reads, the upright
// picture's "width" and "height" from its headers).
// Sets come in the order the search finds them, each file in candidate order.
// Nothing is ever removed or changed; each folder an interrupted removal
// left behind is named on `err`, one line each. Errors go to `err` as one line. Progress goes to
// `err` only when `showProgress` (standard error is a terminal).
//
// Returns the exit status: 0 when the search ran, 1 for a folder that cannot
// be searched or a bad mask.
int RunListMode(const CommandLine &line, std::FILE *out, std::FILE *err, bool showProgress);
// The same with the search's progress going to `view`.
int RunListMode(const CommandLine &line, std::FILE *out, std::FILE *err, SearchView &view);

// --clear-cache: empties the cache of pictures and says so on `out`; 1 when
// it cannot be opened (it said why on standard error).
int ClearPictureCache(std::FILE *out);

} // namespace quillmere
