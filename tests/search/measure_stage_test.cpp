#include "platform/file_measure.h"
#include "platform/path_text.h"
#include "listed_by_hand.h"
#include "recording_view.h"
#include "search/file_list.h"
#include "search/measure_stage.h"
#include "support/temp_tree.h"
#include "table/program_tables.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillmere {
namespace {

using test::RecordingView;
using test::TempTree;

TEST(MeasureFile, RegularFilesOnlyWithTheirIdentityNeverThroughALink)
{
    TempTree tree;
    const std::string file = tree.writeFile("a.jpg", std::string(1234, 'x'));
    EXPECT_EQ(MeasureFile(file), 1234.0);
    EXPECT_EQ(MeasureFile(tree.writeFile("empty.jpg", "")), 0.0);
    // Links are never followed, also those that took a found file's place.
    for (const std::string &bad : { tree.path("missing.jpg"), tree.makeFifo("x.jpg"), tree.makeFolder("dir.jpg"),
                                    std::string("/dev/null"), std::string(), tree.makeSymlink("link.jpg", file),
                                    tree.makeSymlink("zero.jpg", "/dev/zero"),
                                    tree.makeSymlink("fifo-link.jpg", tree.path("x.jpg")) }) {
        EXPECT_EQ(MeasureFile(bad), -1.0) << bad;
    }
    const FileStamp stamp = MeasureFileStamp(file);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(stamp.device, st.st_dev);
    EXPECT_EQ(stamp.inode, st.st_ino);
    EXPECT_EQ(stamp.mtimeNs, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec);
}

class MeasureStageTest : public ::testing::Test {
protected:
    std::string file(const std::string &name, std::size_t size)
    {
        const std::string path = tree.writeFile(name, std::string(size, 'x'));
        list.append(path);
        test::listFolderOf(list.folders(), path);
        return path;
    }
    // The candidate rows as "path|size".
    std::vector<std::string> rows()
    {
        std::vector<std::string> out;
        for (int r = 0; r < candidates->RowCount(); ++r) {
            out.push_back(textToPath(candidates->CellAt(0, r).text()) + "|"
                          + candidates->CellAt(1, r).text().toStdString());
        }
        return out;
    }

    TempTree tree;
    FileList list;
    RecordingView view;
    std::unique_ptr<TDataGrid> candidates = makeCandidateGrid();
};

TEST_F(MeasureStageTest, KeepsFilesAbove100BytesOrderedBySizeText)
{
    file("thirty.jpg", 30);
    file("hundred.jpg", 100);
    const std::string mid = file("two-hundred.jpg", 200);
    const std::string big = file("thousand.jpg", 1000);
    const std::string just = file("odd\xFF\nname.jpg", 101);
    list.append(tree.path("vanished.jpg"));
    list.append(tree.makeFifo("fifo.jpg"));

    ASSERT_TRUE(MeasureCandidates(list, *candidates, view));
    // By text, "1000" < "101" < "200".
    EXPECT_EQ(rows(), (std::vector<std::string> { big + "|1000", just + "|101", mid + "|200" }));
    EXPECT_EQ(view.only("max"), std::vector<std::string> { "max 5" });
    EXPECT_EQ(view.only("label1"), std::vector<std::string> { "label1 Creating a list of files" });
    EXPECT_EQ(view.pumps, 7);
    // Each path: position, then its label, then the pump.
    const std::vector<std::string> second(view.events.begin() + 5, view.events.begin() + 8);
    EXPECT_EQ(second, (std::vector<std::string> { "pos 1", "label3 " + list.at(1), "pump" }));
}

TEST_F(MeasureStageTest, FewerThanTwoPathsEndTheSearchUntouched)
{
    EXPECT_FALSE(MeasureCandidates(list, *candidates, view));
    file("a.jpg", 500);
    EXPECT_FALSE(MeasureCandidates(list, *candidates, view));
    EXPECT_TRUE(view.events.empty());
    EXPECT_EQ(candidates->RowCount(), 0);
}

TEST_F(MeasureStageTest, RecycleFoldersAndSecondPathsOfOneFileGiveNoCandidates)
{
    const QByteArray oldXdg = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(tree.path("data")));
    for (const char *folder : { "RECYCLER", "Recycler", ".Trash-1000", "data", "data/Trash" }) {
        tree.makeFolder(folder);
    }
    file("RECYCLER/a.jpg", 300);
    const std::string kept = file("Recycler/b.jpg", 301);
    file(".Trash-1000/c.jpg", 302);
    file("data/Trash/d.jpg", 303);
    // A hard link listed first stands for its file; the other path is left out.
    const std::string original = tree.writeFile("e.jpg", std::string(400, 'e'));
    const std::string link = tree.path("hardlink.jpg");
    ASSERT_EQ(::link(original.c_str(), link.c_str()), 0);
    list.append(link);
    list.append(original);
    test::listFolderOf(list.folders(), link);

    ASSERT_TRUE(MeasureCandidates(list, *candidates, view));
    EXPECT_EQ(rows(), (std::vector<std::string> { kept + "|301", link + "|400" }));
    oldXdg.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", oldXdg);
}

TEST_F(MeasureStageTest, TheSortOfManyCandidatesLetsMessagesRunAndEndsWhenAbandoned)
{
    const int n = 3000;
    for (int i = 0; i < n; ++i) {
        file("f" + std::to_string(i) + ".jpg", 101 + static_cast<std::size_t>(i % 37));
    }
    ASSERT_TRUE(MeasureCandidates(list, *candidates, view));
    ASSERT_EQ(candidates->RowCount(), n);
    EXPECT_GT(view.pumps, n); // one per path, and more inside the sort
    for (int r = 1; r < n; ++r) {
        ASSERT_LE(candidates->CellAt(1, r - 1).text().compare(candidates->CellAt(1, r).text()), 0);
    }

    // A search abandoned at a pump inside the sort ends there.
    candidates->RemoveAllRows();
    view.pumps = 0;
    view.onPump = [&] {
        if (view.pumps > n) {
            throw SearchAbandoned {true};
        }
    };
    EXPECT_THROW(MeasureCandidates(list, *candidates, view), SearchAbandoned);
    EXPECT_EQ(view.pumps, n + 1);
    EXPECT_FALSE(candidates->whileSorting);
}

} // namespace
} // namespace quillmere
