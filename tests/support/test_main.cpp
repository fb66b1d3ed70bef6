#include <QTemporaryDir>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>

#include "common/error_report.h"
#include "platform/locale_formats.h"

int main(int argc, char **argv)
{
    // The test binary is also run at build time to list its tests, without the
    // environment that CTest gives it, so it picks the headless platform itself.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    // Searches made by tests keep their cache of pictures in a folder of
    // this run's own, never in the cache of whoever runs the tests.
    const QTemporaryDir cacheHome;
    setenv("XDG_CACHE_HOME", cacheHome.path().toLocal8Bit().constData(), 1);
    // Tests pin one locale so number and date texts are predictable.
    setenv("LC_ALL", "C.UTF-8", 1);
    // The program's own application object, so errors escaping a handler
    // reach the same report as in the program.
    quillmere::TApplication app(argc, argv);
    std::setlocale(LC_ALL, "C.UTF-8");
    quillmere::loadLocaleFormats();
    // A test never waits on a message box: an unexpected report fails it.
    quillmere::setErrorPresenter([](const QString &text) {
        ADD_FAILURE() << "unexpected error report: " << text.toStdString();
    });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
