// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "fullscreenfallback.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <utility>

#if QT_CONFIG(xcb)
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#endif

namespace {

#if QT_CONFIG(xcb)
// xcb hands its replies over to be freed.
template <typename Reply>
std::unique_ptr<Reply, void (*)(void *)> owned(Reply *reply)
{
    return {reply, &std::free};
}

// What Qt 4 asked before it put a full-screen window in place by hand: does
// the running window manager say it supports the full-screen state?
bool windowManagerAppliesFullScreen(xcb_connection_t *connection)
{
    auto atom = [connection](const char *name) {
        const auto answer = owned(xcb_intern_atom_reply(
                connection, xcb_intern_atom(connection, true, std::strlen(name), name), nullptr));
        return answer ? answer->atom : xcb_atom_t(XCB_ATOM_NONE);
    };
    const xcb_atom_t supported = atom("_NET_SUPPORTED");
    const xcb_atom_t fullScreen = atom("_NET_WM_STATE_FULLSCREEN");
    if (supported == XCB_ATOM_NONE || fullScreen == XCB_ATOM_NONE)
        return false;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const auto property = owned(xcb_get_property_reply(
            connection, xcb_get_property(connection, false, root, supported, XCB_ATOM_ATOM, 0, 4096),
            nullptr));
    if (!property || property->format != 32)
        return false;
    const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(property.get()));
    const int count = xcb_get_property_value_length(property.get()) / int(sizeof(xcb_atom_t));
    return std::find(atoms, atoms + count, fullScreen) != atoms + count;
}
#endif

// Where nobody else will put the window over its screen.
bool nobodyAppliesFullScreen()
{
    // Qt's framebuffer platforms draw their windows themselves, with no
    // window manager to ask.
    const QString platform = QGuiApplication::platformName();
    if (platform == "linuxfb" || platform == "vnc" || platform == "bsdfb")
        return true;
#if QT_CONFIG(xcb)
    // Qt's X11 code gives up the requested state on any geometry change, so
    // this must be sure there is nobody else.
    if (platform == "xcb") {
        if (auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
            return !windowManagerAppliesFullScreen(x11->connection());
    }
#endif
    // Wayland compositors, Windows and macOS apply the state themselves.
    return false;
}

} // namespace

FullScreenFallback::FullScreenFallback(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    // Long enough for a window manager that is busy starting.
    m_mapWait.setInterval(std::chrono::seconds(5));
    m_mapWait.setSingleShot(true);
    connect(&m_mapWait, &QTimer::timeout, this, &FullScreenFallback::showAgainIfUnmapped);
    m_window->installEventFilter(this);
}

bool FullScreenFallback::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && (event->type() == QEvent::Show || event->type() == QEvent::WindowStateChange)) {
        followWindow();
        coverScreen();
        if (event->type() == QEvent::Show && QGuiApplication::platformName() == "xcb")
            m_mapWait.start();
    } else if (watched == m_followed && event->type() == QEvent::Expose && m_followed->isExposed()) {
        m_mapWait.stop();
    }
    return QObject::eventFilter(watched, event);
}

// The native window, and with it the screen it is on, exists only once shown.
void FullScreenFallback::followWindow()
{
    QWindow *window = m_window->windowHandle();
    if (!window || window == m_followed)
        return;
    m_followed = window;
    window->installEventFilter(this);
    connect(window, &QWindow::screenChanged, this, &FullScreenFallback::followScreen);
    followScreen(window->screen());
}

void FullScreenFallback::followScreen(QScreen *screen)
{
    disconnect(m_screenGeometry);
    if (screen)
        m_screenGeometry = connect(screen, &QScreen::geometryChanged, this, &FullScreenFallback::coverScreen);
    // Qt stands in a screen of no size where there is no output at all.
    const bool wasScreenless = std::exchange(m_screenless, !screen || screen->geometry().isEmpty());
    if (wasScreenless && !m_screenless) {
        // Qt is still moving the window to the screen, which may make its
        // native window anew once this returns.
        QMetaObject::invokeMethod(this, &FullScreenFallback::showAnew, Qt::QueuedConnection);
        return;
    }
    coverScreen();
}

// Full screen on a screen of no size, the window has no size either, and Qt
// never hands a window of no size to the window system: a Wayland compositor
// with no output never sees it, nor puts it full screen once one comes. Qt
// has taken the window off screen meanwhile, so it is shown again, with a
// size, and then asked for full screen anew.
void FullScreenFallback::showAnew()
{
    // Unless it was closed meanwhile.
    if (!m_followed || m_window->isHidden())
        return;
    m_window->setGeometry(m_followed->screen()->geometry());
    m_window->hide();
    m_window->show();
    m_window->setWindowState(Qt::WindowFullScreen);
}

// The wait ends when the window is first on screen: taken off it later, it
// was taken off by someone who meant it, a user minimising it or a window
// manager changing desktops. So was a window that starts minimised.
void FullScreenFallback::showAgainIfUnmapped()
{
    if (m_followed && !m_followed->isExposed() && !m_screenless && !m_window->isHidden()
        && !(m_followed->windowStates() & Qt::WindowMinimized))
        showAnew();
}

void FullScreenFallback::coverScreen()
{
    // The widget forgets its full-screen state once its geometry is set; its
    // native window keeps it.
    if (!m_followed || m_followed->windowState() != Qt::WindowFullScreen)
        return;
    const QRect screen = m_followed->screen()->geometry();
    if (m_window->geometry() != screen && nobodyAppliesFullScreen())
        m_window->setGeometry(screen);
}
