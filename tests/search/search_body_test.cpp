#include "common/stop_flag.h"
#include "platform/path_text.h"
#include "recording_view.h"
#include "search/file_list.h"
#include "search/search_body.h"
#include "support/temp_tree.h"
#include "table/program_tables.h"

#include <gtest/gtest.h>
#include <new>
#include <set>
#include <sys/stat.h>

namespace quillmere {
namespace {

using test::RecordingView;
using test::TempTree;

class SearchBodyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        StopFlag = 0; // as the Start handler leaves it
        options.folder = tree.root();
        context.clearReport = [this] { ++reportClears; };
        context.clearThumbnails = [this] { ++thumbnailClears; };
        context.readOptions = [this] { return options; };
        context.fillResults = [this] {
            ++resultStages;
            return StopFlag == 0; // the result stage leaves at once on a stop
        };
    }
    void TearDown() override { StopFlag = 1; }

    std::vector<std::string> label1() const { return view.only("label1 "); }

    TempTree tree;
    RecordingView view;
    FileList files;
    std::unique_ptr<TDataGrid> results = makeResultGrid(nullptr);
    std::unique_ptr<TDataGrid> candidates = makeCandidateGrid();
    std::unique_ptr<TDataGrid> pairs = makePairGrid();
    SearchOptions options;
    SearchContext context { view, files, *results, *candidates, *pairs, {}, {}, {}, {}, {}, {}, {}, {}, {}, 1 };
    int reportClears = 0;
    int thumbnailClears = 0;
    int resultStages = 0;
};

TEST_F(SearchBodyTest, ClearsListsFindsDuplicatesAndEndsWithFinish)
{
    const std::string photo(5000, 'p');
    const std::string a = tree.writeFile("a.jpg", photo);
    tree.writeFile("b.jpg", std::string(5000, 'q'));
    tree.makeFolder("Program Files");
    tree.writeFile("Program Files/c.jpg", photo);
    tree.makeFolder("sub");
    const std::string d = tree.writeFile("sub/d.jpg", photo);
    tree.writeFile("sub/d.png", photo);
    files.append("left over");
    candidates->AppendRows(1);
    pairs->AppendRows(3);
    results->AppendRows(2);

    RunSearchBody(context);
    EXPECT_EQ(reportClears, 1);
    EXPECT_EQ(thumbnailClears, 1);
    EXPECT_EQ(results->RowCount(), 0);
    EXPECT_EQ(files.count(), 3); // the system folder's file is dropped
    EXPECT_EQ(candidates->RowCount(), 3);
    ASSERT_EQ(pairs->RowCount(), 2);
    const std::set<std::string> found { textToPath(pairs->CellAt(0, 0).text()), textToPath(pairs->CellAt(0, 1).text()) };
    EXPECT_EQ(found, (std::set<std::string> { a, d }));
    EXPECT_EQ(context.setSizes, std::vector<int> { 2 });
    EXPECT_EQ(resultStages, 1);
    EXPECT_EQ(label1().front(), "label1 Files search ");
    EXPECT_EQ(label1().back(), "label1 Finish");
    EXPECT_EQ(StopFlag, 1);
}

TEST_F(SearchBodyTest, RemovalFoldersMetByTheListingGoToTheCallerUnlisted)
{
    const std::string photo(5000, 'p');
    tree.writeFile("a.jpg", photo);
    tree.makeFolder("sub");
    const std::string own = tree.makeFolder("sub/.quillmere-removing-0123456789abcdef");
    ASSERT_EQ(::chmod(own.c_str(), 0700), 0);
    tree.writeFile("sub/.quillmere-removing-0123456789abcdef/b.jpg", photo);
    std::vector<std::vector<std::string>> handed;
    context.finishRemovalFolders = [&](const std::vector<std::string> &folders) {
        handed.push_back(folders);
        EXPECT_EQ(files.count(), 1) << "handed over after the listing";
    };
    RunSearchBody(context);
    EXPECT_EQ(handed, std::vector<std::vector<std::string>> {{own}});
    ASSERT_EQ(files.count(), 1);
    EXPECT_EQ(files.at(0), tree.path("a.jpg"));
    EXPECT_EQ(resultStages, 0);
}

TEST_F(SearchBodyTest, NoFileOrOneCandidateEndsWithFinishBeforeTheNextStage)
{
    RunSearchBody(context);
    EXPECT_EQ(label1(), (std::vector<std::string> { "label1 Files search ", "label1 Finish" }));

    tree.writeFile("a.jpg", std::string(500, 'a'));
    tree.writeFile("b.jpg", std::string(50, 'a'));
    view.events.clear();
    StopFlag = 0;
    RunSearchBody(context);
    EXPECT_EQ(candidates->RowCount(), 1);
    EXPECT_EQ(label1(), (std::vector<std::string> { "label1 Files search ", "label1 Creating a list of files",
                                                    "label1 Finish" }));
    EXPECT_EQ(resultStages, 0);
    EXPECT_EQ(StopFlag, 1);
}

TEST_F(SearchBodyTest, StopDuringListingComparesWhatWasListedAndEndsInTheResultStage)
{
    for (int i = 0; i < 20; ++i) {
        tree.writeFile("f" + std::to_string(i) + ".jpg", std::string(300, 'p'));
    }
    view.onPump = [&] {
        if (files.count() == 3) {
            StopFlag = 1;
        }
    };
    RunSearchBody(context);
    EXPECT_EQ(files.count(), 3);
    EXPECT_EQ(pairs->RowCount(), 3);
    EXPECT_EQ(resultStages, 1);
    EXPECT_NE(label1().back(), "label1 Finish");
}

TEST_F(SearchBodyTest, AnErrorEndsTheRunWithoutAMessageButSaysThatItEndedEarly)
{
    tree.writeFile("a.jpg", std::string(500, 'a'));
    tree.writeFile("b.jpg", std::string(500, 'a'));
    context.fillResults = []() -> bool { throw EListError(std::string("List index out of bounds (3)")); };
    EXPECT_NO_THROW(RunSearchBody(context));
    EXPECT_EQ(label1().back(), "label1 Search ended early: List index out of bounds (3)");
    EXPECT_EQ(StopFlag, 1);

    context.readOptions = []() -> SearchOptions { throw 42; };
    StopFlag = 0;
    EXPECT_NO_THROW(RunSearchBody(context));
    EXPECT_EQ(files.count(), 0);
    EXPECT_EQ(label1().back(), "label1 Search ended early: unknown error");
    EXPECT_EQ(StopFlag, 1);
}

TEST_F(SearchBodyTest, RunningOutOfMemoryInAnyStageIsNeverShownAsAFinishedSearch)
{
    for (int i = 0; i < 6; ++i) {
        tree.writeFile("f" + std::to_string(i) + ".jpg", std::string(300, 'p'));
    }
    // Out of memory at the first pump of the listing, the measuring and the
    // comparison in turn.
    for (const std::string stage : { "Files search ", "Creating a list of files", "Compare files:" }) {
        view.events.clear();
        view.onPump = [&] {
            if (label1().back() == "label1 " + stage) {
                throw std::bad_alloc();
            }
        };
        StopFlag = 0;
        EXPECT_NO_THROW(RunSearchBody(context));
        EXPECT_EQ(label1().back(), "label1 Search ended early: out of memory") << stage;
        EXPECT_EQ(results->RowCount(), 0);
        EXPECT_EQ(resultStages, 0);
        EXPECT_EQ(StopFlag, 1);
    }
}

TEST_F(SearchBodyTest, AnAbandonedSearchEndsAtThePumpWithoutAnEndText)
{
    for (int i = 0; i < 10; ++i) {
        tree.writeFile("f" + std::to_string(i) + ".jpg", std::string(300, 'p'));
    }
    view.onPump = [&] {
        if (files.count() == 2) {
            throw SearchAbandoned();
        }
    };
    EXPECT_NO_THROW(RunSearchBody(context));
    EXPECT_EQ(files.count(), 2);
    EXPECT_EQ(candidates->RowCount(), 0);
    EXPECT_EQ(label1(), std::vector<std::string> { "label1 Files search " });
    EXPECT_EQ(StopFlag, 1);
}

} // namespace
} // namespace quillmere
