// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "notifysocket.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

NotifySocket::NotifySocket()
{
    const QByteArray path = QFile::encodeName(m_folder.filePath("notify"));
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (!m_folder.isValid() || size_t(path.size()) >= sizeof address.sun_path)
        return;
    std::memcpy(address.sun_path, path.constData(), path.size());
    m_socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_socket >= 0 && ::bind(m_socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
        m_path = QFile::decodeName(path);
}

NotifySocket::~NotifySocket()
{
    if (m_socket >= 0)
        ::close(m_socket);
}

QByteArrayList NotifySocket::received()
{
    char message[4096];
    ssize_t size;
    while (m_socket >= 0 && (size = ::recv(m_socket, message, sizeof message, 0)) >= 0)
        m_received << QByteArray(message, int(size));
    return m_received;
}

int NotifySocket::count(const QByteArray &line)
{
    const QByteArrayList messages = received();
    return int(std::count_if(messages.cbegin(), messages.cend(),
                             [&line](const QByteArray &message) { return message.split('\n').contains(line); }));
}

QString NotifySocket::last(const QByteArray &field)
{
    QString value;
    const QByteArrayList messages = received();
    for (const QByteArray &message : messages) {
        for (const QByteArray &line : message.split('\n')) {
            if (line.startsWith(field + '='))
                value = QString::fromUtf8(line.mid(field.size() + 1));
        }
    }
    return value;
}
