#include <QApplication>

#include "app/mainwindow.h"
#include "compat/devicelibrary.h"
#include "compat/qtcompat.h"

int main(int argc, char *argv[])
{
    QtCompat::followDisplayScaling();
    QApplication app(argc, argv);
    if (!loadDeviceLibrary()) {
        // The user has been told why; without the library the window would have nothing to drive.
        return 2;
    }
    MainWindow window;
    window.show();
    return app.exec();
}
