#include "cli/command_line.h"
#include "cli/json_path.h"
#include "cli/list_mode.h"
#include "support/temp_tree.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace quillmere;
using test::TempTree;

namespace {

CommandLine parse(std::vector<const char *> arguments)
{
    arguments.insert(arguments.begin(), "quillmere");
    return ParseCommandLine(static_cast<int>(arguments.size()), arguments.data());
}

// The list mode's status, standard output and standard error.
std::tuple<int, std::string, std::string> list(const std::vector<const char *> &arguments)
{
    const CommandLine line = parse(arguments);
    EXPECT_EQ(line.mode, CommandLine::Mode::List) << line.error;
    char *outText = nullptr;
    char *errText = nullptr;
    std::size_t outSize = 0;
    std::size_t errSize = 0;
    std::FILE *out = open_memstream(&outText, &outSize);
    std::FILE *err = open_memstream(&errText, &errSize);
    const int status = RunListMode(line, out, err, false);
    std::fclose(out);
    std::fclose(err);
    std::tuple<int, std::string, std::string> run {status, std::string(outText, outSize),
                                                   std::string(errText, errSize)};
    std::free(outText);
    std::free(errText);
    return run;
}

} // namespace

TEST(ProtectOption, IsRepeatableGoesWithListAndFlagsTheFilesOfItsFoldersInTheJson)
{
    EXPECT_EQ(parse({"--list", "x", "--protect", "a", "--protect", "b"}).protectedFolders,
              (std::vector<std::string> {"a", "b"}));
    EXPECT_EQ(parse({"--protect", "a"}).mode, CommandLine::Mode::Usage);
    EXPECT_EQ(parse({"--list", "x", "--protect"}).mode, CommandLine::Mode::Usage);
    EXPECT_NE(UsageText().find("--protect FOLDER"), std::string::npos);

    TempTree tree;
    tree.makeFolder("archive");
    tree.makeFolder("archived");
    const std::string kept = tree.writeFile("archive/a.jpg", std::string(300, 'a'));
    const std::string lookAlike = tree.writeFile("archived/a.jpg", std::string(300, 'a'));
    ASSERT_EQ(::symlink(tree.path("archive").c_str(), tree.path("link").c_str()), 0);

    // Named through a link, the folder is known by what it is.
    const std::string root = tree.root();
    const std::string link = tree.path("link");
    auto [status, out, err] = list({"--list", root.c_str(), "--protect", link.c_str(), "--json"});
    EXPECT_EQ(status, 0) << err;
    EXPECT_NE(out.find("{\"path\": " + JsonPathString(kept) + ", \"size\": 300, \"protected\": true}"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("{\"path\": " + JsonPathString(lookAlike) + ", \"size\": 300}"), std::string::npos) << out;

    // Plain output is the same with or without it; a folder that is not
    // there is an error, not a silent nothing.
    EXPECT_EQ(std::get<1>(list({"--list", root.c_str(), "--protect", link.c_str()})),
              std::get<1>(list({"--list", root.c_str()})));
    const std::string missing = tree.path("missing");
    std::tie(status, out, err) = list({"--list", root.c_str(), "--protect", missing.c_str(), "--json"});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("cannot protect"), std::string::npos) << err;
}
