#include "platform/file_identity.h"
#include "platform/file_measure.h"
#include "platform/unique_fd.h"
#include "support/temp_tree.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace quillmere;

TEST(DescriptorPath, OpensTheFileItsDescriptorHoldsWhileOtherLinksStayRefused)
{
    test::TempTree tree;
    const std::string file = tree.writeFile("a.jpg", "picture bytes");
    const std::string link = tree.makeSymlink("link.jpg", file);
    struct stat info {};
    const UniqueFd held(OpenFoundFile(file, info));
    ASSERT_TRUE(held.valid());
    // The file is renamed and another one takes its name: the descriptor's
    // path still leads to the file that was opened.
    ASSERT_EQ(::rename(file.c_str(), tree.path("moved.jpg").c_str()), 0);
    tree.writeFile("a.jpg", "another file");
    struct stat again {};
    const UniqueFd reopened(OpenFoundFile(DescriptorPath(held.get()), again));
    ASSERT_TRUE(reopened.valid());
    EXPECT_TRUE(SameFile(info, again));

    for (const std::string &refused : {link, tree.makeSymlink("fd", "/proc/self/fd") + "/" + std::to_string(held.get()),
                                       DescriptorPath(held.get()) + "x"}) {
        errno = 0;
        EXPECT_EQ(OpenFoundFile(refused, again), -1) << refused;
        EXPECT_NE(errno, 0) << refused;
    }
    // A descriptor of a FIFO leads to no regular file.
    const std::string fifo = tree.makeFifo("x.jpg");
    const UniqueFd fifoFd(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    ASSERT_TRUE(fifoFd.valid());
    EXPECT_EQ(OpenFoundFile(DescriptorPath(fifoFd.get()), again), -1);
    EXPECT_EQ(errno, ENODEV);
}
