// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef STOPSIGNALS_H
#define STOPSIGNALS_H

#include <QObject>

class QWidget;

// Ends the show as closing its window does when the process is told to stop
// (SIGTERM from a service manager, SIGINT from a terminal, SIGHUP when its
// terminal goes), so that it exits with code 0 rather than by the signal.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    // Catches the signals from now on; call before anything that takes time.
    // A signal caught before the event loop runs is acted on once it does.
    static void catchSignals();

    // Closes window on each signal caught; window owns it.
    explicit StopSignals(QWidget *window);

private:
    void closeWindow();

    QWidget *m_window;
};

#endif // STOPSIGNALS_H
