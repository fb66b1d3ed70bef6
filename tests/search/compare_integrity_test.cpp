#include "search/identical_sets.h"
#include "support/temp_tree.h"
#include "test_bytes.h"

#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <new>
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

using test::TempTree;
using Sets = std::vector<std::vector<int>>;

std::string bytes(std::size_t size, unsigned seed)
{
    return test::deterministicBytes(size, seed);
}

std::vector<std::string> writeAll(TempTree &tree, const std::vector<std::string> &contents)
{
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < contents.size(); ++i) {
        paths.push_back(tree.writeFile("f" + std::to_string(i), contents[i]));
    }
    return paths;
}

TEST(ComparisonIntegrity, AFileChangedWhileItIsReadIsIdenticalToNothing)
{
    // Three blocks each; file 0 is changed after its first block was read
    // (the hook runs before the last file is first opened).
    const std::size_t size = 3 * 65536;
    const std::string same = bytes(size, 1);
    const std::vector<std::function<void(TempTree &, const std::string &)>> changes {
        [](TempTree &, const std::string &path) { ::unlink(path.c_str()); },
        [](TempTree &, const std::string &path) {
            const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
            ASSERT_EQ(::write(fd, "x", 1), 1);
            ::close(fd);
        },
        [&](TempTree &tree, const std::string &path) {
            // The same bytes under the same name, but another file.
            tree.writeFile("new", same);
            ASSERT_EQ(::rename(tree.path("new").c_str(), path.c_str()), 0);
        },
    };
    for (std::size_t c = 0; c < changes.size(); ++c) {
        TempTree tree;
        const auto paths = writeAll(tree, {same, same, same});
        std::vector<FoundFile> found;
        const auto sets = FindIdenticalSets(
            paths, static_cast<std::int64_t>(size),
            [&](int index) {
                if (index == 2) {
                    changes[c](tree, paths[0]);
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

TEST(ComparisonIntegrity, WholeSetsUnderAnyDescriptorLimit)
{
    TempTree tree;
    const std::string same = bytes(70000, 2);
    const auto paths = writeAll(tree, std::vector<std::string>(120, same));
    Sets expected {{}};
    for (int i = 0; i < 120; ++i) {
        expected[0].push_back(i);
    }
    rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    for (const rlim_t spare : {rlim_t(4), rlim_t(40)}) {
        // Room for a few more descriptors than are open now.
        int open = 0;
        for (int fd = 0; fd < 4096; ++fd) {
            open += ::fcntl(fd, F_GETFD) != -1 ? 1 : 0;
        }
        rlimit tight = old;
        tight.rlim_cur = static_cast<rlim_t>(open) + spare;
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
        const auto sets = FindIdenticalSets(paths, 70000);
        ::setrlimit(RLIMIT_NOFILE, &old);
        EXPECT_EQ(sets, expected) << spare << " spare descriptors";
    }
}

TEST(ComparisonIntegrity, TheMemoryBudgetCountsEveryContentHeld)
{
    // Many small files of one size, all different: each distinct first block
    // held costs memory, and the budget must bound all of it.
    TempTree tree;
    std::vector<std::string> contents;
    for (unsigned i = 0; i < 3000; ++i) {
        contents.push_back(bytes(150, i + 10));
    }
    contents.push_back(contents[7]);
    const auto paths = writeAll(tree, contents);
    IdenticalSetsLimits limits;
    limits.memoryBudget = 256 * 1024;
    const std::size_t before = liveBytes.load();
    peakBytes = before;
    const auto sets = FindIdenticalSets(paths, 150, {}, limits);
    const std::size_t held = peakBytes.load() - before;
    EXPECT_EQ(sets, (Sets {{7, 3000}}));
    EXPECT_LT(held, limits.memoryBudget + 1024 * 1024) << held << " bytes held at the peak";
}

} // namespace
} // namespace quillmere
