#include "cli/command_line.h"

#include "cli/mask_texts.h"

#include <cstring>

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

} // namespace

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
        } else if (argument == "--") {
            return usage("unexpected \"--\"");
        } else if (!argument.empty() && argument.front() == '-') {
            return usage("unknown option " + argument);
        } else {
            return usage("unexpected argument \"" + argument + "\" (the folder goes after --list)");
        }
    }
    if (!folderGiven) {
        return usage(listOnly ? "these options go with --list FOLDER" : "nothing to do");
    }
    line.mode = CommandLine::Mode::List;
    return line;
}

std::string UsageText()
{
    return "Usage: quillmere\n"
           "       quillmere --list FOLDER [--mask " + QuotedMasks("|", "|") + "] [--no-subfolders]\n"
           "                 [--include-system-folders] [--json]\n"
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
           "  --json                    print a JSON array of sets, each file an object:\n"
           "                            \"path\", \"size\" in bytes and, for a picture, its\n"
           "                            upright \"width\" and \"height\"; a byte of a path that\n"
           "                            is not part of valid UTF-8 is written as \\udcXX (XX\n"
           "                            its value), which decoding with surrogate escapes undoes\n"
           "  --help                    show this text\n"
           "  --version                 show the version\n"
           "\n"
           "Exit status: 0 when the search ran (with or without sets), 1 for a folder\n"
           "that cannot be searched or a bad option value, 2 for a usage error.\n";
}

std::string VersionText()
{
    return std::string("quillmere ") + QUILLMERE_VERSION + "\n";
}

} // namespace quillmere
