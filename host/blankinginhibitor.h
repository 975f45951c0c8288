// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef BLANKINGINHIBITOR_H
#define BLANKINGINHIBITOR_H

#include <QObject>
#include <QPointer>

class QWidget;
class QWindow;
struct wl_event_queue;
struct wl_surface;
struct zwp_idle_inhibit_manager_v1;
struct zwp_idle_inhibitor_v1;

// Keeps the screen from blanking while a window is shown: nobody sits at a
// show to give the input that would keep it awake. It asks the X server to
// suspend its screen saver and power saving, a Wayland compositor that offers
// it to let the window's surface inhibit idling, a desktop's screen saver on
// the session bus to hold off, or Windows to keep the display on. Elsewhere
// it does nothing.
class BlankingInhibitor : public QObject
{
    Q_OBJECT

public:
    // Watches window, which owns the inhibitor.
    explicit BlankingInhibitor(QWidget *window);
    ~BlankingInhibitor() override;

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void inhibit();
    void release();
    void followSurface();
    void releaseSurface();
    void inhibitDesktop();
    void releaseDesktop();

    QWidget *m_window;
    bool m_inhibiting = false;
    QPointer<QWindow> m_followed;
    wl_event_queue *m_queue = nullptr;
    zwp_idle_inhibit_manager_v1 *m_manager = nullptr;
    wl_surface *m_surface = nullptr;
    zwp_idle_inhibitor_v1 *m_inhibitor = nullptr;
    // The desktop's answer to the inhibit comes later, or never.
    bool m_desktopAsked = false;
    bool m_desktopHeld = false;
    uint m_desktopCookie = 0;
};

#endif // BLANKINGINHIBITOR_H
