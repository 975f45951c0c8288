// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef FULLSCREENFALLBACK_H
#define FULLSCREENFALLBACK_H

#include <QObject>

class QWidget;

// Puts a full-screen window over the whole of its screen. A window manager or
// compositor does that when asked, but a bare X server (a kiosk started with
// xinit) and Qt's framebuffer platforms leave the window where it was.
class FullScreenFallback : public QObject
{
    Q_OBJECT

public:
    // Watches window, which owns the fallback.
    explicit FullScreenFallback(QWidget *window);

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void coverScreen();

    QWidget *m_window;
};

#endif // FULLSCREENFALLBACK_H
