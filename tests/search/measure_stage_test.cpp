#include "platform/file_measure.h"
#include "platform/path_text.h"
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

std::string bytes(std::size_t count, char fill = 'x')
{
    return std::string(count, fill);
}

// The candidate table's rows as "path|size".
std::vector<std::string> rows(TDataGrid &grid)
{
    std::vector<std::string> out;
    for (int r = 0; r < grid.RowCount(); ++r) {
        out.push_back(textToPath(grid.CellAt(0, r).text()) + "|" + grid.CellAt(1, r).text().toStdString());
    }
    return out;
}

TEST(MeasureFile, RegularFilesOnlyNeverThrowsNorBlocks)
{
    TempTree tree;
    const std::string file = tree.writeFile("a.jpg", bytes(1234));
    EXPECT_EQ(MeasureFile(file), 1234.0);
    EXPECT_EQ(MeasureFile(tree.writeFile("empty.jpg", "")), 0.0);
    EXPECT_EQ(MeasureFile(tree.path("missing.jpg")), -1.0);
    EXPECT_EQ(MeasureFile(tree.makeFifo("x.jpg")), -1.0);
    EXPECT_EQ(MeasureFile(tree.makeFolder("dir.jpg")), -1.0);
    EXPECT_EQ(MeasureFile("/dev/null"), -1.0);
    EXPECT_EQ(MeasureFile(""), -1.0);

    const FileStamp stamp = MeasureFileStamp(file);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(stamp.device, st.st_dev);
    EXPECT_EQ(stamp.inode, st.st_ino);
    EXPECT_EQ(stamp.mtimeNs, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec);
}

class MeasureStageTest : public ::testing::Test {
protected:
    TempTree tree;
    FileList list;
    RecordingView view;
    std::unique_ptr<TDataGrid> candidates = makeCandidateGrid();
};

TEST_F(MeasureStageTest, KeepsFilesAbove100BytesSortedBySizeText)
{
    list.append(tree.writeFile("thirty.jpg", bytes(30)));
    const std::string small = tree.writeFile("hundred.jpg", bytes(100));
    const std::string just = tree.writeFile("hundred-one.jpg", bytes(101));
    const std::string mid = tree.writeFile("two-hundred.jpg", bytes(200));
    const std::string big = tree.writeFile("thousand.jpg", bytes(1000));
    list.append(small);
    list.append(mid);
    list.append(big);
    list.append(just);
    list.append(tree.path("vanished.jpg"));
    list.append(tree.makeFifo("fifo.jpg"));

    ASSERT_TRUE(MeasureCandidates(list, *candidates, view));
    // Ordered by text: "1000" < "101" < "200".
    EXPECT_EQ(rows(*candidates), (std::vector<std::string> { big + "|1000", just + "|101", mid + "|200" }));
    EXPECT_TRUE(candidates->Column(1).Sorted());
}

TEST_F(MeasureStageTest, ShowsProgressAndPumpsOncePerPath)
{
    list.append(tree.writeFile("a.jpg", bytes(150)));
    list.append(tree.writeFile("b.jpg", bytes(10)));
    list.append(tree.writeFile("c.jpg", bytes(150)));
    ASSERT_TRUE(MeasureCandidates(list, *candidates, view));
    const std::vector<std::string> expected {
        "max 1",
        "label1 Creating a list of files",
        "pos 0",
        "label3 " + list.at(0),
        "pump",
        "pos 1",
        "label3 " + list.at(1),
        "pump",
        "pos 2",
        "label3 " + list.at(2),
        "pump",
    };
    EXPECT_EQ(view.events, expected);
}

TEST_F(MeasureStageTest, FewerThanTwoPathsEndTheSearchUntouched)
{
    EXPECT_FALSE(MeasureCandidates(list, *candidates, view));
    list.append(tree.writeFile("a.jpg", bytes(500)));
    EXPECT_FALSE(MeasureCandidates(list, *candidates, view));
    EXPECT_TRUE(view.events.empty());
    EXPECT_EQ(candidates->RowCount(), 0);
}

TEST_F(MeasureStageTest, RecycleFoldersGiveNoCandidates)
{
    const QByteArray oldXdg = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(tree.path("data")));
    tree.makeFolder("RECYCLER");
    tree.makeFolder("RECYCLER/S-1-5");
    tree.makeFolder("Recycler");
    tree.makeFolder(".Trash-1000");
    tree.makeFolder("data");
    tree.makeFolder("data/Trash");
    tree.makeFolder("data/Trash/files");
    list.append(tree.writeFile("RECYCLER/S-1-5/a.jpg", bytes(300)));
    const std::string kept = tree.writeFile("Recycler/b.jpg", bytes(300));
    list.append(kept);
    list.append(tree.writeFile(".Trash-1000/c.jpg", bytes(300)));
    list.append(tree.writeFile("data/Trash/files/d.jpg", bytes(300)));
    ASSERT_TRUE(MeasureCandidates(list, *candidates, view));
    EXPECT_EQ(rows(*candidates), std::vector<std::string> { kept + "|300" });
    oldXdg.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", oldXdg);
}

TEST_F(MeasureStageTest, PathsOfOneFileMakeOneCandidate)
{
    const std::string original = tree.writeFile("a.jpg", bytes(400, 'a'));
    const std::string link = tree.path("hardlink.jpg");
    ASSERT_EQ(::link(original.c_str(), link.c_str()), 0);
    const std::string copy = tree.writeFile("copy.jpg", bytes(400, 'a'));
    list.append(link);
    list.append(copy);
    list.append(original);
    ASSERT_TRUE(MeasureCandidates(list, *candidates, view));
    const auto found = rows(*candidates);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_NE(std::find(found.begin(), found.end(), link + "|400"), found.end());
    EXPECT_NE(std::find(found.begin(), found.end(), copy + "|400"), found.end());
}

TEST_F(MeasureStageTest, NonUtf8PathSurvivesTheTable)
{
    const std::string odd = tree.writeFile("bad\xFF\n.jpg", bytes(222));
    list.append(odd);
    list.append(tree.writeFile("b.jpg", bytes(5)));
    ASSERT_TRUE(MeasureCandidates(list, *candidates, view));
    EXPECT_EQ(rows(*candidates), std::vector<std::string> { odd + "|222" });
}

} // namespace
} // namespace quillmere
