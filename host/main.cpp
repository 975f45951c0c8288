#include "backendchooser.h"
#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    BackendChooser::choose();
    MainWindow window;

    // Full-screen state replaces the whole state and is set once shown.
    window.show();
    window.setWindowState(Qt::WindowFullScreen);

    return app.exec();
}
