#include "app/application.h"
#include "cli/command_line.h"
#include "cli/list_mode.h"
#include "platform/open_file_limit.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv)
{
    using namespace quillmere;
    // Only the window needs a display; everything else is answered without
    // creating the GUI application object.
    const CommandLine line = ParseCommandLine(argc, argv);
    switch (line.mode) {
    case CommandLine::Mode::Window:
        return runApplication(argc, argv);
    case CommandLine::Mode::Help:
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    case CommandLine::Mode::Version:
        std::fputs(VersionText().c_str(), stdout);
        return 0;
    case CommandLine::Mode::List:
        RaiseOpenFileLimit();
        return RunListMode(line, stdout, stderr, ::isatty(STDERR_FILENO) == 1);
    case CommandLine::Mode::ClearCache:
        return ClearPictureCache(stdout);
    case CommandLine::Mode::Usage:
        break;
    }
    std::fprintf(stderr, "quillmere: %s (see quillmere --help)\n", line.error.c_str());
    return 2;
}
