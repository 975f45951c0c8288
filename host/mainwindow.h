// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QMainWindow>

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

signals:
    // The show reached its end, before it starts again or the window closes.
    void roundEnded();

public slots:
    void doSomething();

private:
    SceneView *m_view = nullptr;
    bool m_looping = false;
};

#endif // MAINWINDOW_H
