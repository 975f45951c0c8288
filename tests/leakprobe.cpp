// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

// Leaks on purpose, from a slot that Qt's event loop calls as it calls the
// show's own code, so that LeakSanitizer must report it: a suppression broad
// enough to hide it (a whole Qt library, the event loop, libwayland) would
// hide ours too.
//   leakprobe QObject             a QObject
//   leakprobe wl_registry         a Wayland registry on Qt's connection, made
//                                 as BlankingInhibitor makes its objects
//   leakprobe --weston LEAK       LEAK in a copy of itself on a weston of its
//                                 own, with the environment the end-to-end
//                                 tests give the show there

#include "westonscreen.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QProcess>
#include <QTimer>

#include <qpa/qplatformnativeinterface.h>
#include <wayland-client.h>

#include <cstdio>

static void plantLeak(const QString &leak)
{
    if (leak == "QObject") {
        new QObject;
    } else if (leak == "wl_registry") {
        auto *display = static_cast<wl_display *>(
                QGuiApplication::platformNativeInterface()->nativeResourceForIntegration("wl_display"));
        if (!display)
            return;
        wl_event_queue *queue = wl_display_create_queue(display);
        auto *wrapper = static_cast<wl_display *>(wl_proxy_create_wrapper(display));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(wrapper), queue);
        wl_display_get_registry(wrapper);
        wl_proxy_wrapper_destroy(wrapper);
        wl_display_roundtrip_queue(display, queue);
        wl_event_queue_destroy(queue);
    }
}

static int onWeston(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    WestonScreen screen(QSize(640, 400));
    if (!screen.start()) {
        std::fprintf(stderr, "leakprobe: %s\n", qPrintable(screen.errorString()));
        return 2;
    }
    QProcess probe;
    probe.setProcessEnvironment(screen.environment());
    probe.setProcessChannelMode(QProcess::ForwardedChannels);
    probe.start(app.applicationFilePath(), app.arguments().mid(2));
    if (!probe.waitForFinished(60000)) {
        std::fprintf(stderr, "leakprobe: the probe on weston did not finish: %s\n", qPrintable(probe.errorString()));
        return 2;
    }
    return probe.exitStatus() == QProcess::NormalExit ? probe.exitCode() : 2;
}

int main(int argc, char *argv[])
{
    if (argc > 2 && qstrcmp(argv[1], "--weston") == 0)
        return onWeston(argc, argv);
    QGuiApplication app(argc, argv);
    const QString leak = QString::fromLocal8Bit(argc > 1 ? argv[1] : "");
    QTimer::singleShot(0, &app, [leak] {
        plantLeak(leak);
        QCoreApplication::quit();
    });
    return app.exec();
}
