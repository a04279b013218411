#include <QApplication>

#include "app/mainwindow.h"
#include "compat/qtcompat.h"

int main(int argc, char *argv[])
{
    QtCompat::followDisplayScaling();
    QApplication app(argc, argv);
    MainWindow window;
    window.show();
    return app.exec();
}
