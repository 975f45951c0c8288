// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "vncscreen.h"

#include <QDataStream>
#include <QTcpServer>
#include <QElapsedTimer>
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

// Opens a shared session with the program's server, version 3.3 with no
// security, in 32-bit little-endian xRGB pixels, as QImage's RGB32. The
// screen's size, or an empty one if the server did not answer.
QSize openSession(QTcpSocket &socket, quint16 port)
{
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(answerBound))
        return {};
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
    out << quint8(0) << quint8(0) << quint16(0)
        << quint8(32) << quint8(24) << quint8(0) << quint8(1)
        << quint16(255) << quint16(255) << quint16(255)
        << quint8(16) << quint8(8) << quint8(0) << quint8(0) << quint16(0);
    socket.write(request);
    return QSize(width, height);
}

// A framebuffer update's rectangles: x, y, width, height and encoding.
struct Rectangle {
    QRect area;
    qint32 encoding;
};

// Reads a framebuffer update's header: message type 0, a padding byte and
// how many rectangles follow; -1 for anything else.
int readUpdate(QTcpSocket &socket)
{
    if (readNumber(socket, 2) != 0)
        return -1;
    return int(readNumber(socket, 2));
}

Rectangle readRectangle(QTcpSocket &socket)
{
    const int x = int(readNumber(socket, 2)), y = int(readNumber(socket, 2));
    const int w = int(readNumber(socket, 2)), h = int(readNumber(socket, 2));
    return {QRect(x, y, w, h), qint32(readNumber(socket, 4))};
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
    const QSize size = openSession(socket, m_port);
    if (size.isEmpty())
        return {};

    QByteArray request;
    QDataStream out(&request, QIODevice::WriteOnly);
    // SetEncodings: raw only; then the whole screen, not just what changed.
    out << quint8(2) << quint8(0) << quint16(1) << qint32(0);
    out << quint8(3) << quint8(0) << quint16(0) << quint16(0) << quint16(size.width()) << quint16(size.height());
    socket.write(request);

    QImage screen(size, QImage::Format_RGB32);
    screen.fill(Qt::black);
    const int rectangles = readUpdate(socket);
    if (rectangles < 0)
        return {};
    for (int i = 0; i < rectangles; ++i) {
        const Rectangle rectangle = readRectangle(socket);
        const QRect &area = rectangle.area;
        if (rectangle.encoding != 0 || !screen.rect().contains(area))
            return {};
        const QByteArray pixels = readExactly(socket, qint64(area.width()) * area.height() * 4);
        if (pixels.size() != qint64(area.width()) * area.height() * 4)
            return {};
        for (int row = 0; row < area.height(); ++row) {
            memcpy(screen.scanLine(area.y() + row) + area.x() * 4, pixels.constData() + row * area.width() * 4,
                   size_t(area.width()) * 4);
        }
    }
    return screen;
}

QString VncScreen::pointerFault()
{
    QTcpSocket socket;
    const QSize size = openSession(socket, m_port);
    if (size.isEmpty())
        return "the VNC server does not answer";
    // A viewer that asks for the pointer's image as a pseudo-encoding gets it
    // as a picture and a mask, each time the program changes it, to draw
    // itself where the pointer is.
    const qint32 cursorEncoding = -239;
    QByteArray request;
    QDataStream out(&request, QIODevice::WriteOnly);
    out << quint8(2) << quint8(0) << quint16(2) << qint32(0) << cursorEncoding;
    // Over the black beside the scene, then over the scene.
    for (const QPoint &place : {QPoint(size.width() / 20, size.height() / 2), QPoint(size.width() / 2, size.height() / 2)})
        out << quint8(5) << quint8(0) << quint16(place.x()) << quint16(place.y());
    socket.write(request);

    bool imageSeen = false;
    QElapsedTimer clock;
    clock.start();
    // Whatever the pointer's motion changes comes within this.
    while (clock.elapsed() < 2000) {
        QByteArray update;
        QDataStream ask(&update, QIODevice::WriteOnly);
        ask << quint8(3) << quint8(imageSeen) << quint16(0) << quint16(0) << quint16(size.width())
            << quint16(size.height());
        socket.write(update);
        const int rectangles = readUpdate(socket);
        if (rectangles < 0)
            return "the VNC server sent no framebuffer update";
        for (int i = 0; i < rectangles; ++i) {
            const Rectangle rectangle = readRectangle(socket);
            const qint64 pixels = qint64(rectangle.area.width()) * rectangle.area.height() * 4;
            readExactly(socket, pixels);
            if (rectangle.encoding != cursorEncoding)
                continue;
            imageSeen = true;
            const QByteArray mask = readExactly(socket, (rectangle.area.width() + 7) / 8 * rectangle.area.height());
            if (mask.count('\0') != mask.size())
                return QString("the pointer's image, %1x%2, has pixels that show")
                        .arg(rectangle.area.width()).arg(rectangle.area.height());
        }
    }
    return imageSeen ? QString() : "the VNC server never sent the pointer's image";
}
