#include "common/stop_flag.h"
#include "imaging/image_list.h"
#include "imaging/picture_formats.h"
#include "listed_by_hand.h"
#include "platform/path_text.h"
#include "recording_view.h"
#include "search/file_list.h"
#include "search/fingerprint_stage.h"
#include "search/result_stage.h"
#include "search/search_body.h"
#include "search/similar_search.h"
#include "support/similar_copies.h"
#include "support/temp_tree.h"
#include "support/threads.h"
#include "table/program_tables.h"

#include <gtest/gtest.h>
#include <set>

namespace quillmere {
namespace {

using test::RecordingView;
using test::TempTree;

class SimilarSearchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        StopFlag = 0; // as the Start handler leaves it
        options.folder = tree.root();
        options.mask = AllPicturesMask();
        options.similarPictures = true;
        context.readOptions = [this] { return options; };
        context.fillResults = [this] {
            ADD_FAILURE() << "the identical files' result stage ran";
            return true;
        };
        context.fillSimilarResults = [this] {
            ++similarStages;
            return FillSimilarResultRows(context.similar, *results, files.count(), view, thumbnails, 2);
        };
        context.fingerprintWorkers = 2;
    }
    void TearDown() override { StopFlag = 1; }

    std::vector<std::string> label1() const { return view.only("label1 "); }
    std::vector<std::string> destColumn()
    {
        std::vector<std::string> paths;
        for (int r = 0; r < results->RowCount(); ++r) {
            paths.push_back(textToPath(results->CellAt(QStringLiteral("Dest"), r).text()));
        }
        return paths;
    }

    TempTree tree;
    RecordingView view;
    FileList files;
    TImageList thumbnails;
    std::unique_ptr<TDataGrid> results = makeResultGrid(&thumbnails);
    std::unique_ptr<TDataGrid> candidates = makeCandidateGrid();
    std::unique_ptr<TDataGrid> pairs = makePairGrid();
    SearchOptions options;
    SearchContext context {view, files, *results, *candidates, *pairs, {}, {}, {}, {}, {}, {}, {}, {}, {}, 1};
    int similarStages = 0;
};

TEST_F(SimilarSearchTest, ChangedCopiesFormOneSetBestCopyFirstAndBrokenFilesAreNamed)
{
    const test::SimilarCopies copies = test::writeSimilarCopies(tree);
    const std::string broken = tree.writeFile("broken.jpg", test::jpegOf(QImage(64, 48, QImage::Format_RGB32)).substr(0, 200));
    const std::string empty = tree.writeFile("empty.png", "");

    RunSearchBody(context);
    EXPECT_EQ(label1().back(), "label1 Finish");
    EXPECT_EQ(StopFlag, 1);
    EXPECT_EQ(similarStages, 1);
    // The identical files' tables stay empty in this mode.
    EXPECT_EQ(candidates->RowCount(), 0);
    EXPECT_EQ(pairs->RowCount(), 0);

    const SimilarSearchResult &found = context.similar;
    EXPECT_EQ(std::set<std::string>(found.unreadable.begin(), found.unreadable.end()),
              (std::set<std::string> {broken, empty}));
    EXPECT_EQ(found.fingerprinted, 6);
    ASSERT_EQ(found.sets.size(), 1u);
    const std::vector<SimilarFile> &set = found.sets.front();
    std::set<std::string> members;
    for (const SimilarFile &file : set) {
        members.insert(textToPath(file.pathText));
    }
    EXPECT_EQ(members, (std::set<std::string> {copies.original, copies.resized, copies.reencoded, copies.converted,
                                               copies.sameBytes}));
    // The best copy: most pixels, then the longer of the two 640 x 480 files.
    EXPECT_EQ(textToPath(set.front().pathText), copies.original);
    EXPECT_EQ(set.front().similarity, 100);
    EXPECT_EQ(set.front().width, 640);
    EXPECT_EQ(set.front().height, 480);
    for (const SimilarFile &file : set) {
        EXPECT_EQ(file.sameBytesAsFirst, file.pathText == set.front().pathText) << file.pathText.toStdString();
        EXPECT_GE(file.similarity, SimilarityLevelOf(kDefaultSimilarityLevel).leastPercent);
        EXPECT_EQ(file.found.file.size, static_cast<std::int64_t>(TempTree::readFile(textToPath(file.pathText)).size()));
    }

    // One result row per member, in the set's order, each with its set, its
    // size and its similarity; every row shows its own thumbnail.
    std::vector<std::string> inSetOrder;
    for (const SimilarFile &file : set) {
        inSetOrder.push_back(textToPath(file.pathText));
    }
    EXPECT_EQ(destColumn(), inSetOrder);
    for (int r = 0; r < results->RowCount(); ++r) {
        const SimilarFile &file = set[static_cast<std::size_t>(r)];
        EXPECT_EQ(results->CellAt(QStringLiteral("Group"), r).asInteger(), 1);
        EXPECT_EQ(results->CellAt(QStringLiteral("Similar"), r).text(), QString::number(file.similarity) + "%");
        EXPECT_EQ(results->CellAt(QStringLiteral("Priv"), r).asInteger(), r);
        EXPECT_FALSE(results->CellAt(QStringLiteral("Size"), r).text().isEmpty());
        EXPECT_FALSE(results->CellAt(QStringLiteral("Res"), r).text().isEmpty());
    }
    EXPECT_EQ(view.only("label4 ").back(), "label4 Duplicates: 4");
}

TEST_F(SimilarSearchTest, FilesThatCannotBeReadAreLeftOutAndNamedWithoutFailingTheSearch)
{
    const test::SimilarCopies copies = test::writeSimilarCopies(tree);
    // Found by a listing, then changed into what no format reads: a FIFO
    // that took a picture's name (opening it must not block), a file gone,
    // a file that is no picture, a folder.
    const std::string fifo = tree.makeFifo("x.jpg");
    const std::string vanished = tree.path("vanished.jpg");
    const std::string text = tree.writeFile("text.png", "not a picture at all");
    const std::string folder = tree.makeFolder("folder.jpg");
    const std::vector<std::string> paths {fifo, copies.original, vanished, text, copies.resized, folder};
    ListedFolders listed;
    test::listFolderOf(listed, copies.original);

    SimilarSearchResult result;
    ASSERT_TRUE(FindSimilarPictures(paths, listed, {}, view, 3, result));
    EXPECT_EQ(result.unreadable, (std::vector<std::string> {fifo, vanished, text, folder}));
    EXPECT_EQ(result.fingerprinted, 2);
    ASSERT_EQ(result.sets.size(), 1u);
    EXPECT_EQ(result.sets.front().size(), 2u);
    EXPECT_EQ(view.only("label1 ").front(), "label1 Read pictures:");
    EXPECT_EQ(test::threadsNamedAfterJoin(kFingerprintThreadName), 0);
}

TEST_F(SimilarSearchTest, TwoPathsOfOneFileAreOnePicture)
{
    const test::SimilarCopies copies = test::writeSimilarCopies(tree);
    const std::string link = tree.path("hard link.jpg");
    ASSERT_EQ(::link(copies.distinct.c_str(), link.c_str()), 0);
    ListedFolders listed;
    test::listFolderOf(listed, copies.original);

    SimilarSearchResult result;
    ASSERT_TRUE(FindSimilarPictures({copies.distinct, link, copies.original, copies.reencoded}, listed, {}, view, 2,
                                    result));
    // The other scene's two names make no set: a file is no copy of itself.
    ASSERT_EQ(result.sets.size(), 1u);
    EXPECT_EQ(textToPath(result.sets.front().front().pathText), copies.original);
    EXPECT_EQ(result.fingerprinted, 3);
}

// A Stop pressed, or the window closed, while the pictures are read ends
// the search at that pump: every worker has ended when it returns, nothing
// is filled and no "Finish" is shown.
TEST_F(SimilarSearchTest, StopOrCloseWhileReadingEndsAtOnceWithEveryWorkerJoined)
{
    for (int i = 0; i < 6; ++i) {
        test::writeSimilarCopies(tree, tree.makeFolder("f" + std::to_string(i)).substr(tree.root().size() + 1));
    }
    for (const bool abandon : {false, true}) {
        SCOPED_TRACE(abandon ? "closed" : "stopped");
        StopFlag = 0;
        view = RecordingView();
        int readingPumps = 0;
        view.onPump = [&] {
            const auto labels = view.only("label1 ");
            // The first pump of the reading comes however fast the files are read.
            if (labels.empty() || labels.back() != "label1 Read pictures:" || ++readingPumps > 1) {
                return;
            }
            if (abandon) {
                throw SearchAbandoned {};
            }
            StopFlag = 1;
        };
        similarStages = 0;
        RunSearchBody(context);
        EXPECT_EQ(readingPumps, 1);
        EXPECT_EQ(similarStages, 0);
        EXPECT_TRUE(context.similar.sets.empty());
        EXPECT_TRUE(context.similar.unreadable.empty());
        EXPECT_EQ(context.similar.fingerprinted, 0);
        EXPECT_EQ(results->RowCount(), 0);
        EXPECT_EQ(label1().back(), "label1 Read pictures:");
        EXPECT_EQ(StopFlag, 1);
        EXPECT_EQ(test::threadsNamedAfterJoin(kFingerprintThreadName), 0);
    }
}

} // namespace
} // namespace quillmere
