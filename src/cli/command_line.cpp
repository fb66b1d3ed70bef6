#include "cli/command_line.h"

#include "cli/mask_texts.h"

#include <cstring>
#include <optional>

#ifndef QUILLMERE_VERSION
#define QUILLMERE_VERSION "unknown"
#endif

namespace quillmere {

namespace {

CommandLine usage(std::string error)
{
    CommandLine line;
    line.mode = CommandLine::Mode::Usage;
    line.error = std::move(error);
    return line;
}

// The level a word of --similar=LEVEL names.
std::optional<SimilarityLevel> levelNamed(const std::string &word)
{
    for (const SimilarityLevelInfo &info : SimilarityLevels()) {
        if (word == info.word) {
            return info.level;
        }
    }
    return std::nullopt;
}

} // namespace

std::string SimilarityWords(const char *separator)
{
    std::string words;
    for (const SimilarityLevelInfo &info : SimilarityLevels()) {
        words += (words.empty() ? "" : separator) + std::string(info.word);
    }
    return words;
}

CommandLine ParseCommandLine(int argc, const char *const *argv)
{
    CommandLine line;
    if (argc <= 1) {
        return line;
    }
    bool listing = false;
    bool folderGiven = false;
    bool listOnly = false; // an option that means nothing without --list
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            line.mode = CommandLine::Mode::Help;
            return line;
        }
        if (argument == "--version") {
            line.mode = CommandLine::Mode::Version;
            return line;
        }
        if (argument == "--list") {
            if (listing) {
                return usage("--list is given twice");
            }
            listing = true;
            if (i + 1 >= argc) {
                return usage("--list needs a folder");
            }
            line.folder = argv[++i];
            folderGiven = true;
        } else if (argument == "--mask") {
            if (i + 1 >= argc) {
                return usage("--mask needs one of " + QuotedMasks(", ", " or "));
            }
            line.mask = QString::fromLocal8Bit(argv[++i]);
            listOnly = true;
        } else if (argument == "--no-subfolders") {
            line.recurse = false;
            listOnly = true;
        } else if (argument == "--include-system-folders") {
            line.excludeSystemFolders = false;
            listOnly = true;
        } else if (argument == "--json") {
            line.json = true;
            listOnly = true;
        } else if (argument == "--similar" || argument.rfind("--similar=", 0) == 0) {
            line.similar = true;
            listOnly = true;
            if (argument != "--similar") {
                const std::optional<SimilarityLevel> level = levelNamed(argument.substr(std::strlen("--similar=")));
                if (!level) {
                    return usage("--similar= takes one of " + SimilarityWords(", "));
                }
                line.similarity.level = *level;
            }
        } else if (argument == "--no-turns") {
            line.similarity.turns = false;
            listOnly = true;
        } else if (argument == "--no-cache") {
            line.useCache = false;
            listOnly = true;
        } else if (argument == "--protect") {
            if (i + 1 >= argc) {
                return usage("--protect needs a folder");
            }
            line.protectedFolders.emplace_back(argv[++i]);
            listOnly = true;
        } else if (argument == "--clear-cache") {
            line.clearCache = true;
        } else if (argument == "--") {
            return usage("unexpected \"--\"");
        } else if (!argument.empty() && argument.front() == '-') {
            return usage("unknown option " + argument);
        } else {
            return usage("unexpected argument \"" + argument + "\" (the folder goes after --list)");
        }
    }
    if (!folderGiven && line.clearCache && !listOnly) {
        line.mode = CommandLine::Mode::ClearCache;
        return line;
    }
    if (!folderGiven) {
        return usage(listOnly ? "these options go with --list FOLDER" : "nothing to do");
    }
    if (!line.similarity.turns && !line.similar) {
        return usage("--no-turns goes with --similar");
    }
    line.mode = CommandLine::Mode::List;
    return line;
}

std::string UsageText()
{
    const std::string defaultWord = SimilarityLevelOf(kDefaultSimilarityLevel).word;
    std::string levels;
    for (const SimilarityLevelInfo &info : SimilarityLevels()) {
        std::string line = "                              " + std::string(info.word) + " (" + std::to_string(info.leastPercent)
            + "%" + (info.level == kDefaultSimilarityLevel ? ", the default" : "") + "): "
            + info.description.toStdString();
        // Long descriptions wrap under their word.
        std::string wrapped;
        while (line.size() > 79) {
            std::size_t cut = line.rfind(' ', 79);
            if (cut == std::string::npos || cut <= 32) {
                break;
            }
            wrapped += line.substr(0, cut) + "\n";
            line = "                                " + line.substr(cut + 1);
        }
        levels += wrapped + line + "\n";
    }
    return "Usage: quillmere\n"
           "       quillmere --list FOLDER [--mask " + QuotedMasks("|", "|") + "] [--no-subfolders]\n"
           "                 [--include-system-folders] [--similar[=" + SimilarityWords("|") + "]]\n"
           "                 [--no-turns] [--no-cache] [--clear-cache] [--json]\n"
           "                 [--protect FOLDER]...\n"
           "       quillmere --clear-cache\n"
           "       quillmere --help | --version\n"
           "\n"
           "Without arguments, opens the window that finds byte-identical image files\n"
           "and removes the copies you mark.\n"
           "\n"
           "  --list FOLDER             print the sets of identical files under FOLDER and\n"
           "                            remove nothing: one path per line, an empty line\n"
           "                            between sets\n"
           "  --mask MASK               which files: " + QuotedMasks(", ", " or ", true) + "\n"
           "                            (every picture format); a mask lists every\n"
           "                            extension of its format (\"*.jpg\" also .jpeg and\n"
           "                            .jpe), in any letter case" "\n"
           "  --no-subfolders           look in FOLDER itself only\n"
           "  --include-system-folders  also look in system folders\n"
           "  --similar[=LEVEL]         print sets of similar pictures instead: the same\n"
           "                            photo resized, re-encoded, converted, with other\n"
           "                            metadata, cropped a little, lighter or darker, or\n"
           "                            turned or mirrored; the best copy (most pixels,\n"
           "                            then largest file, then oldest) comes first in each\n"
           "                            set. LEVEL is one of (default " + defaultWord + "):\n"
           + levels +
           "                            Files no picture format reads are counted and\n"
           "                            named on standard error.\n"
           "  --no-turns                with --similar, turned and mirrored copies do not\n"
           "                            count\n"
           "  --no-cache                with --similar, read every picture anew and keep\n"
           "                            nothing of it; by default what was read of each\n"
           "                            picture is kept in the cache (below)\n"
           "  --clear-cache             empty the cache first; alone, only empty it\n"
           "  --json                    print a JSON array of sets, each file an object:\n"
           "                            \"path\", \"size\" in bytes and, for a picture, its\n"
           "                            upright \"width\" and \"height\"; with --similar also\n"
           "                            its \"similarity\" in percent to its set's first\n"
           "                            picture; a byte of a path that is not part of valid\n"
           "                            UTF-8 is written as \\udcXX (XX its value), which\n"
           "                            decoding with surrogate escapes undoes\n"
           "  --protect FOLDER          a folder whose files are never removed (may be\n"
           "                            repeated); with --json its files carry\n"
           "                            \"protected\": true\n"
           "  --help                    show this text\n"
           "  --version                 show the version\n"
           "\n"
           "The cache, $XDG_CACHE_HOME/quillmere (~/.cache/quillmere by default), keeps a\n"
           "thumbnail and a fingerprint of each picture searched, known by its file\n"
           "system and inode, not by its name; the window shares it.\n"
           "\n"
           "Exit status: 0 when the search ran (with or without sets), 1 for a folder\n"
           "that cannot be searched or protected, or a bad option value, 2 for a usage\n"
           "error.\n";
}

std::string VersionText()
{
    return std::string("quillmere ") + QUILLMERE_VERSION + "\n";
}

} // namespace quillmere
