// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "backendchooser.h"
#include "frameclock.h"
#include "mainwindow.h"

#include <QApplication>
#include <QScreen>

#include <cstdio>
#include <cstdlib>

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

QtMessageHandler qtMessageHandler = nullptr;

// Where the display named does not answer, Qt aborts the program from its
// constructor with a fatal message that advises a reinstall. Nothing is
// broken but the display: after Qt's own reason, fail as without one.
void failWithoutPlatform(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtFatalMsg) {
        qtMessageHandler(type, context, message);
        return;
    }
    std::fputs("vexshow: no display to show on: Qt could not open the one named\n", stderr);
    std::_Exit(1);
}

} // namespace

int main(int argc, char *argv[])
{
    if (!displayIsNamed(argc, argv)) {
        std::fputs("vexshow: no display to show on: DISPLAY and WAYLAND_DISPLAY are not set\n", stderr);
        return 1;
    }

    // A window's update request waits 5 ms by default to gather more changes.
    // The frame clock below has gathered them all already: the scene changes
    // only as its animations and timers advance, once a frame.
    if (!qEnvironmentVariableIsSet("QT_QPA_UPDATE_IDLE_TIME"))
        qputenv("QT_QPA_UPDATE_IDLE_TIME", "0");

    qtMessageHandler = qInstallMessageHandler(failWithoutPlatform);
    QApplication app(argc, argv);
    qInstallMessageHandler(qtMessageHandler);
    BackendChooser::choose();
    FrameClock clock(app.primaryScreen()->refreshRate());
    clock.install();
    MainWindow window;

    // Full-screen state replaces the whole state and is set once shown.
    window.show();
    window.setWindowState(Qt::WindowFullScreen);

    return app.exec();
}
