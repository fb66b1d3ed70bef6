#pragma once

#include <QString>
#include <string>
#include <vector>

namespace quillmere {

// What the found page says of the files a similar-picture search could not
// read as pictures: a line with their count and the first few file names (as
// cell text: a label shows it as it shows a path), and a tool tip listing
// their full paths one per line as a person reads them. Both empty when
// every file was read.
struct UnreadableNotice {
    QString line;
    QString toolTip;
};
UnreadableNotice UnreadablePicturesNotice(const std::vector<std::string> &paths);

} // namespace quillmere
