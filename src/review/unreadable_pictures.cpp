#include "review/unreadable_pictures.h"

#include "platform/file_identity.h"
#include "platform/path_text.h"

#include <QStringList>

namespace quillmere {

namespace {
// The names on the label's one line; the tool tip has the rest.
constexpr std::size_t kNamesOnTheLine = 3;
// A tool tip of many thousand lines would only hang the window while it is
// laid out; past this many the count says how many more there are.
constexpr std::size_t kPathsInTheToolTip = 200;
} // namespace

UnreadableNotice UnreadablePicturesNotice(const std::vector<std::string> &paths)
{
    UnreadableNotice notice;
    if (paths.empty()) {
        return notice;
    }
    QStringList names;
    for (std::size_t i = 0; i < paths.size() && i < kNamesOnTheLine; ++i) {
        names << pathToText(NameOfPath(paths[i]));
    }
    const QString more = paths.size() > kNamesOnTheLine ? QStringLiteral(", ...") : QString();
    notice.line = QStringLiteral("%1 could not be read as %2: ")
                      .arg(paths.size())
                      .arg(paths.size() == 1 ? QStringLiteral("a picture") : QStringLiteral("pictures"))
        + names.join(QStringLiteral(", ")) + more;

    QStringList lines { QStringLiteral("Not read as pictures, left out of the search:") };
    for (std::size_t i = 0; i < paths.size() && i < kPathsInTheToolTip; ++i) {
        lines << ShownPath(paths[i]);
    }
    if (paths.size() > kPathsInTheToolTip) {
        lines << QStringLiteral("and %1 more").arg(paths.size() - kPathsInTheToolTip);
    }
    notice.toolTip = lines.join(QLatin1Char('\n'));
    return notice;
}

} // namespace quillmere
