#include "listed_by_hand.h"
#include "search/file_list.h"
#include "search/identical_sets.h"
#include "search/measure_stage.h"
#include "search/search_view.h"
#include "support/temp_tree.h"
#include "table/program_tables.h"

#include <gtest/gtest.h>
#include <map>
#include <sys/inotify.h>
#include <unistd.h>

namespace quillmere {
namespace {

using test::TempTree;

// Counts the opens of the files in one folder, by name, through inotify.
class OpenCounter {
public:
    explicit OpenCounter(const std::string &folder)
        : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        EXPECT_GE(fd_, 0);
        EXPECT_GE(::inotify_add_watch(fd_, folder.c_str(), IN_OPEN), 0);
    }
    ~OpenCounter() { ::close(fd_); }
    std::map<std::string, int> take()
    {
        std::map<std::string, int> opens;
        alignas(inotify_event) char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(fd_, buffer, sizeof buffer);
            if (got <= 0) {
                return opens;
            }
            for (ssize_t at = 0; at < got;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                if (event->len > 0) {
                    ++opens[event->name];
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

private:
    int fd_;
};

TEST(OpenCount, EachFileOfALargeSetOfSmallFilesIsOpenedOnce)
{
    TempTree tree;
    std::vector<std::string> paths;
    for (int i = 0; i < 12; ++i) {
        // Four sets of three, all of one size that fits the first block.
        paths.push_back(tree.writeFile("f" + std::to_string(i), std::string(3000, static_cast<char>('a' + i % 4))));
    }
    OpenCounter counter(tree.root());
    IdenticalSetsLimits limits;
    limits.maxOpenFiles = 2;
    std::vector<FoundFile> found;
    const auto sets = FindIdenticalSets(paths, 3000, {}, limits, &found);
    EXPECT_EQ(sets, (std::vector<std::vector<int>> {{0, 4, 8}, {1, 5, 9}, {2, 6, 10}, {3, 7, 11}}));
    const auto opens = counter.take();
    ASSERT_EQ(opens.size(), 12u);
    for (const auto &[name, count] : opens) {
        EXPECT_EQ(count, 1) << name;
    }
    EXPECT_EQ(found[4].file.size, 3000);
    EXPECT_NE(found[4].folder.inode, 0u);
}

TEST(OpenCount, MeasuringReadsOwnRegularFilesFromTheirStatus)
{
    TempTree tree;
    FileList list;
    for (int i = 0; i < 4; ++i) {
        list.append(tree.writeFile("m" + std::to_string(i), std::string(200 + i, 'm')));
        test::listFolderOf(list.folders(), list.at(i));
    }
    OpenCounter counter(tree.root());
    auto candidates = makeCandidateGrid();
    SilentSearchView view;
    ASSERT_TRUE(MeasureCandidates(list, *candidates, view));
    EXPECT_EQ(candidates->RowCount(), 4);
    EXPECT_TRUE(counter.take().empty());
}

} // namespace
} // namespace quillmere
