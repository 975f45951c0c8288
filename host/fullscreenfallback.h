// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef FULLSCREENFALLBACK_H
#define FULLSCREENFALLBACK_H

#include <QObject>
#include <QPointer>
#include <QTimer>

class QScreen;
class QWidget;
class QWindow;

// Puts a full-screen window over the whole of its screen, and keeps it there
// as the screen changes size or goes away. A window manager or compositor
// does that when asked, but a bare X server (a kiosk started with xinit) and
// Qt's framebuffer platforms leave the window where it was. A window shown
// before there was any screen at all is shown anew on the first that comes,
// and so is an X11 window that nobody has put on screen a while after it was
// shown: a window manager that takes over the display the moment the window
// asks to be mapped can lose the request, and never maps it.
class FullScreenFallback : public QObject
{
    Q_OBJECT

public:
    // Watches window, which owns the fallback.
    explicit FullScreenFallback(QWidget *window);

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void followWindow();
    void followScreen(QScreen *screen);
    void coverScreen();
    void showAnew();
    void showAgainIfUnmapped();

    QWidget *m_window;
    QPointer<QWindow> m_followed;
    QMetaObject::Connection m_screenGeometry;
    QTimer m_mapWait;
    bool m_screenless = false;
};

#endif // FULLSCREENFALLBACK_H
