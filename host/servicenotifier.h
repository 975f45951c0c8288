// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef SERVICENOTIFIER_H
#define SERVICENOTIFIER_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <atomic>

class MainWindow;

// Tells the service manager that started the show (systemd, through the
// datagram socket NOTIFY_SOCKET names) that it is ready once its scene has
// loaded, that it is healthy for as long as it is (WATCHDOG_USEC), and how it
// plays: its version, its round and its frame rate. Without NOTIFY_SOCKET it
// does nothing.
//
// Healthy means that the GUI thread runs its event loop, or the timer that
// sends the pings would not fire, and that no frame has been drawing, begun
// and not finished, from one check to the next. A show that draws no frames
// at all, with no screen to draw on, is idle, not hung.
class ServiceNotifier : public QObject
{
    Q_OBJECT

public:
    // Follows the scene and the rounds of window, which owns it.
    explicit ServiceNotifier(MainWindow *window);
    ~ServiceNotifier() override;

private:
    void ready();
    void checkHealth();
    void startRound(int round);
    void reportStatus();
    void send(const QByteArray &message);

    int m_socket = -1;
    QByteArray m_address;
    int m_round = 1;
    // Counted by whichever thread draws the scene, the GUI thread's or Qt
    // Quick's render thread.
    std::atomic<unsigned> m_framesBegun{0};
    std::atomic<unsigned> m_framesDrawn{0};
    unsigned m_drawnAtLastCheck = 0;
    bool m_drawingAtLastCheck = false;
    bool m_stuck = false;
    unsigned m_drawnAtLastStatus = 0;
    QElapsedTimer m_sinceStatus;
    QTimer m_healthTimer;
    QTimer m_statusTimer;
};

#endif // SERVICENOTIFIER_H
