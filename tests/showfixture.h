// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef SHOWFIXTURE_H
#define SHOWFIXTURE_H

#include "mainwindow.h"
#include "showclock.h"

class QQuickItem;
class SceneView;

// The show as a test sees it: the main window, shown, with its scene on a
// virtual clock that stands at show time 0.
class ShowFixture
{
public:
    ShowFixture();

    ShowClock &clock() { return m_clock; }
    MainWindow &window() { return m_window; }
    SceneView *view() const;
    QQuickItem *root() const;
    // A scene object by its id in the scene file.
    QObject *sceneObject(const QString &id) const;
    // The sweeping bar, which has no id: the scene's one gradient-filled item.
    QQuickItem *bar() const;
    // Plays in step with the virtual wall clock, which reads `wallClock` (ms
    // of UTC) now, as `vexshow --sync` does with the system's.
    void followWallClock(qint64 wallClock);

private:
    // Declared first: installed before the scene exists, removed after.
    ShowClock m_clock;
    MainWindow m_window;
};

#endif // SHOWFIXTURE_H
