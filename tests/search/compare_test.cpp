#include "platform/errors.h"
#include "platform/path_text.h"
#include "recording_view.h"
#include "search/compare_stage.h"
#include "search/files_identical.h"
#include "search/identical_sets.h"
#include "support/temp_tree.h"
#include "table/program_tables.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <set>
#include <sys/resource.h>
#include <unistd.h>

namespace quillmere {
namespace {

using test::RecordingView;
using test::TempTree;
using Sets = std::vector<std::vector<int>>;

// Deterministic bytes that differ from block to block.
std::string content(std::size_t size, unsigned seed)
{
    std::string out(size, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto &c : out) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return out;
}

std::string withLastByteChanged(std::string bytes)
{
    bytes.back() = static_cast<char>(bytes.back() ^ 0x5A);
    return bytes;
}

int openDescriptors()
{
    int count = 0;
    DIR *dir = ::opendir("/proc/self/fd");
    while (dir != nullptr && ::readdir(dir) != nullptr) {
        ++count;
    }
    if (dir != nullptr) {
        ::closedir(dir);
    }
    return count;
}

TEST(FilesIdentical, ComparesLengthThenEveryBlock)
{
    TempTree tree;
    const std::string block = content(65536, 1);
    EXPECT_TRUE(FilesIdentical(tree.writeFile("a1", block), tree.writeFile("a2", block)));
    const std::string longer = content(65537, 2);
    EXPECT_TRUE(FilesIdentical(tree.writeFile("b1", longer), tree.writeFile("b2", longer)));
    EXPECT_FALSE(FilesIdentical(tree.path("b1"), tree.writeFile("b3", withLastByteChanged(longer))));
    const std::string three = content(3 * 65536 + 17, 3);
    EXPECT_FALSE(FilesIdentical(tree.writeFile("c1", three), tree.writeFile("c2", withLastByteChanged(three))));
    EXPECT_FALSE(FilesIdentical(tree.path("a1"), tree.path("b1")));
    EXPECT_FALSE(FilesIdentical(tree.writeFile("d1", "abc"), tree.writeFile("d2", "abd")));
    EXPECT_TRUE(FilesIdentical(tree.writeFile("e1", ""), tree.writeFile("e2", "")));
}

TEST(FilesIdentical, OpenFailureRaisesAndLeavesNothingOpen)
{
    TempTree tree;
    const std::string a = tree.writeFile("a", "abc");
    const int before = openDescriptors();
    EXPECT_THROW(FilesIdentical(a, tree.path("missing")), EFOpenError);
    EXPECT_THROW(FilesIdentical(tree.path("missing"), a), EFOpenError);
    EXPECT_THROW(FilesIdentical(a, tree.makeFifo("fifo")), EFOpenError);
    EXPECT_THROW(FilesIdentical(a, tree.makeSymlink("link", a)), EFOpenError);
    EXPECT_TRUE(FilesIdentical(a, a));
    EXPECT_EQ(openDescriptors(), before);
}

TEST(BlockFingerprint, DependsOnEveryByteAndTheLength)
{
    const std::string base = content(1000, 9);
    const auto print = [](const std::string &s) {
        return BlockFingerprint(reinterpret_cast<const unsigned char *>(s.data()), s.size());
    };
    for (std::size_t i : { 0u, 7u, 31u, 32u, 500u, 991u, 999u }) {
        std::string changed = base;
        changed[i] = static_cast<char>(changed[i] ^ 1);
        EXPECT_NE(print(changed), print(base)) << i;
    }
    EXPECT_NE(print(base.substr(0, 999)), print(base));
    EXPECT_NE(print(std::string(40, '\0')), print(std::string(41, '\0')));
}

class IdenticalSetsTest : public ::testing::Test {
protected:
    // Writes one file per content, named f0, f1, ...
    std::vector<std::string> files(const std::vector<std::string> &contents)
    {
        std::vector<std::string> paths;
        for (std::size_t i = 0; i < contents.size(); ++i) {
            paths.push_back(tree.writeFile("f" + std::to_string(i), contents[i]));
        }
        return paths;
    }
    TempTree tree;
};

TEST_F(IdenticalSetsTest, FindsCopiesSeparatedByADifferentFile)
{
    const std::string a = content(5000, 1);
    EXPECT_EQ(FindIdenticalSets(files({ a, content(5000, 2), a }), 5000), (Sets { { 0, 2 } }));
}

TEST_F(IdenticalSetsTest, SeveralSetsOfOneSizeComeInOrderOfTheirFirstFile)
{
    const std::string p = content(70000, 1);
    const std::string q = content(70000, 2);
    const std::string r = content(70000, 3);
    const auto paths = files({ q, p, content(70000, 4), p, q, r, p, r, q });
    EXPECT_EQ(FindIdenticalSets(paths, 70000), (Sets { { 0, 4, 8 }, { 1, 3, 6 }, { 5, 7 } }));
}

TEST_F(IdenticalSetsTest, NearMissesDifferingInTheLastByteAreApart)
{
    const std::string a = content(3 * 65536 + 5, 7);
    const std::string nearA = withLastByteChanged(a);
    EXPECT_EQ(FindIdenticalSets(files({ a, nearA, a, nearA, content(3 * 65536 + 5, 8) }), 3 * 65536 + 5),
              (Sets { { 0, 2 }, { 1, 3 } }));
}

TEST_F(IdenticalSetsTest, BlockEdgesAndTinyFiles)
{
    for (const std::size_t size : { std::size_t(1), std::size_t(4096), std::size_t(4097), std::size_t(65536),
                                    std::size_t(65537), std::size_t(69632) }) {
        TempTree local;
        const std::string a = content(size, 11);
        const std::vector<std::string> paths { local.writeFile("a", a), local.writeFile("b", withLastByteChanged(a)),
                                               local.writeFile("c", a) };
        EXPECT_EQ(FindIdenticalSets(paths, static_cast<std::int64_t>(size)), (Sets { { 0, 2 } })) << size;
    }
    TempTree empty;
    EXPECT_EQ(FindIdenticalSets({ empty.writeFile("a", ""), empty.writeFile("b", "") }, 0), (Sets { { 0, 1 } }));
}

TEST_F(IdenticalSetsTest, UnopenableOrChangedFilesAreIdenticalToNothing)
{
    const std::string a = content(3000, 1);
    auto paths = files({ a, a, a, a, a, a });
    ::unlink(paths[0].c_str());
    tree.writeFile("f2", a + "grown");
    ::unlink(paths[3].c_str());
    ASSERT_EQ(::symlink(paths[1].c_str(), paths[3].c_str()), 0);
    paths.push_back(tree.makeFifo("fifo"));
    EXPECT_EQ(FindIdenticalSets(paths, 3000), (Sets { { 1, 4, 5 } }));
}

TEST_F(IdenticalSetsTest, ReachesEveryFileOnceInOrderAndRunsOfOneOpenNothing)
{
    const std::string a = content(200, 1);
    const auto paths = files({ a, content(200, 2), a });
    std::vector<int> reached;
    FindIdenticalSets(paths, 200, [&](int i) { reached.push_back(i); });
    EXPECT_EQ(reached, (std::vector<int> { 0, 1, 2 }));

    reached.clear();
    const std::vector<std::string> missing { tree.path("missing") };
    EXPECT_TRUE(FindIdenticalSets(missing, 200, [&](int i) { reached.push_back(i); }).empty());
    EXPECT_EQ(reached, std::vector<int> { 0 });
}

TEST_F(IdenticalSetsTest, ManyFilesStayWithinTheOpenFileAndMemoryLimits)
{
    // 41 files of 9 contents in a scattered order, with a limit of 5 open files and room for one block: the whole
    // run is read in batches, sorted through fingerprint buckets beyond the
    // memory budget, and each bucket is then confirmed with its files open.
    // The contents differ only in the block after the first, where the
    // buckets form, so a bucket passed on unconfirmed would mix them.
    const std::string head = content(4096, 99);
    const std::string tail = content(65536 + 100, 98);
    const std::size_t size = head.size() + 65536 + tail.size();
    std::vector<std::string> contents;
    for (int i = 0; i < 41; ++i) {
        contents.push_back(head + content(65536, static_cast<unsigned>(i % 9)) + tail);
    }
    contents[40] = withLastByteChanged(contents[40]);
    const auto paths = files(contents);
    IdenticalSetsLimits limits;
    limits.maxOpenFiles = 5;
    limits.memoryBudget = 65536;

    // Descriptors are handed out lowest first: a limit that leaves exactly
    // maxOpenFiles free numbers makes any extra open fail, which would drop
    // a file from its set.
    std::set<int> used;
    DIR *dir = ::opendir("/proc/self/fd");
    ASSERT_NE(dir, nullptr);
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.' && std::atoi(entry->d_name) != ::dirfd(dir)) {
            used.insert(std::atoi(entry->d_name));
        }
    }
    ::closedir(dir);
    int limit = 0;
    for (int free = 0; free < limits.maxOpenFiles; ++limit) {
        free += used.count(limit) == 0 ? 1 : 0;
    }
    const int baseline = openDescriptors();
    rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit tight = old;
    tight.rlim_cur = static_cast<rlim_t>(limit);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    const auto sets = FindIdenticalSets(paths, static_cast<std::int64_t>(size), {}, limits);
    // With every block colliding, only the byte comparison tells contents apart.
    limits.fingerprint = [](const unsigned char *, std::size_t) -> std::uint64_t { return 42; };
    const auto setsWithoutFingerprints = FindIdenticalSets(paths, static_cast<std::int64_t>(size), {}, limits);
    ::setrlimit(RLIMIT_NOFILE, &old);

    Sets expected(9);
    for (int i = 0; i < 40; ++i) {
        expected[static_cast<std::size_t>(i % 9)].push_back(i);
    }
    EXPECT_EQ(sets, expected);
    EXPECT_EQ(setsWithoutFingerprints, expected);
    EXPECT_EQ(openDescriptors(), baseline);
}

// A candidate table with the given rows, in this order (the size texts are
// written as given, as the sort would leave them).
std::unique_ptr<TDataGrid> candidateTable(const std::vector<std::pair<std::string, std::string>> &rows)
{
    auto grid = makeCandidateGrid();
    for (const auto &[path, size] : rows) {
        grid->AppendRows(1);
        grid->CellAt(0, grid->RowCount() - 1).setText(pathToText(path));
        grid->CellAt(1, grid->RowCount() - 1).setText(QString::fromStdString(size));
    }
    return grid;
}

std::vector<std::string> pairRows(TDataGrid &pairs)
{
    std::vector<std::string> out;
    for (int r = 0; r < pairs.RowCount(); ++r) {
        out.push_back(textToPath(pairs.CellAt(0, r).text()) + "|" + pairs.CellAt(1, r).text().toStdString());
    }
    return out;
}

class CompareStageTest : public ::testing::Test {
protected:
    std::string file(const std::string &name, const std::string &bytes) { return tree.writeFile(name, bytes); }
    TempTree tree;
    RecordingView view;
    std::unique_ptr<TDataGrid> pairs = makePairGrid();
};

TEST_F(CompareStageTest, IdenticalFilesApartInTheOrderArePaired)
{
    const std::string same = content(300, 1);
    const std::string a = file("a.jpg", same);
    const std::string b = file("b.jpg", content(300, 2));
    const std::string c = file("c.jpg", same);
    auto candidates = candidateTable({ { a, "300" }, { b, "300" }, { c, "300" } });
    ASSERT_TRUE(CompareCandidates(*candidates, *pairs, view));
    EXPECT_EQ(pairRows(*pairs), (std::vector<std::string> { a + "|300", c + "|300" }));
}

TEST_F(CompareStageTest, SetsStandAsChainsInCandidateOrder)
{
    const std::string x = content(150, 1);
    const std::string y = content(150, 2);
    const std::string z = content(4000, 3);
    const std::string x1 = file("x1", x), y1 = file("y1", y), x2 = file("x2", x), x3 = file("x3", x);
    const std::string y2 = file("y2", y), lone = file("lone", content(150, 9));
    const std::string z1 = file("z1", z), z2 = file("z2", z), z3 = file("z3", z), z4 = file("z4", z);
    const std::string other = file("other", content(2000, 4));
    auto candidates = candidateTable({ { x1, "150" }, { y1, "150" }, { x2, "150" }, { x3, "150" }, { y2, "150" },
                                       { lone, "150" }, { other, "2000" }, { z1, "4000" }, { z2, "4000" },
                                       { z3, "4000" }, { z4, "4000" } });
    ASSERT_TRUE(CompareCandidates(*candidates, *pairs, view));
    EXPECT_EQ(pairRows(*pairs),
              (std::vector<std::string> { x1 + "|150", x2 + "|150", x3 + "|150", y1 + "|150", y2 + "|150",
                                          z1 + "|4000", z2 + "|4000", z3 + "|4000", z4 + "|4000" }));
}

TEST_F(CompareStageTest, PumpsBeforeEachCandidateButTheLast)
{
    const std::string same = content(300, 1);
    const std::string a = file("a", same), b = file("b", same), c = file("c", content(500, 2));
    auto candidates = candidateTable({ { a, "300" }, { b, "300" }, { c, "500" } });
    ASSERT_TRUE(CompareCandidates(*candidates, *pairs, view));
    const std::vector<std::string> expected {
        "max 1", "label1 Compare files:", "pump", "pos 0", "label3 " + a, "pump", "pos 1", "label3 " + b,
    };
    EXPECT_EQ(view.events, expected);
}

TEST_F(CompareStageTest, FileRemovedSinceMeasuringIsSkippedAndTheRestPaired)
{
    const std::string same = content(300, 1);
    const std::string a = file("a", same), b = file("b", same), c = file("c", same);
    auto candidates = candidateTable({ { a, "300" }, { b, "300" }, { c, "300" } });
    ::unlink(a.c_str());
    ASSERT_TRUE(CompareCandidates(*candidates, *pairs, view));
    EXPECT_EQ(pairRows(*pairs), (std::vector<std::string> { b + "|300", c + "|300" }));
}

TEST_F(CompareStageTest, FileDeletedWhileTheWindowRunsIsSkipped)
{
    const std::string same = content(300, 1);
    const std::string a = file("a", same), b = file("b", same), c = file("c", same);
    auto candidates = candidateTable({ { a, "300" }, { b, "300" }, { c, "300" } });
    // A handler run at the first pump deletes the last file and empties the
    // candidate table; the stage finishes on what it started with.
    view.onPump = [&] {
        ::unlink(c.c_str());
        candidates->RemoveAllRows();
    };
    ASSERT_TRUE(CompareCandidates(*candidates, *pairs, view));
    EXPECT_EQ(pairRows(*pairs), (std::vector<std::string> { a + "|300", b + "|300" }));
}

TEST_F(CompareStageTest, FewerThanTwoCandidatesCompareNothing)
{
    auto none = makeCandidateGrid();
    EXPECT_FALSE(CompareCandidates(*none, *pairs, view));
    auto one = candidateTable({ { file("a", "x"), "1" } });
    EXPECT_FALSE(CompareCandidates(*one, *pairs, view));
    EXPECT_TRUE(view.events.empty());
    EXPECT_EQ(pairs->RowCount(), 0);
}

} // namespace
} // namespace quillmere
