#include "review/similar_comparison.h"

#include "imaging/row_thumbnail.h"
#include "platform/file_identity.h"
#include "platform/path_text.h"
#include "platform/size_text.h"
#include "review/side_by_side_view.h"

#include <QLocale>

namespace quillmere {

namespace {

// A caption is read at a glance: one decimal is enough to tell copies apart.
QString ShortSizeText(std::int64_t bytes)
{
    const double kilobytes = static_cast<double>(bytes) / 1024.0;
    if (kilobytes < 1024.0) {
        return QLocale::system().toString(kilobytes, 'f', 1) + QStringLiteral(" KB");
    }
    return QLocale::system().toString(kilobytes / 1024.0, 'f', 1) + QStringLiteral(" MB");
}

} // namespace

QString ComparisonCaption(const FoundFileRecord::Member &file, QSize resolution, bool bestCopy)
{
    const std::string path = textToPath(file.pathText);
    const QString likeness
        = bestCopy ? QStringLiteral("best copy") : QStringLiteral("similarity %1%").arg(file.similarity);
    return ShownPath(NameOfPath(path)) + QLatin1Char('\n') + resolutionText(resolution) + QStringLiteral(", ")
        + ShortSizeText(file.file.file.size) + QStringLiteral(", ") + likeness;
}

std::optional<FoundFileRecord::Place> ComparedWith(const FoundFileRecord &sets, const QString &pathText)
{
    const std::optional<FoundFileRecord::Place> place = sets.placeOf(pathText);
    if (!place) {
        return std::nullopt;
    }
    const int other = place->member == 0 ? 1 : 0;
    if (other >= static_cast<int>(sets.members(place->set).size())) {
        return std::nullopt;
    }
    return FoundFileRecord::Place {place->set, other};
}

bool LoadComparison(TSideBySideView &view, const FoundFileRecord &sets, const QString &pathText)
{
    const auto row = sets.placeOf(pathText);
    const auto other = ComparedWith(sets, pathText);
    if (!row || !other) {
        return false;
    }
    const auto [left, right] = row->member < other->member ? std::pair(*row, *other) : std::pair(*other, *row);
    const FoundFileRecord::Member &leftFile = sets.member(left);
    const FoundFileRecord::Member &rightFile = sets.member(right);
    LoadPictureByExtension(view.Left, textToPath(leftFile.pathText));
    LoadPictureByExtension(view.Right, textToPath(rightFile.pathText));
    view.setCaptions(ComparisonCaption(leftFile, QSize(view.Left.Width(), view.Left.Height()), left.member == 0),
        ComparisonCaption(rightFile, QSize(view.Right.Width(), view.Right.Height()), right.member == 0));
    return true;
}

} // namespace quillmere
