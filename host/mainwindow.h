// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QMainWindow>

class QQuickWindow;
class SceneStage;
class SceneView;

// The show's only window: a Qt Quick view on black, the objects the scene may
// use, and the quit action through which the scene ends the program.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);

    // Whether the end of the show starts it again instead of closing the
    // window, until the window is closed some other way.
    void setLooping(bool looping);
    // Turns the scene clockwise by 0, 90, 180 or 270 degrees in the window.
    void setSceneRotation(int degrees);
    // Where the scene is drawn, or null if it did not load.
    QQuickWindow *sceneWindow() const;

signals:
    // A looping show starts its second round, its third, and so on.
    void roundStarted(int round);

public slots:
    void doSomething();

private:
    SceneView *m_view = nullptr;
    SceneStage *m_stage = nullptr;
    bool m_looping = false;
    int m_round = 1;
};

#endif // MAINWINDOW_H
