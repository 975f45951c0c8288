// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef SCENESTAGE_H
#define SCENESTAGE_H

#include <QWidget>

class QQuickItem;
class SceneView;

// Holds the scene's view at the scene's own size in the middle of whatever
// room the window gives it, turned as the screen is mounted. Unlike a layout,
// it lets a stage smaller than the scene crop the scene evenly all round.
class SceneStage : public QWidget
{
    Q_OBJECT

public:
    explicit SceneStage(SceneView *scene, QWidget *parent = nullptr);

    // Turns the scene clockwise by degrees, a multiple of 90, every round of
    // it: for a screen mounted on its side or upside down.
    void setRotation(int degrees);

    bool eventFilter(QObject *watched, QEvent *event) override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void turnScene(QQuickItem *root);
    void centreScene();

    SceneView *m_scene;
    int m_rotation = 0;
};

#endif // SCENESTAGE_H
