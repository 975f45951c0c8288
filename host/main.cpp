// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "backendchooser.h"
#include "frameclock.h"
#include "mainwindow.h"
#if defined(Q_OS_UNIX)
#include "stopsignals.h"
#endif
#if defined(Q_OS_LINUX)
#include "programupgrade.h"
#endif

#include <QApplication>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char usage[] =
R"(Usage: vexshow [--loop] [Qt option...]
Plays a self-running full-screen show of about 19 seconds, then exits.

  --loop       play the show again and again until the window is closed
  --help       print this and exit
  --version    print the version and exit

SIGTERM, SIGINT and SIGHUP end the show as closing its window does.
Arguments it does not know go to Qt, which takes its own (-platform NAME,
-display DISPLAY) and ignores the rest.
)";

// What the command line asks of the program itself. Everything else is Qt's,
// or a launcher's, and left alone.
struct Options
{
    bool loop = false;
    bool help = false;
    bool version = false;
};

Options readOptions(int argc, char *argv[])
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        options.loop = options.loop || std::strcmp(argument, "--loop") == 0;
        options.help = options.help || std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0;
        options.version = options.version || std::strcmp(argument, "--version") == 0;
    }
    return options;
}

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
    // Answered without a display, as a terminal or a package's checks ask.
    const Options options = readOptions(argc, argv);
    if (options.help) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (options.version) {
        std::puts("vexshow " VEXSHOW_VERSION);
        return 0;
    }
#if defined(Q_OS_UNIX)
    StopSignals::catchSignals();
#endif

    if (!displayIsNamed(argc, argv)) {
        std::fputs("vexshow: no display to show on: DISPLAY and WAYLAND_DISPLAY are not set\n", stderr);
        return 1;
    }

    // A window's update request waits 5 ms by default to gather more changes.
    // The frame clock below has gathered them all already: the scene changes
    // only as its animations and timers advance, once a frame.
    if (!qEnvironmentVariableIsSet("QT_QPA_UPDATE_IDLE_TIME"))
        qputenv("QT_QPA_UPDATE_IDLE_TIME", "0");

#if defined(Q_OS_LINUX)
    // Qt takes its own options out of argv; a new program gets them all again.
    const QByteArrayList arguments(argv, argv + argc);
#endif
    qtMessageHandler = qInstallMessageHandler(failWithoutPlatform);
    QApplication app(argc, argv);
    qInstallMessageHandler(qtMessageHandler);
    BackendChooser::choose();
    FrameClock clock(app.primaryScreen()->refreshRate());
    clock.install();
    MainWindow window;
    window.setLooping(options.loop);
#if defined(Q_OS_UNIX)
    new StopSignals(&window);
#endif
#if defined(Q_OS_LINUX)
    // Only a looping show has a round's end at which to switch unseen.
    if (options.loop) {
        auto *upgrade = new ProgramUpgrade(arguments, &window);
        QObject::connect(&window, &MainWindow::roundEnded, upgrade, &ProgramUpgrade::switchIfReplaced);
    }
#endif

    // Full-screen state replaces the whole state and is set once shown.
    window.show();
    window.setWindowState(Qt::WindowFullScreen);

    return app.exec();
}
