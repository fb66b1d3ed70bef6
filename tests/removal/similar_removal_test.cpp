#include "common/stop_flag.h"
#include "imaging/picture_formats.h"
#include "platform/path_text.h"
#include "removal/removal_pass.h"
#include "search/collect_files.h"
#include "search/file_list.h"
#include "search/search_view.h"
#include "search/similar_search.h"
#include "support/similar_copies.h"
#include "support/temp_tree.h"
#include "recording_removal_view.h"

#include <gtest/gtest.h>
#include <set>

using namespace quillmere;
using quillmere::test::RecordingRemovalView;
using quillmere::test::TempTree;

namespace {

// Removal after a similar-picture search: the marked copies go by the same
// rules as identical ones, and the report says which were similar only.
class SimilarRemoval : public ::testing::Test {
protected:
    void SetUp() override { copies = test::writeSimilarCopies(tree); }

    // The search over the folder as it is now, and its record.
    void search()
    {
        SilentSearchView view;
        StopFlag = 0;
        CollectFiles(tree.root(), AllPicturesMask(), files, true, view);
        ASSERT_TRUE(FindSimilarPictures(files.paths(), files.folders(), {}, view, 2, result));
        StopFlag = 1;
        ASSERT_EQ(result.sets.size(), 1u);
        ASSERT_EQ(textToPath(result.sets.front().front().pathText), copies.original);
        record.fill(result);
    }

    const SimilarFile &member(const std::string &path) const
    {
        for (const SimilarFile &file : result.sets.front()) {
            if (textToPath(file.pathText) == path) {
                return file;
            }
        }
        throw std::logic_error("not in the set: " + path);
    }

    // Removes the marked files from the hard drive (overwritten, then
    // deleted), the rows in the set's order.
    QStringList removeMarked(const std::set<std::string> &marked)
    {
        RemovalPlan plan;
        plan.method = RemovalMethod::HardDrive;
        plan.found = record;
        for (const SimilarFile &file : result.sets.front()) {
            const bool mark = marked.count(textToPath(file.pathText)) != 0;
            plan.rows.push_back({file.pathText, mark});
            if (mark) {
                plan.marked.insert(file.pathText);
            }
        }
        RecordingRemovalView view;
        RemoveMarkedFiles(plan, view);
        return test::WithoutSpaceFreed(view.report);
    }

    static QString shown(const std::string &path) { return ShownPath(path); }

    TempTree tree;
    test::SimilarCopies copies;
    FileList files;
    SimilarSearchResult result;
    FoundFileRecord record;
};

TEST_F(SimilarRemoval, SimilarCopiesRemovedAreNamedWithTheCopyTheyResembled)
{
    search();
    const QString likeOriginal = QStringLiteral("% like ") + shown(copies.original);
    const QStringList report = removeMarked({copies.resized, copies.reencoded});
    EXPECT_FALSE(TempTree::exists(copies.resized));
    EXPECT_FALSE(TempTree::exists(copies.reencoded));
    EXPECT_TRUE(TempTree::exists(copies.original));
    // The designed lines first, in row order; then the similar ones, each
    // with its similarity to the set's first picture.
    QStringList expected {RemovalHeading(RemovalMethod::HardDrive)};
    QStringList similar;
    for (const SimilarFile &file : result.sets.front()) {
        const std::string path = textToPath(file.pathText);
        if (path == copies.resized || path == copies.reencoded) {
            expected << shown(path);
            similar << shown(path) + QStringLiteral(" \u2014 ") + QString::number(file.similarity) + likeOriginal;
        }
    }
    expected << QString() << QStringLiteral("2 removed files were similar, not identical, to the copy kept:")
             << similar;
    EXPECT_EQ(report, expected);
}

TEST_F(SimilarRemoval, AByteCopyOfTheFirstNeedsNoSimilarLineAndARemovedFirstIsSetAgainstTheLikestKept)
{
    const std::string originalCopy = tree.writeFile("original copy.jpg", TempTree::readFile(copies.original));
    search();
    ASSERT_TRUE(member(originalCopy).sameBytesAsFirst);
    EXPECT_EQ(removeMarked({originalCopy}), (QStringList {RemovalHeading(RemovalMethod::HardDrive), shown(originalCopy)}));

    // Now no copy of the first's bytes stands: removing the first leaves
    // similar pictures only, and the line names the one most like it.
    const SimilarFile *likest = nullptr;
    for (const SimilarFile &file : result.sets.front()) {
        const std::string path = textToPath(file.pathText);
        if (path != copies.original && path != originalCopy && (likest == nullptr || file.similarity > likest->similarity)) {
            likest = &file;
        }
    }
    ASSERT_NE(likest, nullptr);
    EXPECT_EQ(removeMarked({copies.original}),
              (QStringList {RemovalHeading(RemovalMethod::HardDrive), shown(copies.original), QString(),
                            QStringLiteral("1 removed file was similar, not identical, to the copy kept:"),
                            shown(copies.original) + QStringLiteral(" \u2014 ") + QString::number(likest->similarity)
                                + QStringLiteral("% like ") + ShownPathText(likest->pathText)}));
    EXPECT_FALSE(TempTree::exists(copies.original));
}

TEST_F(SimilarRemoval, ChangedFilesAndTheLastCopyAreKeptAsInTheIdenticalSearch)
{
    search();
    // Changed since the search: refused, untouched.
    const std::string changedBytes = TempTree::readFile(copies.converted) + "x";
    tree.writeFile("converted.png", changedBytes);
    QStringList report = removeMarked({copies.converted});
    EXPECT_EQ(TempTree::readFile(copies.converted), changedBytes);
    EXPECT_EQ(report.mid(1), (QStringList {QString(), QStringLiteral("1 marked file was not removed:"),
                                           shown(copies.converted) + QStringLiteral(" \u2014 changed since the search")}));

    // Every member marked: each is refused while no unmarked one stands.
    std::set<std::string> all;
    for (const SimilarFile &file : result.sets.front()) {
        all.insert(textToPath(file.pathText));
    }
    report = removeMarked(all);
    for (const std::string &path : all) {
        EXPECT_TRUE(TempTree::exists(path)) << path;
    }
    ASSERT_EQ(report.size(), 1 + 2 + static_cast<int>(all.size()));
    EXPECT_EQ(report[2], QStringLiteral("%1 marked files were not removed:").arg(all.size()));
    for (const QString &line : report.mid(3)) {
        // The changed one is refused as changed; every other as the last copy.
        EXPECT_TRUE(line.endsWith(QStringLiteral("kept: it is the last copy of its content (no unmarked copy is "
                                                 "left unchanged)"))
                    || line == shown(copies.converted) + QStringLiteral(" \u2014 changed since the search"))
            << line.toStdString();
    }
}

} // namespace
