// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "backendchooser.h"

#include <QDir>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>
#include <QRegularExpression>

void BackendChooser::choose()
{
#if defined(Q_OS_DARWIN)
    // Qt Quick draws with Metal there, never through a software rasterizer.
#else
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
#if defined(Q_OS_WIN)
    // Windows names no GPU device nodes, but its OpenGL driver still says
    // when it is only a software rasterizer (WARP, GDI Generic, or Mesa's
    // llvmpipe under Wine); a GPU keeps Qt Quick's default, Direct3D 11.
    if (!wantsSoftware(env, probeGlRenderer))
        return;
#else
    if (!wantsSoftware(env, deviceNodes(), probeGlRenderer))
        return;
#endif
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    // Qt's Wayland client loads its EGL buffer integration, and with it the
    // whole GL driver, only to ask whether it may draw window decorations,
    // which a full-screen window never shows. Software frames need neither.
    if (QGuiApplication::platformName().startsWith("wayland")
            && !qEnvironmentVariableIsSet("QT_WAYLAND_DISABLE_WINDOWDECORATION")) {
        qputenv("QT_WAYLAND_DISABLE_WINDOWDECORATION", "1");
    }
#endif
}

bool BackendChooser::wantsSoftware(const QProcessEnvironment &env,
                                   const QStringList &deviceNodes,
                                   const std::function<QByteArray()> &glRenderer)
{
    if (!hasGpuDevice(deviceNodes))
        return !userHasChosen(env);
    return wantsSoftware(env, glRenderer);
}

bool BackendChooser::wantsSoftware(const QProcessEnvironment &env,
                                   const std::function<QByteArray()> &glRenderer)
{
    if (userHasChosen(env))
        return false;
    // No OpenGL at all (an X server without GLX, say) leaves only software.
    const QByteArray renderer = glRenderer();
    return renderer.isEmpty() || isSoftwareRasterizer(renderer);
}

bool BackendChooser::userHasChosen(const QProcessEnvironment &env)
{
    // Qt still honours the older QMLSCENE_DEVICE beside QT_QUICK_BACKEND.
    for (const char *name : {"QT_QUICK_BACKEND", "QMLSCENE_DEVICE", "QSG_RHI_BACKEND"}) {
        if (!env.value(name).isEmpty())
            return true;
    }
    return false;
}

bool BackendChooser::isSoftwareRasterizer(const QByteArray &glRenderer)
{
    // Mesa's llvmpipe, softpipe and swrast, its classic "Software Rasterizer",
    // Mesa on WARP, Windows' software Direct3D, as under WSL, and "GDI
    // Generic", the OpenGL 1.1 Windows has where no GPU driver is installed.
    static const QRegularExpression software(
        QStringLiteral("\\b(llvmpipe|softpipe|swrast|software rasterizer|basic render driver|gdi generic)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    return software.match(QString::fromLatin1(glRenderer)).hasMatch();
}

bool BackendChooser::hasGpuDevice(const QStringList &deviceNodes)
{
    // Render nodes belong to drivers that can draw; card nodes alone may be a
    // plain framebuffer. NVIDIA's own driver may come without either.
    static const QRegularExpression gpu(QStringLiteral("^(dri/renderD\\d+|nvidia\\d+)$"));
    for (const QString &node : deviceNodes) {
        if (gpu.match(node).hasMatch())
            return true;
    }
    return false;
}

QStringList BackendChooser::deviceNodes()
{
    QStringList nodes = QDir("/dev").entryList({"nvidia*"}, QDir::System);
    for (const QString &node : QDir("/dev/dri").entryList({"renderD*"}, QDir::System))
        nodes.append("dri/" + node);
    return nodes;
}

QByteArray BackendChooser::probeGlRenderer()
{
    QOpenGLContext context;
    if (!context.create())
        return {};
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!context.makeCurrent(&surface))
        return {};
    const QByteArray renderer(reinterpret_cast<const char *>(
        context.functions()->glGetString(GL_RENDERER)));
    context.doneCurrent();
    return renderer;
}
