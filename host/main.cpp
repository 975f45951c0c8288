// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "backendchooser.h"
#include "frameclock.h"
#include "mainwindow.h"
#if defined(Q_OS_UNIX)
#include "servicenotifier.h"
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
#include <string>

namespace {

const char usage[] =
R"(Usage: vexshow [--loop] [--sync] [--rotate DEGREES] [Qt option...]
Plays a self-running full-screen show of about 19 seconds, then exits.

  --loop       play the show again and again until the window is closed
  --rotate DEGREES, --rotate=DEGREES
               turn the show clockwise by 0, 90, 180 or 270 degrees, for a
               screen mounted turned the other way: 90 for a screen turned a
               quarter anticlockwise, onto its left side
  --sync       loop (--loop is implied), each round starting when the clock
               (UTC) reaches a multiple of 19 s: screens whose clocks agree
               (NTP) show the same moment of the show
  --help       print this and exit
  --version    print the version and exit

SIGTERM, SIGINT and SIGHUP end the show as closing its window does.
Exit codes: 0 when the show has ended, 1 when it cannot play (it says why),
2 for an option it does not accept.
Arguments it does not know go to Qt, which takes its own (-platform NAME,
-display DISPLAY) and ignores the rest.
)";

// What the command line asks of the program itself. Everything else is Qt's,
// or a launcher's, and left alone.
struct Options
{
    bool loop = false;
    bool sync = false;
    bool help = false;
    bool version = false;
    int rotation = 0;
    // Why the command line cannot be played, or nothing.
    std::string error;
};

// The quarter turns a screen can be mounted at, and nothing else: a value
// half read would turn the show in a way nobody asked for.
bool readRotation(const char *value, int &rotation)
{
    for (int degrees : {0, 90, 180, 270}) {
        if (std::to_string(degrees) == value) {
            rotation = degrees;
            return true;
        }
    }
    return false;
}

Options readOptions(int argc, char *argv[])
{
    Options options;
    const char rotate[] = "--rotate";
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        options.sync = options.sync || std::strcmp(argument, "--sync") == 0;
        options.loop = options.loop || options.sync || std::strcmp(argument, "--loop") == 0;
        options.help = options.help || std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0;
        options.version = options.version || std::strcmp(argument, "--version") == 0;
        const char *value = nullptr;
        if (std::strcmp(argument, rotate) == 0)
            value = i + 1 < argc ? argv[++i] : "";
        else if (std::strncmp(argument, rotate, sizeof rotate - 1) == 0 && argument[sizeof rotate - 1] == '=')
            value = argument + sizeof rotate;
        if (value && !readRotation(value, options.rotation) && options.error.empty()) {
            options.error = std::string("--rotate takes 0, 90, 180 or 270, ")
                    + (*value ? std::string("not \"") + value + "\"" : std::string("and was given none"));
        }
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
    if (!options.error.empty()) {
        std::fprintf(stderr, "vexshow: %s\nTry vexshow --help.\n", options.error.c_str());
        return 2;
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
    // Qt may start with no screen at all, where the outputs come later.
    const QScreen *screen = app.primaryScreen();
    FrameClock clock(screen ? screen->refreshRate() : 0);
    clock.install();
    MainWindow window;
    window.setLooping(options.loop);
    window.setSceneRotation(options.rotation);
    if (options.sync) {
        clock.followWallClock(MainWindow::showLength);
        QObject::connect(&window, &MainWindow::roundStarted, &clock, &FrameClock::beginRound);
        QObject::connect(&clock, &FrameClock::roundLost, &window, &MainWindow::playAfresh);
        // Joined from the event loop, before its first frame: a scene that
        // did not load has asked by then to end the run.
        QMetaObject::invokeMethod(&clock, &FrameClock::beginRound, Qt::QueuedConnection);
    }
#if defined(Q_OS_UNIX)
    new StopSignals(&window);
    new ServiceNotifier(&window);
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
