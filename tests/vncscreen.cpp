// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "vncscreen.h"

#include <QDataStream>
#include <QTcpServer>
#include <QTcpSocket>

namespace {

const int answerBound = 5000;

QByteArray readExactly(QTcpSocket &socket, qint64 size)
{
    QByteArray data;
    while (data.size() < size) {
        if (!socket.bytesAvailable() && !socket.waitForReadyRead(answerBound))
            return {};
        data += socket.read(size - data.size());
    }
    return data;
}

quint32 readNumber(QTcpSocket &socket, int size)
{
    quint32 number = 0;
    for (char byte : readExactly(socket, size))
        number = number << 8 | quint8(byte);
    return number;
}

} // namespace

VncScreen::VncScreen(const QSize &size)
    : TestScreen(size)
{
}

bool VncScreen::start()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost)) {
        m_error = "no free port: " + probe.errorString();
        return false;
    }
    m_port = probe.serverPort();
    return true;
}

QProcessEnvironment VncScreen::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", QString("vnc:size=%1x%2:port=%3")
                       .arg(m_size.width()).arg(m_size.height()).arg(m_port));
    return environment;
}

QImage VncScreen::grab() const
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_port);
    if (!socket.waitForConnected(answerBound))
        return {};

    // Version 3.3, no security, a shared session.
    const QByteArray version = readExactly(socket, 12);
    if (!version.startsWith("RFB 003."))
        return {};
    socket.write("RFB 003.003\n");
    if (readNumber(socket, 4) != 1)
        return {};
    socket.write(QByteArray(1, 1));
    const int width = int(readNumber(socket, 2));
    const int height = int(readNumber(socket, 2));
    readExactly(socket, 16);
    readExactly(socket, readNumber(socket, 4));

    QByteArray request;
    QDataStream out(&request, QIODevice::WriteOnly);
    // SetPixelFormat: 32 bits, true colour, little-endian xRGB, as QImage's RGB32.
    out << quint8(0) << quint8(0) << quint16(0)
        << quint8(32) << quint8(24) << quint8(0) << quint8(1)
        << quint16(255) << quint16(255) << quint16(255)
        << quint8(16) << quint8(8) << quint8(0) << quint8(0) << quint16(0);
    // SetEncodings: raw only; then the whole screen, not just what changed.
    out << quint8(2) << quint8(0) << quint16(1) << qint32(0);
    out << quint8(3) << quint8(0) << quint16(0) << quint16(0) << quint16(width) << quint16(height);
    socket.write(request);

    QImage screen(width, height, QImage::Format_RGB32);
    screen.fill(Qt::black);
    // A framebuffer update: message type 0 and a padding byte, then its rectangles.
    if (readNumber(socket, 2) != 0)
        return {};
    const int rectangles = int(readNumber(socket, 2));
    for (int i = 0; i < rectangles; ++i) {
        const int x = int(readNumber(socket, 2)), y = int(readNumber(socket, 2));
        const int w = int(readNumber(socket, 2)), h = int(readNumber(socket, 2));
        if (readNumber(socket, 4) != 0 || x + w > width || y + h > height)
            return {};
        const QByteArray pixels = readExactly(socket, qint64(w) * h * 4);
        if (pixels.size() != qint64(w) * h * 4)
            return {};
        for (int row = 0; row < h; ++row)
            memcpy(screen.scanLine(y + row) + x * 4, pixels.constData() + row * w * 4, size_t(w) * 4);
    }
    return screen;
}
