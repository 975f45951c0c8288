// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef SCENESTAGE_H
#define SCENESTAGE_H

#include <QWidget>

// Holds the scene's view at the scene's own size in the middle of whatever
// room the window gives it. Unlike a layout, it lets a stage smaller than the
// scene crop the scene evenly all round.
class SceneStage : public QWidget
{
    Q_OBJECT

public:
    explicit SceneStage(QWidget *scene, QWidget *parent = nullptr);

    bool eventFilter(QObject *watched, QEvent *event) override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void centreScene();

    QWidget *m_scene;
};

#endif // SCENESTAGE_H
