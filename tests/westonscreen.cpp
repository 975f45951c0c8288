// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "westonscreen.h"
#include "virtualdisplay.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>
#include <QUuid>

WestonScreen::WestonScreen(const QSize &size)
    : TestScreen(size)
    , m_socket("vexshow-" + QUuid::createUuid().toString(QUuid::Id128))
{
}

WestonScreen::~WestonScreen()
{
    stopProcess(m_compositor);
}

bool WestonScreen::start()
{
    for (const char *tool : {"weston", "weston-screenshooter"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            m_error = QString(tool) + " not found; scripts/install-deps.sh installs it";
            return false;
        }
    }
    if (!m_runtimeDirectory.isValid()) {
        m_error = m_runtimeDirectory.errorString();
        return false;
    }

    // From weston 14 on, its desktop draws the panel over a full-screen window
    // that has no keyboard focus, and a headless compositor has no keyboard.
    // Without the panel, whatever the window leaves uncovered still shows.
    const QString config = m_runtimeDirectory.filePath("weston.ini");
    QFile configFile(config);
    if (!configFile.open(QIODevice::WriteOnly) || configFile.write("[shell]\npanel-position=none\n") < 0) {
        m_error = "no weston configuration written: " + configFile.errorString();
        return false;
    }
    configFile.close();

    endWithTest(m_compositor);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", m_runtimeDirectory.path());
    m_compositor.setProcessEnvironment(environment);
    m_compositor.setProcessChannelMode(QProcess::MergedChannels);
    m_compositor.start("weston", {"--config=" + config, "--backend=headless-backend.so", "--use-pixman",
                                  QString("--width=%1").arg(m_size.width()),
                                  QString("--height=%1").arg(m_size.height()),
                                  "--socket=" + m_socket, "--idle-time=0", "--debug"});
    if (!m_compositor.waitForStarted(5000)) {
        m_error = m_compositor.errorString();
        return false;
    }
    const QString socket = m_runtimeDirectory.filePath(m_socket);
    if (!QTest::qWaitFor([&] {
                return QFileInfo::exists(socket) || m_compositor.state() == QProcess::NotRunning;
            }, 15000) || m_compositor.state() != QProcess::Running) {
        m_error = "weston did not start:\n" + QString::fromLocal8Bit(m_compositor.readAll());
        return false;
    }
    return true;
}

QProcessEnvironment WestonScreen::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", m_runtimeDirectory.path());
    environment.insert("WAYLAND_DISPLAY", m_socket);
    environment.insert("QT_QPA_PLATFORM", "wayland");
    environment.remove("DISPLAY");
    unwindWaylandStacks(environment);
    return environment;
}

QImage WestonScreen::grab() const
{
    // The screenshooter writes its picture into its working directory.
    QTemporaryDir directory;
    QProcess shooter;
    shooter.setProcessEnvironment(environment());
    shooter.setWorkingDirectory(directory.path());
    shooter.setStandardOutputFile(QProcess::nullDevice());
    shooter.setStandardErrorFile(QProcess::nullDevice());
    shooter.start("weston-screenshooter");
    if (!shooter.waitForFinished(10000)) {
        stopProcess(shooter);
        return {};
    }
    const QStringList shots = QDir(directory.path()).entryList({"*.png"}, QDir::Files);
    if (shots.isEmpty())
        return {};
    return QImage(directory.filePath(shots.first())).convertToFormat(QImage::Format_RGB32);
}
