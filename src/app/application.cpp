#include "app/application.h"

#include "common/error_report.h"
#include "app/main_window.h"
#include "folders/folder_chooser_window.h"
#include "review/image_view_window.h"
#include "review/shell.h"
#include "platform/locale_formats.h"
#include "platform/open_file_limit.h"

#include <QIcon>
#include <clocale>
#include <cstdio>
#include <cstdlib>

// The window icon is a resource of the static core library, registered only
// when referred to, and from outside any namespace, as the macro requires.
static void registerApplicationIcon()
{
    Q_INIT_RESOURCE(application_icon);
}

namespace quillmere {

namespace {

bool displayAvailable()
{
    const auto set = [](const char *name) {
        const char *value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    // An explicit platform (offscreen, vnc, ...) needs no display.
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

} // namespace

int runApplication(int argc, char **argv)
{
    if (!displayAvailable()) {
        std::fputs("quillmere: no display is available (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                   "Start it from a desktop session, or in a virtual X server: xvfb-run -a quillmere\n",
                   stderr);
        return 1;
    }
    RaiseOpenFileLimit();
    TApplication app(argc, argv);
    registerApplicationIcon();
    app.setWindowIcon(QIcon(QStringLiteral(":/app/quillmere.png")));
    // The locale's number and date formats are read once, here.
    std::setlocale(LC_ALL, "");
    loadLocaleFormats();
    // Numbers inside the program are always written and parsed with a full
    // stop; only texts shown to the user take the locale's separator.
    std::setlocale(LC_NUMERIC, "C");

    TForm1 form1;
    TForm2 form2;
    TForm3 form3(form1.Edit1);
    DesktopShell shell;
    form1.Form2 = &form2;
    form1.Form3 = &form3;
    form1.ShellService = &shell;
    form1.show();
    return app.exec();
}

} // namespace quillmere
