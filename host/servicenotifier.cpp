// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "servicenotifier.h"
#include "mainwindow.h"

#include <QQuickWindow>

#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A round of the show lasts about 19 s; a show that starts no rounds, not
// looping or with no screen, still reports this often.
constexpr int statusInterval = 20000;

// The socket's address: a path, or an abstract name written with '@' first.
QByteArray socketAddress(const QByteArray &name)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (name.size() < 2 || size_t(name.size()) > sizeof address.sun_path
            || (name[0] != '/' && name[0] != '@')) {
        return {};
    }
    std::memcpy(address.sun_path, name.constData(), name.size());
    if (name[0] == '@')
        address.sun_path[0] = '\0';
    // A path is ended by its NUL; an abstract name is exactly its length.
    const size_t length = offsetof(sockaddr_un, sun_path) + name.size() + (name[0] == '/' ? 1 : 0);
    return QByteArray(reinterpret_cast<const char *>(&address), int(qMin(length, sizeof address)));
}

} // namespace

ServiceNotifier::ServiceNotifier(MainWindow *window)
    : QObject(window)
{
    m_address = socketAddress(qgetenv("NOTIFY_SOCKET"));
    QQuickWindow *scene = window->sceneWindow();
    // Without its scene the show ends at once, and never was ready.
    if (m_address.isEmpty() || !scene)
        return;
    m_socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0)
        return;

    connect(scene, &QQuickWindow::beforeRendering, this, [this] {
        m_framesBegun.fetch_add(1, std::memory_order_relaxed);
    }, Qt::DirectConnection);
    connect(scene, &QQuickWindow::afterRendering, this, [this] {
        m_framesDrawn.fetch_add(1, std::memory_order_relaxed);
    }, Qt::DirectConnection);
    connect(window, &MainWindow::roundStarted, this, &ServiceNotifier::startRound);
    connect(&m_statusTimer, &QTimer::timeout, this, &ServiceNotifier::reportStatus);

    // The pings come twice in each period the service manager waits for one.
    bool ok = false;
    const qint64 watchdogUsec = qEnvironmentVariable("WATCHDOG_USEC").toLongLong(&ok);
    if (ok && watchdogUsec > 0) {
        m_healthTimer.setInterval(int(qBound(qint64(1), watchdogUsec / 2000, qint64(24 * 3600 * 1000))));
        connect(&m_healthTimer, &QTimer::timeout, this, &ServiceNotifier::checkHealth);
    }
    // Ready once the event loop runs, to play as soon as there is a screen.
    QMetaObject::invokeMethod(this, &ServiceNotifier::ready, Qt::QueuedConnection);
}

ServiceNotifier::~ServiceNotifier()
{
    if (m_socket < 0)
        return;
    send("STOPPING=1");
    ::close(m_socket);
}

void ServiceNotifier::ready()
{
    m_sinceStatus.start();
    m_statusTimer.start(statusInterval);
    if (m_healthTimer.interval() > 0)
        m_healthTimer.start();
    send("READY=1\nSTATUS=vexshow " VEXSHOW_VERSION ", round " + QByteArray::number(m_round));
}

void ServiceNotifier::checkHealth()
{
    // Read in this order, a frame finished between the two reads counts as
    // one still drawing, and the next check sees it finished.
    const unsigned drawn = m_framesDrawn.load(std::memory_order_relaxed);
    const bool drawing = m_framesBegun.load(std::memory_order_relaxed) != drawn;
    const bool stuck = drawing && m_drawingAtLastCheck && drawn == m_drawnAtLastCheck;
    if (stuck && !m_stuck) {
        qWarning("vexshow: a frame has been drawing for more than %d ms; no longer telling the "
                 "service manager that the show is well", m_healthTimer.interval());
    }
    m_stuck = stuck;
    m_drawingAtLastCheck = drawing;
    m_drawnAtLastCheck = drawn;
    if (!stuck)
        send("WATCHDOG=1");
}

void ServiceNotifier::startRound(int round)
{
    m_round = round;
    reportStatus();
    m_statusTimer.start();
}

void ServiceNotifier::reportStatus()
{
    const unsigned drawn = m_framesDrawn.load(std::memory_order_relaxed);
    const qreal seconds = m_sinceStatus.restart() / 1000.0;
    const unsigned frames = drawn - m_drawnAtLastStatus;
    m_drawnAtLastStatus = drawn;
    QByteArray status = "STATUS=vexshow " VEXSHOW_VERSION ", round " + QByteArray::number(m_round);
    if (frames == 0)
        status += ", drawing nothing: no screen to show on";
    else if (seconds > 0)
        status += ", " + QByteArray::number(frames / seconds, 'f', 1) + " frames a second";
    send(status);
}

void ServiceNotifier::send(const QByteArray &message)
{
    // Never blocks: a service manager that reads nothing must not stop the show.
    ::sendto(m_socket, message.constData(), size_t(message.size()), MSG_DONTWAIT | MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr *>(m_address.constData()), socklen_t(m_address.size()));
}
