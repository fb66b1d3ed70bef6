#include "app/application.h"

#include "app/error_report.h"
#include "app/main_window.h"
#include "platform/locale_formats.h"

#include <clocale>

namespace quillmere {

int runApplication(int argc, char **argv)
{
    TApplication app(argc, argv);
    // The locale's number and date formats are read once, here.
    std::setlocale(LC_ALL, "");
    loadLocaleFormats();
    // Numbers inside the program are always written and parsed with a full
    // stop; only texts shown to the user take the locale's separator.
    std::setlocale(LC_NUMERIC, "C");

    TForm1 form1;
    form1.show();
    return app.exec();
}

} // namespace quillmere
