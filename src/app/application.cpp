#include "app/application.h"

#include <QApplication>
#include <QWidget>

namespace quillmere {

int runApplication(int argc, char **argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.show();
    return app.exec();
}

} // namespace quillmere
