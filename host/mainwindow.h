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
    // The scene's timeline, start to quit action: a 3 s title card, ten
    // message steps of 1 s and 6 s of end card (resources/main.qml).
    static constexpr qint64 showLength = 19000;

    explicit MainWindow(QWidget *parent = nullptr);

    // Whether the end of the show starts it again instead of closing the
    // window, until the window is closed some other way.
    void setLooping(bool looping);
    // Turns the scene clockwise by 0, 90, 180 or 270 degrees in the window.
    void setSceneRotation(int degrees);
    // Where the scene is drawn, or null if it did not load.
    QQuickWindow *sceneWindow() const;

signals:
    // A looping show has put a new instance of the scene in place, at its
    // show time 0: its second round, its third, and so on.
    void roundStarted(int round);
    // The show reached its end, before it starts again or the window closes.
    void roundEnded();

public slots:
    void doSomething();
    // Puts the show from its beginning in place of the round playing.
    void playAfresh();

private:
    SceneView *m_view = nullptr;
    SceneStage *m_stage = nullptr;
    bool m_looping = false;
    int m_round = 1;
};

#endif // MAINWINDOW_H
