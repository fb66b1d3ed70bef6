#include "common/stop_flag.h"
#include "platform/path_text.h"
#include "recording_view.h"
#include "search/file_list.h"
#include "search/identical_sets.h"
#include "search/search_body.h"
#include "support/swaps.h"
#include "support/temp_tree.h"
#include "table/program_tables.h"
#include "test_bytes.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmere {
namespace {

using test::RecordingView;
using test::TempTree;

FolderIdentity folderIdentity(const std::string &path)
{
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return FolderIdentityOf(info);
}

// Folders x and y holding copies of the same two pictures, searched whole
// while a change is made to the tree at one chosen pump of the window.
class SwappedWhileSearchingTest : public ::testing::Test {
protected:
    struct Run {
        std::vector<std::vector<std::string>> sets; // the paths of each set
        std::vector<std::vector<FoundFile>> found;  // what the comparison read of each
        int pumps = 0;
        int measuringFrom = -1; // the first pump of the measuring stage
        int comparingFrom = -1; // the first pump of the comparison
    };

    // Searches a fresh tree, running `change` at pump number `at` (never
    // when negative).
    Run search(int at, const std::function<void(const TempTree &)> &change)
    {
        TempTree tree;
        for (const char *folder : {"x", "y"}) {
            tree.makeFolder(folder);
            tree.writeFile(std::string(folder) + "/a.jpg", test::deterministicBytes(400, 1));
            tree.writeFile(std::string(folder) + "/b.jpg", test::deterministicBytes(5000, 2));
        }
        listedX = folderIdentity(tree.path("x"));
        listedY = folderIdentity(tree.path("y"));
        RecordingView view;
        FileList files;
        auto results = makeResultGrid(nullptr);
        auto candidates = makeCandidateGrid();
        auto pairs = makePairGrid();
        SearchContext context {view, files, *results, *candidates, *pairs, {}, {}, {}, {}, {}, {}, {}, {}, {}, 1};
        SearchOptions options;
        options.folder = tree.root();
        context.readOptions = [&] { return options; };
        Run run;
        view.onPump = [&] {
            const int pump = view.pumps - 1;
            const std::string stage = view.only("label1 ").back();
            if (run.measuringFrom < 0 && stage == "label1 Creating a list of files") {
                run.measuringFrom = pump;
            }
            if (run.comparingFrom < 0 && stage == "label1 Compare files:") {
                run.comparingFrom = pump;
            }
            if (pump == at) {
                change(tree);
            }
        };
        StopFlag = 0;
        RunSearchBody(context);
        EXPECT_EQ(view.only("label1 ").back(), "label1 Finish");
        run.pumps = view.pumps;
        std::size_t row = 0;
        for (const int size : context.setSizes) {
            run.sets.emplace_back();
            run.found.emplace_back();
            for (int i = 0; i < size; ++i, ++row) {
                run.sets.back().push_back(textToPath(pairs->CellAt(0, static_cast<int>(row)).text())
                                              .substr(tree.root().size()));
                run.found.back().push_back(context.foundFiles.at(row));
            }
        }
        return run;
    }

    // Checks what must hold whenever the change came: no set holds one file
    // twice, and every member was read from the folder that was listed
    // under its path.
    void expectSound(const Run &run, const std::string &trial)
    {
        for (std::size_t s = 0; s < run.sets.size(); ++s) {
            std::set<std::pair<dev_t, ino_t>> files;
            for (std::size_t m = 0; m < run.sets[s].size(); ++m) {
                const FoundFile &found = run.found[s][m];
                EXPECT_TRUE(files.insert({found.file.device, found.file.inode}).second)
                    << trial << ": one file twice in a set, " << run.sets[s][m];
                const bool inY = run.sets[s][m].rfind("/y/", 0) == 0;
                EXPECT_EQ(found.folder, inY ? listedY : listedX) << trial << ": " << run.sets[s][m];
            }
        }
    }

    static bool holdsPathUnderY(const Run &run)
    {
        for (const auto &set : run.sets) {
            for (const std::string &path : set) {
                if (path.rfind("/y/", 0) == 0) {
                    return true;
                }
            }
        }
        return false;
    }

    void TearDown() override { StopFlag = 1; }

    FolderIdentity listedX;
    FolderIdentity listedY;
};

TEST_F(SwappedWhileSearchingTest, AFolderReplacedAfterTheListingIsLeftOut)
{
    const Run untouched = search(-1, {});
    ASSERT_EQ(untouched.sets.size(), 2u);
    ASSERT_GT(untouched.comparingFrom, untouched.measuringFrom);
    const std::map<std::string, std::function<void(const TempTree &)>> changes {
        {"link", [](const TempTree &tree) { test::swapFolderForLink(tree.path("y"), tree.path("x")); }},
        {"relative link", [](const TempTree &tree) { test::swapFolderForLink(tree.path("y"), "x"); }},
        {"other folder", [](const TempTree &tree) { test::swapFolderForCopy(tree.path("y")); }},
    };
    // Every pump from the end of the listing on: a change up to the
    // comparison's first pump comes before any file of y is read there.
    for (const auto &[kind, change] : changes) {
        for (int at = untouched.measuringFrom; at < untouched.pumps; ++at) {
            const std::string trial = kind + " at pump " + std::to_string(at);
            const Run run = search(at, change);
            expectSound(run, trial);
            if (at <= untouched.comparingFrom) {
                EXPECT_FALSE(holdsPathUnderY(run)) << trial;
            }
        }
    }
}

TEST_F(SwappedWhileSearchingTest, AFileReplacedByAHardLinkToItsCopyIsNeverPairedWithIt)
{
    const Run untouched = search(-1, {});
    for (int at = untouched.measuringFrom; at < untouched.pumps; ++at) {
        const Run run = search(at, [](const TempTree &tree) {
            test::swapFileForHardLink(tree.path("y/a.jpg"), tree.path("x/a.jpg"));
            test::swapFileForHardLink(tree.path("y/b.jpg"), tree.path("x/b.jpg"));
        });
        expectSound(run, "hard links at pump " + std::to_string(at));
    }
}

TEST(IdenticalSetsOfOneFile, AFileReachedTwiceStaysOnceAndItsCopiesStay)
{
    TempTree tree;
    const std::string bytes = test::deterministicBytes(3000, 5);
    const std::string first = tree.writeFile("first.jpg", bytes);
    const std::string link = tree.path("link.jpg");
    ASSERT_EQ(::link(first.c_str(), link.c_str()), 0);
    const std::string copy = tree.writeFile("copy.jpg", bytes);
    const std::vector<std::string> paths {first, link, copy, link};
    EXPECT_EQ(FindIdenticalSets(paths, 3000), (std::vector<std::vector<int>> {{0, 2}}));
    EXPECT_TRUE(FindIdenticalSets({first, link}, 3000).empty());
}

} // namespace
} // namespace quillmere
