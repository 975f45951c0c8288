#include "backendchooser.h"
#include "mainwindow.h"

#include <QApplication>

#include <cstdio>

namespace {

// Without a display Qt aborts, advising a reinstall; say what is wrong instead.
bool displayIsNamed(int argc, char *argv[])
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    }
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "-platform" || argument == "--platform"
                || argument == "-display" || argument == "--display") {
            return true;
        }
    }
    return false;
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return true;
#endif
}

}

int main(int argc, char *argv[])
{
    if (!displayIsNamed(argc, argv)) {
        std::fputs("vexshow: no display to show on: DISPLAY and WAYLAND_DISPLAY are not set\n", stderr);
        return 1;
    }

    QApplication app(argc, argv);
    BackendChooser::choose();
    MainWindow window;

    // Full-screen state replaces the whole state and is set once shown.
    window.show();
    window.setWindowState(Qt::WindowFullScreen);

    return app.exec();
}
