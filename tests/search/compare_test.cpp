#include "listed_by_hand.h"
#include "platform/path_text.h"
#include "recording_view.h"
#include "search/compare_stage.h"
#include "search/identical_sets.h"
#include "support/temp_tree.h"
#include "test_bytes.h"
#include "table/program_tables.h"

#include <atomic>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <new>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

// Every allocation of this test program is counted, so a test can tell how
// much memory a piece of work held at its peak.
namespace {
std::atomic<std::size_t> liveBytes {0};
std::atomic<std::size_t> peakBytes {0};

void *countedAllocation(std::size_t size)
{
    auto *block = static_cast<std::size_t *>(std::malloc(size + sizeof(std::max_align_t)));
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    *block = size;
    const std::size_t now = liveBytes += size;
    std::size_t peak = peakBytes.load();
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
    }
    return reinterpret_cast<char *>(block) + sizeof(std::max_align_t);
}

void countedRelease(void *pointer) noexcept
{
    if (pointer != nullptr) {
        auto *block = reinterpret_cast<std::size_t *>(static_cast<char *>(pointer) - sizeof(std::max_align_t));
        liveBytes -= *block;
        std::free(block);
    }
}
} // namespace

void *operator new(std::size_t size) { return countedAllocation(size); }
void *operator new[](std::size_t size) { return countedAllocation(size); }
void operator delete(void *pointer) noexcept { countedRelease(pointer); }
void operator delete[](void *pointer) noexcept { countedRelease(pointer); }
void operator delete(void *pointer, std::size_t) noexcept { countedRelease(pointer); }
void operator delete[](void *pointer, std::size_t) noexcept { countedRelease(pointer); }

namespace quillmere {
namespace {

using test::RecordingView;
using test::TempTree;
using Sets = std::vector<std::vector<int>>;

// Deterministic bytes that differ from block to block.
std::string content(std::size_t size, unsigned seed)
{
    return test::deterministicBytes(size, seed);
}

std::string lastByteChanged(std::string bytes)
{
    bytes.back() = static_cast<char>(bytes.back() ^ 0x5A);
    return bytes;
}

std::set<int> openDescriptors()
{
    std::set<int> fds;
    DIR *dir = ::opendir("/proc/self/fd");
    while (const dirent *entry = dir != nullptr ? ::readdir(dir) : nullptr) {
        if (entry->d_name[0] != '.' && std::atoi(entry->d_name) != ::dirfd(dir)) {
            fds.insert(std::atoi(entry->d_name));
        }
    }
    if (dir != nullptr) {
        ::closedir(dir);
    }
    return fds;
}

std::vector<std::string> writeAll(TempTree &tree, const std::vector<std::string> &contents)
{
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < contents.size(); ++i) {
        paths.push_back(tree.writeFile("f" + std::to_string(i), contents[i]));
    }
    return paths;
}

class IdenticalSetsTest : public ::testing::Test {
protected:
    std::vector<std::string> files(const std::vector<std::string> &contents) { return writeAll(tree, contents); }
    TempTree tree;
};

TEST_F(IdenticalSetsTest, EveryCopyIsFoundWhateverStandsBetween)
{
    const std::size_t size = 3 * 65536 + 5;
    const std::string p = content(size, 1);
    const std::string q = content(size, 2);
    // Copies apart in the order, a near miss differing in its last byte, and a
    // file of other content.
    const auto paths = files({ q, p, lastByteChanged(p), p, q, content(size, 3), p, lastByteChanged(p) });
    EXPECT_EQ(FindIdenticalSets(paths, size), (Sets { { 0, 4 }, { 1, 3, 6 }, { 2, 7 } }));
}

TEST_F(IdenticalSetsTest, BlockEdgesAndTinyFiles)
{
    for (const std::size_t size : { 1, 4096, 4097, 65536, 65537, 69632, 3 * 65536 + 17 }) {
        TempTree local;
        const std::string a = content(size, 11);
        const std::vector<std::string> paths { local.writeFile("a", a), local.writeFile("b", lastByteChanged(a)),
                                               local.writeFile("c", a) };
        EXPECT_EQ(FindIdenticalSets(paths, static_cast<std::int64_t>(size)), (Sets { { 0, 2 } })) << size;
    }
    EXPECT_EQ(FindIdenticalSets(files({ "", "" }), 0), (Sets { { 0, 1 } }));
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

TEST_F(IdenticalSetsTest, ManyFilesStayWithinTheOpenFileAndMemoryLimits)
{
    // 41 files of 9 contents in a scattered order, a limit of 5 open files and
    // room for one block: the run is read in batches, sorted through
    // fingerprint buckets beyond the memory budget, and each bucket is then
    // confirmed with its files open. The contents differ only in the block
    // where the buckets form, so a bucket passed on unconfirmed would mix them.
    const std::string head = content(4096, 99);
    const std::string tail = content(65536 + 100, 98);
    const std::size_t size = head.size() + 65536 + tail.size();
    std::vector<std::string> contents;
    for (int i = 0; i < 41; ++i) {
        contents.push_back(head + content(65536, static_cast<unsigned>(i % 9)) + tail);
    }
    contents[40] = lastByteChanged(contents[40]);
    const auto paths = files(contents);
    IdenticalSetsLimits limits;
    limits.maxOpenFiles = 5;
    limits.memoryBudget = 65536;
    Sets expected(9);
    for (int i = 0; i < 40; ++i) {
        expected[static_cast<std::size_t>(i % 9)].push_back(i);
    }

    // Descriptors are handed out lowest first: a limit that leaves exactly
    // maxOpenFiles numbers free makes any further open fail, which would drop
    // a file from its set.
    const auto used = openDescriptors();
    int limit = 0;
    for (int free = 0; free < limits.maxOpenFiles; ++limit) {
        free += used.count(limit) == 0 ? 1 : 0;
    }
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

    EXPECT_EQ(sets, expected);
    EXPECT_EQ(setsWithoutFingerprints, expected);
    EXPECT_EQ(openDescriptors(), used);
}

TEST_F(IdenticalSetsTest, LaterReadsLetMessagesRunAndMayEndTheSearch)
{
    // 300 files of three contents in two blocks: the second blocks follow no
    // first look at a file, so the window's messages run between them.
    std::vector<std::string> contents;
    for (int i = 0; i < 300; ++i) {
        contents.push_back(content(5000, static_cast<unsigned>(i % 3)));
    }
    const auto paths = files(contents);
    const auto used = openDescriptors();
    int calls = 0;
    const auto sets = FindIdenticalSets(paths, 5000, {}, {}, nullptr, [&] { ++calls; });
    EXPECT_EQ(sets.size(), 3u);
    EXPECT_GE(calls, 2);

    struct Abandoned { };
    EXPECT_THROW(FindIdenticalSets(paths, 5000, {}, {}, nullptr, [] { throw Abandoned(); }), Abandoned);
    EXPECT_EQ(openDescriptors(), used);
}

TEST(IdenticalSets, AFileChangedWhileItIsReadIsIdenticalToNothing)
{
    // Three blocks each; file 0 is changed after its first block was read
    // (the hook runs before the last file is first opened).
    const std::size_t size = 3 * 65536;
    const std::string same = content(size, 1);
    const std::vector<std::function<void(const std::string &)>> changes {
        [](const std::string &path) { ::unlink(path.c_str()); },
        [](const std::string &path) {
            const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
            ASSERT_EQ(::write(fd, "x", 1), 1);
            ::close(fd);
        },
        // The same bytes and times under the same name, but another file.
        [&](const std::string &path) { test::replaceKeepingTimes(path, same); },
    };
    for (std::size_t c = 0; c < changes.size(); ++c) {
        TempTree tree;
        const auto paths = writeAll(tree, {same, same, same});
        std::vector<FoundFile> found;
        const auto sets = FindIdenticalSets(
            paths, static_cast<std::int64_t>(size),
            [&](int index) {
                if (index == 2) {
                    changes[c](paths[0]);
                }
            },
            {}, &found);
        EXPECT_EQ(sets, (Sets {{1, 2}})) << "change " << c;
        // What was recorded is the file that was read, and its folder.
        struct stat file {};
        struct stat folder {};
        ASSERT_EQ(::stat(paths[1].c_str(), &file), 0);
        ASSERT_EQ(::stat(tree.root().c_str(), &folder), 0);
        ASSERT_EQ(found.size(), 3u);
        EXPECT_EQ(found[1].file, FileIdentityOf(file));
        EXPECT_EQ(found[1].folder, FolderIdentityOf(folder));
    }
}

TEST_F(IdenticalSetsTest, WholeSetsUnderAnyDescriptorLimit)
{
    const std::string same = content(70000, 2);
    const auto paths = files(std::vector<std::string>(120, same));
    Sets expected {{}};
    for (int i = 0; i < 120; ++i) {
        expected[0].push_back(i);
    }
    rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    for (const rlim_t spare : {rlim_t(4), rlim_t(40)}) {
        // Room for a few more descriptors than are open now.
        rlimit tight = old;
        tight.rlim_cur = static_cast<rlim_t>(openDescriptors().size()) + spare;
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
        const auto sets = FindIdenticalSets(paths, 70000);
        ::setrlimit(RLIMIT_NOFILE, &old);
        EXPECT_EQ(sets, expected) << spare << " spare descriptors";
    }
}

TEST_F(IdenticalSetsTest, TheMemoryBudgetCountsEveryContentHeld)
{
    // Many small files of one size, all different: each distinct first block
    // held costs memory, and the budget must bound all of it.
    std::vector<std::string> contents;
    for (unsigned i = 0; i < 3000; ++i) {
        contents.push_back(content(150, i + 10));
    }
    contents.push_back(contents[7]);
    const auto paths = files(contents);
    IdenticalSetsLimits limits;
    limits.memoryBudget = 256 * 1024;
    const std::size_t before = liveBytes.load();
    peakBytes = before;
    const auto sets = FindIdenticalSets(paths, 150, {}, limits);
    const std::size_t held = peakBytes.load() - before;
    EXPECT_EQ(sets, (Sets {{7, 3000}}));
    EXPECT_LT(held, limits.memoryBudget + 1024 * 1024) << held << " bytes held at the peak";
}

class CompareStageTest : public ::testing::Test {
protected:
    // Writes the files and the candidate table rows in the given order.
    void candidate(const std::string &name, const std::string &bytes)
    {
        const std::string path = tree.writeFile(name, bytes);
        test::listFolderOf(listed, path);
        candidates->AppendRows(1);
        candidates->CellAt(0, candidates->RowCount() - 1).setText(pathToText(path));
        candidates->CellAt(1, candidates->RowCount() - 1).setText(QString::number(bytes.size()));
    }
    std::vector<std::string> pairNames()
    {
        std::vector<std::string> out;
        for (int r = 0; r < pairs->RowCount(); ++r) {
            const std::string path = textToPath(pairs->CellAt(0, r).text());
            out.push_back(path.substr(path.rfind('/') + 1) + "|" + pairs->CellAt(1, r).text().toStdString());
        }
        return out;
    }

    TempTree tree;
    ListedFolders listed;
    RecordingView view;
    std::unique_ptr<TDataGrid> candidates = makeCandidateGrid();
    std::unique_ptr<TDataGrid> pairs = makePairGrid();
};

TEST_F(CompareStageTest, SetsStandAsChainsInCandidateOrder)
{
    const std::string x = content(150, 1);
    const std::string y = content(150, 2);
    const std::string z = content(4000, 3);
    candidate("x1", x);
    candidate("y1", y);
    candidate("x2", x);
    candidate("lone", content(150, 9));
    candidate("x3", x);
    candidate("y2", y);
    candidate("other", content(2000, 4));
    for (const char *name : { "z1", "z2", "z3", "z4" }) {
        candidate(name, z);
    }
    ASSERT_TRUE(CompareCandidates(*candidates, *pairs, view, listed));
    EXPECT_EQ(pairNames(), (std::vector<std::string> { "x1|150", "x2|150", "x3|150", "y1|150", "y2|150", "z1|4000",
                                                       "z2|4000", "z3|4000", "z4|4000" }));
}

TEST_F(CompareStageTest, PumpsBeforeEachCandidateButTheLast)
{
    const std::string same = content(300, 1);
    candidate("a", same);
    candidate("b", same);
    candidate("c", content(500, 2));
    ASSERT_TRUE(CompareCandidates(*candidates, *pairs, view, listed));
    const std::string a = tree.path("a");
    const std::string b = tree.path("b");
    EXPECT_EQ(view.events, (std::vector<std::string> { "max 1", "label1 Compare files:", "pump", "pos 0", "label3 " + a,
                                                       "pump", "pos 1", "label3 " + b }));
}

TEST_F(CompareStageTest, FilesGoneSinceMeasuringAreSkippedAndTheRestPaired)
{
    const std::string same = content(300, 1);
    for (const char *name : { "a", "b", "c", "d" }) {
        candidate(name, same);
    }
    ::unlink(tree.path("a").c_str());
    // A handler run at a pump deletes another file and empties the candidate
    // table; the stage finishes on the rows it started with.
    view.onPump = [&] {
        ::unlink(tree.path("d").c_str());
        candidates->RemoveAllRows();
    };
    ASSERT_TRUE(CompareCandidates(*candidates, *pairs, view, listed));
    EXPECT_EQ(pairNames(), (std::vector<std::string> { "b|300", "c|300" }));
}

TEST_F(CompareStageTest, FewerThanTwoCandidatesCompareNothing)
{
    EXPECT_FALSE(CompareCandidates(*candidates, *pairs, view, listed));
    candidate("a", "x");
    EXPECT_FALSE(CompareCandidates(*candidates, *pairs, view, listed));
    EXPECT_TRUE(view.events.empty());
    EXPECT_EQ(pairs->RowCount(), 0);
}

} // namespace
} // namespace quillmere
