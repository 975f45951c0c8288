// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef NOTIFYSOCKET_H
#define NOTIFYSOCKET_H

#include <QByteArrayList>
#include <QString>
#include <QTemporaryDir>

// A service manager's notification socket, as systemd gives its services in
// NOTIFY_SOCKET: a datagram socket in a temporary folder of its own.
class NotifySocket
{
public:
    NotifySocket();
    ~NotifySocket();

    // What NOTIFY_SOCKET names; empty if the socket could not be bound.
    QString path() const { return m_path; }
    // Every message received so far, oldest first.
    QByteArrayList received();
    // How many of them say line, such as "WATCHDOG=1", on a line of their own.
    int count(const QByteArray &line);
    // What the last message to set a field said of it, such as STATUS's text.
    QString last(const QByteArray &field);

private:
    QTemporaryDir m_folder;
    QString m_path;
    int m_socket = -1;
    QByteArrayList m_received;
};

#endif // NOTIFYSOCKET_H
