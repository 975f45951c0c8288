// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "blankinginhibitor.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPlatformSurfaceEvent>
#include <QWidget>
#include <QWindow>

#if QT_CONFIG(xcb)
#include <xcb/screensaver.h>
#include <xcb/xcb.h>
#endif

#ifdef VEXSHOW_WAYLAND
#include "idle-inhibit-unstable-v1-client-protocol.h"

#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

#include <cstring>
#endif

#ifdef VEXSHOW_DBUS
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFileInfo>
#endif

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

#if QT_CONFIG(xcb)
xcb_connection_t *x11Connection()
{
    // The offscreen platform names an X11 interface too, with no connection.
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return nullptr;
    // Without the extension the request would only earn an error.
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(connection, &xcb_screensaver_id);
    return extension && extension->present ? connection : nullptr;
}
#endif

#ifdef VEXSHOW_WAYLAND
bool onWayland()
{
    return QGuiApplication::platformName().startsWith("wayland");
}

// Qt 6.4 gives no public access to its Wayland objects; its platform native
// interface has named them the same from Qt 5 to now.
void *waylandResource(const char *name, QWindow *window = nullptr)
{
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    if (!native)
        return nullptr;
    return window ? native->nativeResourceForWindow(name, window) : native->nativeResourceForIntegration(name);
}

void registryGlobal(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
    if (std::strcmp(interface, zwp_idle_inhibit_manager_v1_interface.name) == 0) {
        *static_cast<zwp_idle_inhibit_manager_v1 **>(data) = static_cast<zwp_idle_inhibit_manager_v1 *>(
                wl_registry_bind(registry, name, &zwp_idle_inhibit_manager_v1_interface, 1));
    }
}

void registryGlobalRemove(void *, wl_registry *, uint32_t)
{
}

const wl_registry_listener registryListener = {registryGlobal, registryGlobalRemove};
#endif

#ifdef VEXSHOW_DBUS
const char screenSaverService[] = "org.freedesktop.ScreenSaver";
const char screenSaverPath[] = "/org/freedesktop/ScreenSaver";

// Only a session bus that is there: with none named, libdbus would start one
// of its own through dbus-launch, a daemon nobody would end.
bool sessionBusNamed()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(QDir(runtime).filePath("bus"));
}

QDBusMessage screenSaverCall(const char *method)
{
    return QDBusMessage::createMethodCall(screenSaverService, screenSaverPath, screenSaverService, method);
}
#endif

} // namespace

BlankingInhibitor::BlankingInhibitor(QWidget *window)
    : QObject(window)
    , m_window(window)
{
    m_window->installEventFilter(this);
}

BlankingInhibitor::~BlankingInhibitor()
{
    release();
#ifdef VEXSHOW_WAYLAND
    if (m_manager)
        zwp_idle_inhibit_manager_v1_destroy(m_manager);
    if (m_queue)
        wl_event_queue_destroy(m_queue);
#endif
}

bool BlankingInhibitor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window) {
        if (event->type() == QEvent::Show)
            inhibit();
        else if (event->type() == QEvent::Hide)
            release();
    } else if (watched == m_followed) {
        // The surface exists only while the window is shown, and Qt may make
        // it anew; it is there by the time the window is exposed.
        if (event->type() == QEvent::Expose)
            followSurface();
        else if (event->type() == QEvent::PlatformSurface
                 && static_cast<QPlatformSurfaceEvent *>(event)->surfaceEventType()
                         == QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed)
            releaseSurface();
    }
    return QObject::eventFilter(watched, event);
}

void BlankingInhibitor::inhibit()
{
    if (m_inhibiting)
        return;
    m_inhibiting = true;
#if QT_CONFIG(xcb)
    if (xcb_connection_t *connection = x11Connection()) {
        // A show started on a screen already blank wakes it, as input would.
        xcb_force_screen_saver(connection, XCB_SCREEN_SAVER_RESET);
        xcb_screensaver_suspend(connection, true);
        xcb_flush(connection);
    }
#endif
#ifdef VEXSHOW_WAYLAND
    if (onWayland()) {
        QWindow *window = m_window->windowHandle();
        if (window && window != m_followed) {
            m_followed = window;
            window->installEventFilter(this);
        }
        followSurface();
    }
#endif
    inhibitDesktop();
#ifdef Q_OS_WIN
    SetThreadExecutionState(ES_CONTINUOUS | ES_DISPLAY_REQUIRED);
#endif
}

// The X server lifts the suspension by itself, too, when the program's
// connection closes; Windows its execution state when the thread ends.
void BlankingInhibitor::release()
{
    if (!m_inhibiting)
        return;
    m_inhibiting = false;
#if QT_CONFIG(xcb)
    if (xcb_connection_t *connection = x11Connection()) {
        xcb_screensaver_suspend(connection, false);
        xcb_flush(connection);
    }
#endif
    releaseSurface();
    releaseDesktop();
#ifdef Q_OS_WIN
    SetThreadExecutionState(ES_CONTINUOUS);
#endif
}

void BlankingInhibitor::followSurface()
{
#ifdef VEXSHOW_WAYLAND
    if (!m_inhibiting || !m_followed)
        return;
    auto *surface = static_cast<wl_surface *>(waylandResource("surface", m_followed));
    if (!surface || surface == m_surface)
        return;
    releaseSurface();
    auto *display = static_cast<wl_display *>(waylandResource("wl_display"));
    if (!display)
        return;
    // The compositor's globals are asked on a queue of the inhibitor's own,
    // so that waiting for them dispatches none of Qt's events.
    if (!m_queue) {
        m_queue = wl_display_create_queue(display);
        auto *wrapper = static_cast<wl_display *>(wl_proxy_create_wrapper(display));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(wrapper), m_queue);
        wl_registry *registry = wl_display_get_registry(wrapper);
        wl_proxy_wrapper_destroy(wrapper);
        wl_registry_add_listener(registry, &registryListener, &m_manager);
        wl_display_roundtrip_queue(display, m_queue);
        wl_registry_destroy(registry);
    }
    if (!m_manager)
        return;
    m_surface = surface;
    m_inhibitor = zwp_idle_inhibit_manager_v1_create_inhibitor(m_manager, surface);
    wl_display_flush(display);
#endif
}

void BlankingInhibitor::releaseSurface()
{
#ifdef VEXSHOW_WAYLAND
    if (m_inhibitor)
        zwp_idle_inhibitor_v1_destroy(m_inhibitor);
    m_inhibitor = nullptr;
    m_surface = nullptr;
#endif
}

// Asked without waiting, so that a slow bus never holds up the show; a bus or
// a screen saver that is not there leaves nothing to release.
void BlankingInhibitor::inhibitDesktop()
{
#ifdef VEXSHOW_DBUS
    if (m_desktopAsked || !sessionBusNamed())
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    m_desktopAsked = true;
    QDBusMessage call = screenSaverCall("Inhibit");
    call << QStringLiteral("vexshow") << QStringLiteral("Playing a full-screen show");
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *answer) {
        answer->deleteLater();
        const QDBusPendingReply<uint> reply = *answer;
        if (reply.isError()) {
            m_desktopAsked = false;
            return;
        }
        m_desktopHeld = true;
        m_desktopCookie = reply.value();
        // The show may have ended while the desktop answered.
        if (!m_inhibiting)
            releaseDesktop();
    });
#endif
}

// The desktop's screen saver also lets go when the program leaves the bus.
void BlankingInhibitor::releaseDesktop()
{
#ifdef VEXSHOW_DBUS
    if (!m_desktopHeld)
        return;
    QDBusMessage call = screenSaverCall("UnInhibit");
    call << m_desktopCookie;
    QDBusConnection::sessionBus().send(call);
    m_desktopHeld = false;
    m_desktopAsked = false;
#endif
}
