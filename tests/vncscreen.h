// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef VNCSCREEN_H
#define VNCSCREEN_H

#include "testscreen.h"

// Qt's vnc platform: the program is its own framebuffer and VNC server, and
// the screen is read back over the protocol's raw encoding.
class VncScreen : public TestScreen
{
public:
    explicit VncScreen(const QSize &size);

    // Finds a free port; the server itself comes up with the program.
    bool start() override;
    QProcessEnvironment environment() const override;
    QImage grab() const override;
    QString pointerFault() override;

private:
    quint16 m_port = 0;
};

#endif // VNCSCREEN_H
