#include "cli/command_line.h"
#include "cli/json_path.h"
#include "cli/list_mode.h"
#include "search/recording_view.h"
#include "support/cache_home.h"
#include "support/exif_writer.h"
#include "support/picture_samples.h"
#include "support/similar_copies.h"
#include "support/swaps.h"
#include "support/temp_tree.h"

#include <sqlite3.h>
#include <cstdio>
#include <functional>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillmere;
using test::TempTree;
using test::exifBlockWithOrientation;
using test::pngWithExif;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the list mode in this process on the given arguments, showing its
// progress to `view` when one is given.
Outcome list(std::vector<const char *> arguments, SearchView *view = nullptr)
{
    arguments.insert(arguments.begin(), "quillmere");
    const CommandLine line = ParseCommandLine(static_cast<int>(arguments.size()), arguments.data());
    EXPECT_EQ(line.mode, CommandLine::Mode::List) << line.error;
    char *outText = nullptr;
    char *errText = nullptr;
    std::size_t outSize = 0;
    std::size_t errSize = 0;
    std::FILE *out = open_memstream(&outText, &outSize);
    std::FILE *err = open_memstream(&errText, &errSize);
    Outcome run;
    run.status = view != nullptr ? RunListMode(line, out, err, *view) : RunListMode(line, out, err, false);
    std::fclose(out);
    std::fclose(err);
    run.out.assign(outText, outSize);
    run.err.assign(errText, errSize);
    std::free(outText);
    std::free(errText);
    return run;
}

// Runs the built program with no display at all.
Outcome program(const std::vector<std::string> &arguments)
{
    int outPipe[2];
    int errPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) {
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        ::unsetenv("QT_QPA_PLATFORM");
        std::vector<char *> argv {const_cast<char *>(QUILLMERE_PROGRAM)};
        for (const std::string &argument : arguments) {
            argv.push_back(const_cast<char *>(argument.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(QUILLMERE_PROGRAM, argv.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    Outcome run;
    const auto drain = [](int fd, std::string &into) {
        char buffer[4096];
        for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) {
            into.append(buffer, static_cast<std::size_t>(got));
        }
        ::close(fd);
    };
    drain(outPipe[0], run.out);
    drain(errPipe[0], run.err);
    int status = 0;
    ::waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace

TEST(CommandLineParsing, OptionsGoWithListAndAnythingElseIsAUsageError)
{
    const auto parse = [](std::vector<const char *> arguments) {
        arguments.insert(arguments.begin(), "quillmere");
        return ParseCommandLine(static_cast<int>(arguments.size()), arguments.data());
    };
    EXPECT_EQ(parse({}).mode, CommandLine::Mode::Window);
    EXPECT_EQ(parse({"--help"}).mode, CommandLine::Mode::Help);
    EXPECT_EQ(parse({"--list", "x", "--version"}).mode, CommandLine::Mode::Version);

    const CommandLine full = parse({"--mask", "*.png", "--list", "pics", "--no-subfolders",
                                    "--include-system-folders", "--json"});
    EXPECT_EQ(full.mode, CommandLine::Mode::List);
    EXPECT_EQ(full.folder, "pics");
    EXPECT_EQ(full.mask, QStringLiteral("*.png"));
    EXPECT_FALSE(full.recurse);
    EXPECT_FALSE(full.excludeSystemFolders);
    EXPECT_TRUE(full.json);
    const CommandLine plain = parse({"--list", "pics"});
    EXPECT_EQ(plain.mask, QStringLiteral("*.jpg"));
    EXPECT_TRUE(plain.recurse && plain.excludeSystemFolders && !plain.json);

    for (const auto &wrong : std::vector<std::vector<const char *>> {
             {"--bogus"}, {"--list"}, {"--json"}, {"pics"}, {"--list", "a", "--list", "b"}, {"--list", "a", "--mask"}}) {
        const CommandLine line = parse(wrong);
        EXPECT_EQ(line.mode, CommandLine::Mode::Usage) << wrong.front();
        EXPECT_FALSE(line.error.empty());
        EXPECT_EQ(line.error.find('\n'), std::string::npos);
    }
}

TEST(ListMode, PrintsTheSetsTheSearchFindsWithTheWindowsRules)
{
    TempTree tree;
    tree.makeFolder("sub");
    tree.makeFolder("Program Files");
    const std::string jpeg(300, 'j');
    const std::string a = tree.writeFile("a.jpg", jpeg);
    const std::string b = tree.writeFile("sub/b.JPG", jpeg);
    const std::string system = tree.writeFile("Program Files/c.jpg", jpeg);
    tree.writeFile("small1.jpg", std::string(100, 's'));
    tree.writeFile("small2.jpg", std::string(100, 's'));
    tree.writeFile("other.jpg", std::string(300, 'o'));
    const std::string bmp1 = tree.writeFile("x.bmp", std::string(200, 'b'));
    const std::string bmp2 = tree.writeFile("sub/y.bmp", std::string(200, 'b'));
    tree.makeFifo("fifo.jpg"); // never opened, so nothing blocks

    Outcome run = list({"--list", tree.root().c_str()});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out == a + "\n" + b + "\n" || run.out == b + "\n" + a + "\n") << run.out;
    EXPECT_EQ(run.err, "");

    run = list({"--list", tree.root().c_str(), "--include-system-folders"});
    EXPECT_NE(run.out.find(system + "\n"), std::string::npos) << run.out;
    run = list({"--list", tree.root().c_str(), "--no-subfolders"});
    EXPECT_EQ(run.out, "") << "one copy left in the folder itself";
    run = list({"--list", tree.root().c_str(), "--mask", "*.bmp"});
    EXPECT_TRUE(run.out == bmp1 + "\n" + bmp2 + "\n" || run.out == bmp2 + "\n" + bmp1 + "\n") << run.out;
    run = list({"--list", tree.root().c_str(), "--mask", "*.png", "--json"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "[]\n");

    // Two sets, separated by one empty line.
    tree.writeFile("other copy.jpg", std::string(300, 'o'));
    run = list({"--list", tree.root().c_str()});
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 5) << run.out;
    EXPECT_NE(run.out.find("\n\n"), std::string::npos);
}

TEST(ListMode, NamesOfAnyBytesComeOutExactlyOrReversiblyEscaped)
{
    TempTree tree;
    const std::string odd = tree.writeFile("caf\xe9\nline \"q\"\\.jpg", std::string(300, 'x'));
    const std::string plain = tree.writeFile("plain \xc3\xa9.jpg", std::string(300, 'x'));
    Outcome run = list({"--list", tree.root().c_str()});
    EXPECT_NE(run.out.find(odd + "\n"), std::string::npos) << "raw bytes, as a script needs them";
    EXPECT_NE(run.out.find(plain + "\n"), std::string::npos);

    run = list({"--list", tree.root().c_str(), "--json"});
    const std::string oddJson = JsonPathString(odd);
    EXPECT_EQ(oddJson, "\"" + tree.root() + "/caf\\udce9\\nline \\\"q\\\"\\\\.jpg\"");
    EXPECT_EQ(JsonPathString(plain), "\"" + plain + "\"");
    EXPECT_NE(run.out.find(oddJson), std::string::npos) << run.out;
    EXPECT_EQ(run.out.front(), '[');
}

TEST(ListMode, AFolderReplacedWhileTheSearchRunsIsNotPrinted)
{
    const std::vector<std::function<void(const TempTree &)>> changes {
        [](const TempTree &tree) { test::swapFolderForLink(tree.path("y"), tree.path("x")); },
        [](const TempTree &tree) { test::swapFolderForCopy(tree.path("y")); },
    };
    for (std::size_t c = 0; c <= changes.size(); ++c) {
        TempTree tree;
        tree.makeFolder("x");
        tree.makeFolder("y");
        const std::string x = tree.writeFile("x/a.jpg", std::string(300, 'j'));
        const std::string y = tree.writeFile("y/a.jpg", std::string(300, 'j'));
        // The change comes just before the comparison reads the first file.
        test::RecordingView view;
        bool changed = false;
        view.onPump = [&] {
            const auto stages = view.only("label1 ");
            if (!changed && c < changes.size() && !stages.empty() && stages.back() == "label1 Compare files:") {
                changed = true;
                changes[c](tree);
            }
        };
        const Outcome run = list({"--list", tree.root().c_str()}, &view);
        EXPECT_EQ(run.status, 0);
        if (c == changes.size()) {
            EXPECT_TRUE(run.out == x + "\n" + y + "\n" || run.out == y + "\n" + x + "\n") << run.out;
        } else {
            EXPECT_TRUE(changed) << c;
            EXPECT_EQ(run.out, "") << "change " << c;
        }
    }
}

TEST(ListMode, WhatAnInterruptedRemovalLeftIsNamedButNeitherListedNorChanged)
{
    TempTree tree;
    const std::string jpeg(300, 'j');
    const std::string a = tree.writeFile("a.jpg", jpeg);
    const std::string hidden = tree.makeFolder(".quillmere-removing-00112233aabbccdd");
    ASSERT_EQ(::chmod(hidden.c_str(), 0700), 0);
    const std::string inside = tree.writeFile(".quillmere-removing-00112233aabbccdd/b.jpg", jpeg);
    const Outcome run = list({"--list", tree.root().c_str()});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find(hidden), std::string::npos) << run.err;
    EXPECT_EQ(TempTree::readFile(inside), jpeg);
    EXPECT_EQ(TempTree::readFile(a), jpeg);
}

TEST(ListMode, AFolderThatCannotBeSearchedOrABadMaskIsAnError)
{
    TempTree tree;
    const std::string file = tree.writeFile("file.jpg", "x");
    for (const std::string &folder : {tree.path("missing"), file, tree.makeFifo("fifo")}) {
        const Outcome run = list({"--list", folder.c_str()});
        EXPECT_EQ(run.status, 1) << folder;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_NE(run.err.find("cannot search"), std::string::npos) << run.err;
    }
    const Outcome run = list({"--list", tree.root().c_str(), "--mask", "*.tga"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("unknown mask"), std::string::npos);
}

TEST(ProgramWithoutDisplay, AnswersHelpVersionListAndUsageErrors)
{
    Outcome run = program({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("--list FOLDER"), std::string::npos);
    EXPECT_EQ(run.err, "");
    run = program({"--version"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("quillmere ", 0), 0u) << run.out;

    TempTree tree;
    const std::string a = tree.writeFile("a.jpg", std::string(300, 'z'));
    const std::string b = tree.writeFile("b.jpg", std::string(300, 'z'));
    run = program({"--list", tree.root()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out == a + "\n" + b + "\n" || run.out == b + "\n" + a + "\n") << run.out;
    EXPECT_EQ(run.err, "") << "no progress when standard error is no terminal";
    EXPECT_TRUE(TempTree::exists(a) && TempTree::exists(b));

    for (const std::vector<std::string> &wrong : {std::vector<std::string> {"--frobnicate"}, {"--list"}}) {
        run = program(wrong);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    run = program({"--list", tree.path("missing")});
    EXPECT_EQ(run.status, 1);
}

TEST(ListMode, JsonGivesEachFilesPathSizeAndUprightPictureSize)
{
    TempTree tree;
    const std::string png = pngWithExif(test::samples().at(QStringLiteral("PNG")).write(64, 48), exifBlockWithOrientation(8));
    const std::string a = tree.writeFile("a.png", png);
    const std::string b = tree.writeFile("b.jpg", png); // a PNG whatever its name
    const std::string c = tree.writeFile("c.bmp", std::string(300, 'w'));
    const std::string d = tree.writeFile("d.jpe", std::string(300, 'w'));
    tree.writeFile("e.png.bak", png);

    Outcome run = list({"--list", tree.root().c_str(), "--mask", "all", "--json"});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string size = std::to_string(png.size());
    for (const std::string &path : {a, b}) {
        EXPECT_NE(run.out.find("{\"path\": " + JsonPathString(path) + ", \"size\": " + size
                               + ", \"width\": 48, \"height\": 64}"),
                  std::string::npos)
            << run.out;
    }
    for (const std::string &path : {c, d}) {
        EXPECT_NE(run.out.find("{\"path\": " + JsonPathString(path) + ", \"size\": 300}"), std::string::npos) << run.out;
    }
    EXPECT_EQ(run.out.find(".bak"), std::string::npos);
    // Two sets of two files each.
    EXPECT_EQ(run.out.front(), '[');
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '{'), 4);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '['), 3);

    // The plain output is as it was: paths alone.
    run = list({"--list", tree.root().c_str(), "--mask", "*.PNG"});
    EXPECT_EQ(run.out, "");
    run = list({"--list", tree.root().c_str(), "--mask", "All pictures"});
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 5) << run.out;
    EXPECT_EQ(run.out.find('{'), std::string::npos);

    // An unknown mask names the ones there are.
    run = list({"--list", tree.root().c_str(), "--mask", "*.gif2"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("\"*.jpg\", \"*.bmp\", \"*.png\""), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(" or all"), std::string::npos) << run.err;
}

TEST(CommandLineParsing, SimilarTakesALevelWordAndNoTurnsGoesWithIt)
{
    const auto parse = [](std::vector<const char *> arguments) {
        arguments.insert(arguments.begin(), "quillmere");
        return ParseCommandLine(static_cast<int>(arguments.size()), arguments.data());
    };
    const CommandLine plain = parse({"--list", "pics"});
    EXPECT_FALSE(plain.similar);
    const CommandLine similar = parse({"--list", "pics", "--similar"});
    EXPECT_EQ(similar.mode, CommandLine::Mode::List);
    EXPECT_TRUE(similar.similar);
    EXPECT_EQ(similar.similarity.level, kDefaultSimilarityLevel);
    EXPECT_TRUE(similar.similarity.turns);
    for (const SimilarityLevelInfo &info : SimilarityLevels()) {
        const std::string argument = std::string("--similar=") + info.word;
        const CommandLine line = parse({"--no-turns", argument.c_str(), "--list", "pics"});
        EXPECT_EQ(line.mode, CommandLine::Mode::List) << line.error;
        EXPECT_EQ(line.similarity.level, info.level) << info.word;
        EXPECT_FALSE(line.similarity.turns);
    }
    for (const auto &wrong : std::vector<std::vector<const char *>> {{"--list", "a", "--similar=bogus"},
                                                                     {"--list", "a", "--similar="},
                                                                     {"--list", "a", "--no-turns"},
                                                                     {"--similar"}}) {
        const CommandLine line = parse(wrong);
        EXPECT_EQ(line.mode, CommandLine::Mode::Usage) << wrong.back();
        EXPECT_EQ(line.error.find('\n'), std::string::npos);
    }
    EXPECT_NE(parse({"--list", "a", "--similar=bogus"}).error.find(SimilarityWords(", ")), std::string::npos);
}

TEST(ListMode, SimilarPrintsSetsOfSimilarPicturesWithTheirSimilarityAndNamesUnreadableFiles)
{
    TempTree tree;
    const test::SimilarCopies copies = test::writeSimilarCopies(tree);
    const std::string broken = tree.writeFile("broken.jpg", "not a picture");

    Outcome run = list({"--list", tree.root().c_str(), "--mask", "all", "--similar", "--json"});
    EXPECT_EQ(run.status, 0) << run.err;
    // The best copy first, with its size, its upright size and 100.
    const std::string firstFile = "{\"path\": " + JsonPathString(copies.original) + ", \"size\": "
        + std::to_string(TempTree::readFile(copies.original).size())
        + ", \"width\": 640, \"height\": 480, \"similarity\": 100}";
    EXPECT_EQ(run.out.rfind("[\n  [\n    " + firstFile + ",\n    {\"path\": ", 0), 0u) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '{'), 5) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '['), 2) << run.out;
    EXPECT_EQ(run.out.find(JsonPathString(copies.distinct)), std::string::npos);
    EXPECT_EQ(run.out.find("broken"), std::string::npos);
    EXPECT_EQ(run.err, "quillmere: 1 file could not be read as a picture:\nquillmere: not read: " + broken + "\n");

    // Plain: raw paths, the first one first; --similar=same keeps only equal
    // pixels: here the resized copy and its copy byte for byte.
    run = list({"--list", tree.root().c_str(), "--mask", "all", "--similar"});
    EXPECT_EQ(run.out.rfind(copies.original + "\n", 0), 0u) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 5) << run.out;
    run = list({"--list", tree.root().c_str(), "--mask", "all", "--similar=same"});
    EXPECT_TRUE(run.out == copies.resized + "\n" + copies.sameBytes + "\n"
                || run.out == copies.sameBytes + "\n" + copies.resized + "\n")
        << run.out;
}

TEST(ProgramWithoutDisplay, KeepsTheCacheOnlyInTheUsersCacheFolderAndEmptiesItWhenAsked)
{
    TempTree tree;
    tree.makeFolder("pictures");
    test::writeSimilarCopies(tree, "pictures");
    const std::string cacheHome = tree.makeFolder("cache-home");
    const std::string database = cacheHome + "/quillmere/cache.sqlite";
    const test::ScopedCacheHome home(cacheHome);
    const std::vector<std::string> search {"--list", tree.path("pictures"), "--mask", "all", "--similar"};

    std::vector<std::string> withoutCache = search;
    withoutCache.push_back("--no-cache");
    const Outcome plain = program(withoutCache);
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_FALSE(TempTree::exists(cacheHome + "/quillmere")) << "--no-cache writes nothing";

    const Outcome first = program(search);
    const Outcome second = program(search);
    EXPECT_EQ(first.out, plain.out);
    EXPECT_EQ(second.out, plain.out);
    struct stat info { };
    ASSERT_EQ(::stat(database.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((cacheHome + "/quillmere").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    // A value kept, to look for in the files once the cache is emptied.
    std::string value;
    sqlite3 *db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    sqlite3_stmt *select = nullptr;
    sqlite3_prepare_v2(db, "SELECT value FROM entries LIMIT 1", -1, &select, nullptr);
    if (sqlite3_step(select) == SQLITE_ROW) {
        value.assign(static_cast<const char *>(sqlite3_column_blob(select, 0)),
                     static_cast<std::size_t>(sqlite3_column_bytes(select, 0)));
    }
    sqlite3_finalize(select);
    sqlite3_close(db);
    ASSERT_GE(value.size(), 512u) << "a fingerprint of each picture";
    const auto onDisk = [&] {
        std::string bytes = TempTree::readFile(database);
        if (TempTree::exists(database + "-wal")) {
            bytes += TempTree::readFile(database + "-wal");
        }
        return bytes;
    };
    ASSERT_NE(onDisk().find(value), std::string::npos);

    const Outcome cleared = program({"--clear-cache"});
    EXPECT_EQ(cleared.status, 0) << cleared.err;
    EXPECT_EQ(cleared.out, "Emptied the cache " + database + "\n");
    EXPECT_EQ(onDisk().find(value), std::string::npos) << "emptied on disk, not only marked free";
    EXPECT_EQ(program(search).out, plain.out);
}

TEST(ListMode, ProtectRepeatsAndFlagsTheFilesOfItsRealFoldersInTheJson)
{
    TempTree tree;
    tree.makeFolder("archive");
    tree.makeFolder("archived");
    const std::string kept = tree.writeFile("archive/a.jpg", std::string(300, 'a'));
    const std::string lookAlike = tree.writeFile("archived/a.jpg", std::string(300, 'a'));
    const std::string link = tree.path("link");
    ASSERT_EQ(::symlink(tree.path("archive").c_str(), link.c_str()), 0);
    const std::string root = tree.root();

    // Named through a link, the folder is known by what it is.
    Outcome run = list({"--list", root.c_str(), "--protect", "/", "--protect", link.c_str(), "--json"});
    EXPECT_NE(run.out.find(JsonPathString(kept) + ", \"size\": 300, \"protected\": true}"), std::string::npos) << run.out;
    run = list({"--list", root.c_str(), "--protect", link.c_str(), "--json"});
    EXPECT_NE(run.out.find(JsonPathString(lookAlike) + ", \"size\": 300}"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\"protected\": true"), std::string::npos) << run.out;
    // A folder that is not there is an error, not a silent nothing.
    run = list({"--list", root.c_str(), "--protect", tree.path("missing").c_str()});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("cannot protect"), std::string::npos) << run.err;
    EXPECT_EQ(program({"--protect", root}).status, 2);
}
