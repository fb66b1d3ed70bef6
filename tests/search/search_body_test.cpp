#include "app/stop_flag.h"
#include "platform/path_text.h"
#include "recording_view.h"
#include "search/file_list.h"
#include "search/search_body.h"
#include "support/temp_tree.h"
#include "table/program_tables.h"

#include <gtest/gtest.h>

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
        options.mask = QStringLiteral("*.jpg");
        options.recurse = true;
        options.excludeSystemFolders = true;
    }
    void TearDown() override { StopFlag = 1; }

    SearchContext context()
    {
        SearchContext c { view, files, *results, *candidates, *pairs, {}, {}, {}, {}, {}, {} };
        c.clearReport = [this] { ++reportClears; };
        c.clearThumbnails = [this] { ++thumbnailClears; };
        c.readOptions = [this] { return options; };
        return c;
    }

    std::vector<std::string> pairPaths()
    {
        std::vector<std::string> out;
        for (int r = 0; r < pairs->RowCount(); ++r) {
            out.push_back(textToPath(pairs->CellAt(0, r).text()));
        }
        return out;
    }

    TempTree tree;
    RecordingView view;
    FileList files;
    std::unique_ptr<TDataGrid> results = makeResultGrid(nullptr);
    std::unique_ptr<TDataGrid> candidates = makeCandidateGrid();
    std::unique_ptr<TDataGrid> pairs = makePairGrid();
    SearchOptions options;
    int reportClears = 0;
    int thumbnailClears = 0;
};

TEST_F(SearchBodyTest, FindsDuplicatesAndEndsWithFinish)
{
    const std::string photo(5000, 'p');
    const std::string a = tree.writeFile("a.jpg", photo);
    tree.writeFile("b.jpg", std::string(5000, 'q'));
    tree.makeFolder("sub");
    const std::string c = tree.writeFile("sub/c.jpg", photo);
    tree.writeFile("sub/small.jpg", std::string(100, 'p'));
    tree.writeFile("sub/c.png", photo);
    // Leftovers of an earlier search are cleared first.
    files.append("old");
    candidates->AppendRows(1);
    pairs->AppendRows(3);
    results->AppendRows(2);
    int resultStages = 0;
    auto c2 = context();
    c2.fillResults = [&] {
        ++resultStages;
        EXPECT_EQ(results->RowCount(), 0);
        return true;
    };

    RunSearchBody(c2);

    EXPECT_EQ(resultStages, 1);
    EXPECT_EQ(reportClears, 1);
    EXPECT_EQ(thumbnailClears, 1);
    EXPECT_EQ(files.count(), 4);
    EXPECT_EQ(candidates->RowCount(), 3);
    const auto found = pairPaths();
    EXPECT_TRUE(found == (std::vector<std::string> { a, c }) || found == (std::vector<std::string> { c, a }));
    const auto label1 = view.only("label1");
    ASSERT_FALSE(label1.empty());
    EXPECT_EQ(label1.front(), "label1 Files search ");
    EXPECT_EQ(label1.back(), "label1 Finish");
    EXPECT_EQ(StopFlag, 1);
}

TEST_F(SearchBodyTest, NoFileEndsWithFinishBeforeMeasuring)
{
    bool resultStage = false;
    auto c = context();
    c.fillResults = [&] { return resultStage = true; };
    RunSearchBody(c);
    EXPECT_FALSE(resultStage);
    EXPECT_EQ(view.only("label1"), (std::vector<std::string> { "label1 Files search ", "label1 Finish" }));
    EXPECT_TRUE(view.only("max").empty());
    EXPECT_EQ(StopFlag, 1);
}

TEST_F(SearchBodyTest, OneCandidateEndsWithFinishBeforeComparing)
{
    tree.writeFile("a.jpg", std::string(500, 'a'));
    tree.writeFile("b.jpg", std::string(50, 'a'));
    bool resultStage = false;
    auto c = context();
    c.fillResults = [&] { return resultStage = true; };
    RunSearchBody(c);
    EXPECT_FALSE(resultStage);
    EXPECT_EQ(candidates->RowCount(), 1);
    EXPECT_EQ(view.only("label1"), (std::vector<std::string> { "label1 Files search ",
                                                               "label1 Creating a list of files", "label1 Finish" }));
    EXPECT_EQ(StopFlag, 1);
}

TEST_F(SearchBodyTest, StopDuringListingStillComparesWhatWasListed)
{
    const std::string photo(300, 'p');
    for (int i = 0; i < 20; ++i) {
        tree.writeFile("f" + std::to_string(i) + ".jpg", photo);
    }
    view.onPump = [&] {
        if (files.count() == 3 && StopFlag == 0) {
            StopFlag = 1;
        }
    };
    bool resultStage = false;
    auto c = context();
    c.fillResults = [&] {
        resultStage = true;
        return StopFlag == 0; // the result stage leaves at once on a stop
    };
    RunSearchBody(c);
    EXPECT_EQ(files.count(), 3);
    EXPECT_EQ(pairs->RowCount(), 3);
    EXPECT_TRUE(resultStage);
    EXPECT_NE(view.only("label1").back(), "label1 Finish");
}

TEST_F(SearchBodyTest, AnErrorEndsTheRunSilentlyWithFinish)
{
    tree.writeFile("a.jpg", std::string(500, 'a'));
    tree.writeFile("b.jpg", std::string(500, 'a'));
    auto c = context();
    c.fillResults = []() -> bool { throw std::runtime_error("boom"); };
    EXPECT_NO_THROW(RunSearchBody(c));
    EXPECT_EQ(view.only("label1").back(), "label1 Finish");
    EXPECT_EQ(StopFlag, 1);

    auto broken = context();
    broken.readOptions = []() -> SearchOptions { throw std::runtime_error("no options"); };
    EXPECT_NO_THROW(RunSearchBody(broken));
    EXPECT_EQ(files.count(), 0);
    EXPECT_EQ(view.only("label1").back(), "label1 Finish");
}

TEST_F(SearchBodyTest, SystemFoldersAreDroppedOnlyWhenAsked)
{
    tree.makeFolder("Program Files");
    tree.writeFile("Program Files/a.jpg", std::string(500, 'a'));
    tree.writeFile("b.jpg", std::string(500, 'a'));
    auto c = context();
    RunSearchBody(c);
    EXPECT_EQ(files.count(), 1);
    options.excludeSystemFolders = false;
    StopFlag = 0;
    RunSearchBody(c);
    EXPECT_EQ(files.count(), 2);
    EXPECT_EQ(pairs->RowCount(), 2);
}

} // namespace
} // namespace quillmere
