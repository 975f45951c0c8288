// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "stopsignals.h"

#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A signal handler may do next to nothing: it writes a byte here, and the
// event loop reads it.
int signalSocket[2] = {-1, -1};

void noteSignal(int)
{
    // The code the signal interrupted may be about to read errno.
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalSocket[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

void StopSignals::catchSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSocket) != 0)
        return;
    // A full socket means a signal is already waiting to be seen.
    ::fcntl(signalSocket[0], F_SETFL, O_NONBLOCK);
    struct sigaction action = {};
    action.sa_handler = noteSignal;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

StopSignals::StopSignals(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    if (signalSocket[1] < 0)
        return;
    auto *notifier = new QSocketNotifier(signalSocket[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &StopSignals::closeWindow);
}

void StopSignals::closeWindow()
{
    char bytes[16];
    [[maybe_unused]] const ssize_t read = ::read(signalSocket[1], bytes, sizeof bytes);
    m_window->close();
}
