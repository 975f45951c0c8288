// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef BACKENDCHOOSER_H
#define BACKENDCHOOSER_H

#include <QByteArray>
#include <QProcessEnvironment>
#include <QStringList>

#include <functional>

// Picks Qt Quick's software adaptation where the only OpenGL is a software
// rasterizer: there, drawing the scene with QPainter costs a fraction of the
// CPU that emulating a GPU does, and a real GPU is never given up.
class BackendChooser
{
public:
    // Call once the application object exists and before any Qt Quick view.
    static void choose();

    // The decision, apart from the machine: the user's own choice wins; then
    // no GPU device means software without asking OpenGL, which would cost a
    // driver load; otherwise the OpenGL renderer's name decides.
    static bool wantsSoftware(const QProcessEnvironment &env,
                              const QStringList &deviceNodes,
                              const std::function<QByteArray()> &glRenderer);
    // The same where the system names no GPU devices to look for (Windows).
    static bool wantsSoftware(const QProcessEnvironment &env,
                              const std::function<QByteArray()> &glRenderer);

    static bool isSoftwareRasterizer(const QByteArray &glRenderer);
    static bool hasGpuDevice(const QStringList &deviceNodes);

private:
    static bool userHasChosen(const QProcessEnvironment &env);
    static QStringList deviceNodes();
    static QByteArray probeGlRenderer();
};

#endif // BACKENDCHOOSER_H
