#include "platform/open_file_limit.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// In a child process, so the test program keeps its own limit: from a soft
// limit lowered to 64, the raise reaches the hard limit.
TEST(OpenFileLimit, theSoftLimitIsRaisedToTheHardLimit)
{
    const pid_t child = ::fork();
    if (child == 0) {
        struct rlimit limit {};
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_max <= 64) {
            ::_exit(2);
        }
        limit.rlim_cur = 64;
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0 || !quillmere::RaiseOpenFileLimit()) {
            ::_exit(3);
        }
        struct rlimit after {};
        ::getrlimit(RLIMIT_NOFILE, &after);
        ::_exit(after.rlim_cur == limit.rlim_max ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
