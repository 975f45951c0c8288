// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "virtualdisplay.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTest>

#include <xcb/screensaver.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <sys/prctl.h>
#include <utility>

VirtualDisplay::VirtualDisplay(const QSize &size, WindowManager windowManager, Server server)
    : TestScreen(size)
    , m_windowManagerKind(windowManager)
    , m_serverKind(server)
    , m_mapRequestTaker(nullptr, &xcb_disconnect)
{
}

VirtualDisplay::~VirtualDisplay()
{
    stopProcess(m_windowManager);
    stopProcess(m_server);
}

bool VirtualDisplay::start()
{
    QStringList tools{"openbox", "xprop", "xwininfo", "wmctrl", "import"};
    tools << (m_serverKind == Xvfb ? QStringList{"Xvfb"} : QStringList{"Xorg", "xrandr"});
    for (const QString &tool : tools) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            m_error = tool + " not found; scripts/install-deps.sh installs it";
            return false;
        }
    }
    if (!startServer())
        return false;

    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert("DISPLAY", m_name);
    m_environment.insert("QT_QPA_PLATFORM", "xcb");
    m_environment.remove("WAYLAND_DISPLAY");
    if (!QTest::qWaitFor([this] { return !runTool("xprop", {"-root"}).isEmpty(); }, 15000)) {
        m_error = QString("display %1 does not answer; %2").arg(m_name, serverReport());
        return false;
    }
    if (m_serverKind != Xvfb) {
        const QString outputs = QString::fromLatin1(runTool("xrandr", {"--current"}));
        if (!outputs.contains(QString("DUMMY0 connected primary %1x%2+0+0").arg(m_size.width()).arg(m_size.height()))) {
            m_error = "Xorg did not start with its first output at the size asked:\n" + outputs;
            return false;
        }
    }
    if (m_windowManagerKind == NoWindowManager)
        return true;
    return m_windowManagerKind == Openbox ? startWindowManager() : loseTheFirstMapRequest();
}

bool VirtualDisplay::startWindowManager()
{
    endWithTest(m_windowManager);
    m_windowManager.setProcessEnvironment(m_environment);
    m_windowManager.setProcessChannelMode(QProcess::MergedChannels);
    m_windowManager.start("openbox", {"--sm-disable"});
    if (!m_windowManager.waitForStarted(5000)) {
        m_error = m_windowManager.errorString();
        return false;
    }
    if (!windowManagerFrames() || m_windowManager.state() != QProcess::Running) {
        m_error = QString("openbox did not take over display %1:\n%2%3")
                .arg(m_name, QString::fromLocal8Bit(m_windowManager.readAll()), serverReport());
        return false;
    }
    return true;
}

// Whoever selects the redirection of the root window's children is sent the
// requests to map them, and the server maps nothing by itself meanwhile.
bool VirtualDisplay::loseTheFirstMapRequest()
{
    m_mapRequestTaker.reset(xcb_connect(qPrintable(m_name), nullptr));
    xcb_connection_t *x = m_mapRequestTaker.get();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const uint32_t redirect = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT;
    std::free(xcb_request_check(x, xcb_change_window_attributes_checked(x, root, XCB_CW_EVENT_MASK, &redirect)));
    if (xcb_connection_has_error(x)) {
        m_error = "could not take the window management of display " + m_name;
        return false;
    }
    m_mapRequests = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(x), QSocketNotifier::Read);
    QObject::connect(m_mapRequests.get(), &QSocketNotifier::activated, m_mapRequests.get(), [this] {
        bool asked = false;
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_mapRequestTaker.get())) {
            asked = asked || (event->response_type & ~0x80) == XCB_MAP_REQUEST;
            std::free(event);
        }
        if (!asked)
            return;
        m_mapRequests.release()->deleteLater();
        m_mapRequestTaker.reset();
        if (!startWindowManager())
            qWarning("%s", qPrintable(m_error));
    });
    return true;
}

// The server picks a free display and writes its number on standard output.
bool VirtualDisplay::startServer()
{
    // By default it resets whenever its last client leaves, and a client
    // connecting meanwhile fails: the first probe leaving would do that.
    QStringList arguments{"-displayfd", "1", "-noreset", "-nolisten", "tcp"};
    if (m_serverKind == Xvfb) {
        arguments << "-screen" << "0" << QString("%1x%2x24").arg(m_size.width()).arg(m_size.height());
    } else {
        const QString config = writeXorgConfig();
        if (config.isEmpty())
            return false;
        // It shares the console it is started from and never switches it.
        arguments << "-config" << config << "-logfile" << m_serverFiles->filePath("Xorg.log")
                  << "-sharevts" << "-novtswitch";
    }
    const QString program = m_serverKind == Xvfb ? "Xvfb" : "Xorg";
    endWithTest(m_server);
    m_server.start(program, arguments);
    if (!m_server.waitForStarted(5000)) {
        m_error = m_server.errorString();
        return false;
    }
    if (!QTest::qWaitFor([this] {
                return m_server.canReadLine() || m_server.state() == QProcess::NotRunning;
            }, 15000) || !m_server.canReadLine()) {
        m_error = program + " named no display; " + serverReport();
        return false;
    }
    m_name = ":" + QString::fromLatin1(m_server.readLine()).trimmed();
    return true;
}

// Its path, or nothing, with the error set.
QString VirtualDisplay::writeXorgConfig()
{
    m_serverFiles = std::make_unique<QTemporaryDir>();
    QFile config(m_serverFiles->filePath("xorg.conf"));
    if (!m_serverFiles->isValid() || !config.open(QIODevice::WriteOnly)) {
        m_error = "no Xorg configuration written: " + m_serverFiles->errorString() + config.errorString();
        return {};
    }
    const bool twoOutputs = m_serverKind == XorgTwoOutputs;
    // Sync ranges that take any mode, and a 1280x800 mode with the usual
    // blanking: the server's built-in one has reduced blanking, refused here.
    const QString monitor = R"(Section "Monitor"
    Identifier "%1"
    HorizSync 5.0-1000.0
    VertRefresh 5.0-200.0
    Modeline "1920x1080" 148.50 1920 2008 2052 2200 1080 1084 1089 1125 +hsync +vsync
    Modeline "1280x800" 83.50 1280 1352 1480 1680 800 803 809 831 -hsync +vsync
    Option "PreferredMode" "%2"
    %3
EndSection
)";
    QString text = QString(R"(# It only draws: no input devices, no switching of virtual terminals.
Section "ServerFlags"
    Option "AutoAddDevices" "false"
    Option "AutoEnableDevices" "false"
    Option "DontVTSwitch" "true"
EndSection
Section "Device"
    Identifier "dummy"
    Driver "dummy"
    VideoRam 65536
    Option "Monitor-DUMMY0" "first"
    %1
EndSection
Section "Screen"
    Identifier "screen"
    Device "dummy"
    Monitor "first"
    DefaultDepth 24
EndSection
)").arg(twoOutputs ? R"(Option "Monitor-DUMMY1" "second")" : "");
    text += monitor.arg("first", QString("%1x%2").arg(m_size.width()).arg(m_size.height()),
                        R"(Option "Primary" "true")");
    if (twoOutputs)
        text += monitor.arg("second", "1920x1080", R"(Option "RightOf" "first"
    Option "Enable" "true")");
    config.write(text.toUtf8());
    return config.fileName();
}

void VirtualDisplay::killServer()
{
    m_server.kill();
    m_server.waitForFinished(5000);
}

QString VirtualDisplay::changeScreens(const QStringList &arguments)
{
    QProcess xrandr;
    xrandr.setProcessEnvironment(m_environment);
    xrandr.start("xrandr", arguments);
    if (!xrandr.waitForFinished(10000) || xrandr.exitStatus() != QProcess::NormalExit || xrandr.exitCode() != 0) {
        stopProcess(xrandr);
        return QString("xrandr %1 failed: %2").arg(arguments.join(' '), QString::fromLocal8Bit(xrandr.readAllStandardError()));
    }
    static const QRegularExpression current(QStringLiteral("current (\\d+) x (\\d+)"));
    const QRegularExpressionMatch size = current.match(QString::fromLatin1(runTool("xrandr", {"--current"})));
    if (!size.hasMatch())
        return "xrandr did not tell the screen's new size";
    m_size = QSize(size.captured(1).toInt(), size.captured(2).toInt());
    return {};
}

QString VirtualDisplay::replug(const QSize &size)
{
    if (m_serverKind != XorgTwoOutputs)
        return TestScreen::replug(size);
    // The other output in first, so that Qt sees the window's own go for good.
    const QString other = m_windowOutput == "DUMMY0" ? "DUMMY1" : "DUMMY0";
    QString fault = changeScreens({"--output", other, "--mode", QString("%1x%2").arg(size.width()).arg(size.height()),
                                   "--right-of", m_windowOutput});
    if (fault.isEmpty())
        fault = changeScreens({"--output", std::exchange(m_windowOutput, other), "--off"});
    return fault;
}

QByteArray VirtualDisplay::runTool(const QString &program, const QStringList &arguments) const
{
    QProcess tool;
    tool.setProcessEnvironment(m_environment);
    tool.setStandardErrorFile(QProcess::nullDevice());
    tool.start(program, arguments);
    if (!tool.waitForFinished(10000)) {
        stopProcess(tool);
        return {};
    }
    return tool.readAllStandardOutput();
}

namespace {

// The process and all it started, as a launcher like Wine's leaves the
// window to one of its children.
QStringList processTree(qint64 processId)
{
    QStringList tree{QString::number(processId)};
    const QStringList pids = QDir("/proc").entryList({"[0-9]*"}, QDir::Dirs);
    for (bool grown = true; grown;) {
        grown = false;
        for (const QString &pid : pids) {
            QFile stat("/proc/" + pid + "/stat");
            if (tree.contains(pid) || !stat.open(QIODevice::ReadOnly))
                continue;
            // The parent is the second field after the parenthesised name.
            const QByteArray fields = stat.readAll();
            const QString parent = QString::fromLatin1(fields.mid(fields.lastIndexOf(')') + 2)).section(' ', 1, 1);
            if (tree.contains(parent)) {
                tree << pid;
                grown = true;
            }
        }
    }
    return tree;
}

} // namespace

QString VirtualDisplay::windowOf(qint64 processId) const
{
    const QStringList tree = processTree(processId);
    if (m_windowManagerKind == NoWindowManager) {
        // Top-level windows are the root's own children here, not frames.
        static const QRegularExpression child(QStringLiteral("^\\s+(0x[0-9a-f]+) "));
        const QStringList lines = QString::fromLatin1(runTool("xwininfo", {"-root", "-children"})).split('\n');
        for (const QString &line : lines) {
            const QString window = child.match(line).captured(1);
            if (!window.isEmpty()
                    && tree.contains(runTool("xprop", {"-id", window, "_NET_WM_PID"}).trimmed().split(' ').last())) {
                return window;
            }
        }
        return {};
    }
    const QStringList windows = QString::fromLatin1(runTool("wmctrl", {"-l", "-p"})).split('\n');
    for (const QString &line : windows) {
        const QStringList fields = line.simplified().split(' ');
        if (fields.size() > 2 && tree.contains(fields.at(2)))
            return fields.at(0);
    }
    return {};
}

QString VirtualDisplay::waitForWindow(const QProcess &process) const
{
    QString window;
    const bool found = QTest::qWaitFor([&] {
        window = windowOf(process.processId());
        return !window.isEmpty() || process.state() == QProcess::NotRunning;
    }, 15000);
    return found ? window : QString();
}

QRect VirtualDisplay::windowGeometry(const QString &window) const
{
    const QString info = QString::fromLatin1(runTool("xwininfo", {"-id", window}));
    auto field = [&info](const QString &name) {
        const QRegularExpression pattern(QRegularExpression::escape(name) + ":\\s*(-?\\d+)");
        return pattern.match(info).captured(1).toInt();
    };
    return QRect(field("Absolute upper-left X"), field("Absolute upper-left Y"),
                 field("Width"), field("Height"));
}

QImage VirtualDisplay::grab() const
{
    return QImage::fromData(runTool("import", {"-window", "root", "png:-"}), "PNG")
            .convertToFormat(QImage::Format_RGB32);
}

QString VirtualDisplay::windowFault(qint64 processId) const
{
    const QString window = windowOf(processId);
    if (window.isEmpty())
        return "the show has no window";
    const QRect geometry = windowGeometry(window);
    const QString covering = " covering " + describe(geometry);
    if (geometry != QRect(QPoint(0, 0), m_size))
        return "the window is not full screen:" + covering;
    // Without a window manager nobody sets the state; the geometry is all.
    if (m_windowManagerKind == NoWindowManager)
        return {};
    const QByteArray state = runTool("xprop", {"-id", window, "_NET_WM_STATE"});
    if (!state.contains("_NET_WM_STATE_FULLSCREEN") || state.contains("_NET_WM_STATE_MAXIMIZED"))
        return "the window is not alone full screen: " + QString::fromLatin1(state) + covering;
    return {};
}

namespace {

// xcb hands its replies over to be freed.
template <typename Reply>
std::unique_ptr<Reply, void (*)(void *)> owned(Reply *reply)
{
    return {reply, &std::free};
}

// A connection of the test's own, for what no X tool tells.
class XConnection
{
public:
    explicit XConnection(const QString &display)
        : m_connection(xcb_connect(qPrintable(display), nullptr), &xcb_disconnect)
    {
    }

    xcb_connection_t *get() const
    {
        return xcb_connection_has_error(m_connection.get()) ? nullptr : m_connection.get();
    }
    xcb_window_t root() const { return xcb_setup_roots_iterator(xcb_get_setup(get())).data->root; }

private:
    std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t *)> m_connection;
};

} // namespace

// Openbox names itself on the root window before it manages windows, and a
// window mapped in between stays unmapped for good: a window of the test's
// own must have been put in a frame before any show maps its own.
bool VirtualDisplay::windowManagerFrames()
{
    const XConnection x(m_name);
    if (!x.get())
        return false;
    const xcb_window_t probe = xcb_generate_id(x.get());
    xcb_create_window(x.get(), XCB_COPY_FROM_PARENT, probe, x.root(), 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    const bool framed = QTest::qWaitFor([&] {
        // Asked again, as the request may have been lost.
        xcb_map_window(x.get(), probe);
        const auto tree = owned(xcb_query_tree_reply(x.get(), xcb_query_tree(x.get(), probe), nullptr));
        return (tree && tree->parent != x.root()) || m_windowManager.state() == QProcess::NotRunning;
    }, 15000);
    xcb_destroy_window(x.get(), probe);
    xcb_flush(x.get());
    return framed;
}

QString VirtualDisplay::pointerFault()
{
    const XConnection x(m_name);
    if (!x.get())
        return "no connection to " + m_name;
    // The extension answers nothing until asked for its version.
    owned(xcb_xfixes_query_version_reply(x.get(), xcb_xfixes_query_version(x.get(), 4, 0), nullptr));
    auto shows = [&x] {
        const auto image = owned(xcb_xfixes_get_cursor_image_reply(
                x.get(), xcb_xfixes_get_cursor_image(x.get()), nullptr));
        if (!image)
            return true;
        const uint32_t *pixels = xcb_xfixes_get_cursor_image_cursor_image(image.get());
        const int count = xcb_xfixes_get_cursor_image_cursor_image_length(image.get());
        return std::any_of(pixels, pixels + count, [](uint32_t argb) { return argb >> 24 != 0; });
    };
    // Over the scene, over the black beside it, and back: Qt Quick sets its
    // window's cursor as the pointer moves over its items.
    const QPoint centre(m_size.width() / 2, m_size.height() / 2);
    for (const QPoint &place : {centre, QPoint(m_size.width() / 20, centre.y()), centre + QPoint(1, 1)}) {
        xcb_warp_pointer(x.get(), XCB_NONE, x.root(), 0, 0, 0, 0, qint16(place.x()), qint16(place.y()));
        xcb_flush(x.get());
        // The program answers the motion in its own time.
        if (QTest::qWaitFor(shows, 1000))
            return QString("the pointer shows at (%1,%2)").arg(place.x()).arg(place.y());
    }
    return {};
}

bool VirtualDisplay::screenSaverOn() const
{
    const XConnection x(m_name);
    if (!x.get())
        return false;
    const auto info = owned(xcb_screensaver_query_info_reply(
            x.get(), xcb_screensaver_query_info(x.get(), x.root()), nullptr));
    return info && info->state == XCB_SCREENSAVER_STATE_ON;
}

QString VirtualDisplay::serverReport()
{
    return QString("%1 is %2:\n%3")
            .arg(m_serverKind == Xvfb ? "Xvfb" : "Xorg", m_server.state() == QProcess::Running ? "running" : "gone",
                 QString::fromLocal8Bit(m_server.readAllStandardError()));
}

void endWithTest(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

void stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

QString exitFault(QProcess &show)
{
    const QString output = QString::fromLocal8Bit(show.readAllStandardError());
    if (show.exitStatus() != QProcess::NormalExit)
        return "the show crashed:\n" + output;
    if (show.exitCode() != 0)
        return QString("the show exited with %1:\n%2").arg(show.exitCode()).arg(output);
    return {};
}

QString describe(const QRect &rect)
{
    return QString("%1x%2 at (%3,%4)").arg(rect.width()).arg(rect.height())
            .arg(rect.x()).arg(rect.y());
}

QString framedSceneFault(const QImage &screen, const QRect &scene, int squareSize)
{
    QRect painted;
    for (int y = 0; y < screen.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(screen.constScanLine(y));
        for (int x = 0; x < screen.width(); ++x) {
            if ((line[x] & 0xffffff) == 0)
                continue;
            if (!scene.contains(x, y)) {
                return QString("(%1,%2) outside the scene is #%3, not black")
                        .arg(x).arg(y).arg(line[x] & 0xffffff, 6, 16, QChar('0'));
            }
            painted |= QRect(x, y, 1, 1);
        }
    }
    // A dark square at an edge may read as black.
    if (!painted.adjusted(-squareSize, -squareSize, squareSize, squareSize).contains(scene))
        return "the scene shows as " + describe(painted) + ", not as " + describe(scene);
    return {};
}
