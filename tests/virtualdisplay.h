// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef VIRTUALDISPLAY_H
#define VIRTUALDISPLAY_H

#include "testscreen.h"

#include <QProcess>
#include <QRect>
#include <QTemporaryDir>

#include <memory>

class QSocketNotifier;
struct xcb_connection_t;

// A screen of its own for the built program: an X server on a free display,
// by default with a window manager on it, both ended with the object or with
// the test.
class VirtualDisplay : public TestScreen
{
public:
    // OpenboxAfterALostMap: the display's window management is taken, as
    // openbox does first thing, and openbox is started only once a window has
    // asked to be mapped; that request is lost, as openbox can lose one while
    // it starts.
    enum WindowManager { Openbox, NoWindowManager, OpenboxAfterALostMap };
    // Xvfb keeps its one size. Xorg on its dummy video driver has outputs
    // whose modes xrandr changes: one output, or a second one of 1920x1080
    // right of the first, which is primary.
    enum Server { Xvfb, Xorg, XorgTwoOutputs };

    explicit VirtualDisplay(const QSize &size, WindowManager windowManager = Openbox, Server server = Xvfb);
    ~VirtualDisplay() override;

    bool start() override;
    QProcessEnvironment environment() const override { return m_environment; }
    QImage grab() const override;
    QString windowFault(qint64 processId) const override;
    QString pointerFault() override;
    // With two outputs: the other one on at size, right of the window's, and
    // the window's off, which leaves the other at the top left of the screen.
    QString replug(const QSize &size) override;

    QString name() const { return m_name; }

    // As a crash would: at once, without a word to its clients.
    void killServer();
    // Whether the screen saver is on, as the X server's extension for it says.
    bool screenSaverOn() const;
    // Runs xrandr with arguments, after which size() is the whole new screen;
    // why that failed, or nothing.
    QString changeScreens(const QStringList &arguments);

    // Standard output of a tool run against this display, or nothing if it
    // does not finish in time.
    QByteArray runTool(const QString &program, const QStringList &arguments) const;
    // The top-level window owned by the process, or nothing if it has none yet.
    QString windowOf(qint64 processId) const;
    // As windowOf, but waits for the window until the process ends.
    QString waitForWindow(const QProcess &process) const;
    QRect windowGeometry(const QString &window) const;

private:
    bool startServer();
    bool startWindowManager();
    bool loseTheFirstMapRequest();
    // Whether the window manager puts a window mapped now in a frame.
    bool windowManagerFrames();
    QString writeXorgConfig();
    QString serverReport();

    const WindowManager m_windowManagerKind;
    const Server m_serverKind;
    std::unique_ptr<QTemporaryDir> m_serverFiles;
    QString m_name;
    QProcessEnvironment m_environment;
    QProcess m_server;
    QProcess m_windowManager;
    std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t *)> m_mapRequestTaker;
    std::unique_ptr<QSocketNotifier> m_mapRequests;
    QString m_windowOutput = "DUMMY0";
};

// Without this a crashed or timed-out test would leave the process behind.
void endWithTest(QProcess &process);
// Politely first, then not.
void stopProcess(QProcess &process);
// Why the show did not end well, or nothing if it exited normally with code 0.
QString exitFault(QProcess &show);
QString describe(const QRect &rect);
// What is wrong with a grab of the screen, or nothing: black everywhere but
// in the scene, whose border of squares reaches all four of its edges.
QString framedSceneFault(const QImage &screen, const QRect &scene, int squareSize);

#endif // VIRTUALDISPLAY_H
