// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "scenestage.h"

#include <QEvent>

SceneStage::SceneStage(QWidget *scene, QWidget *parent)
    : QWidget(parent)
    , m_scene(scene)
{
    m_scene->setParent(this);
    // The view sizes itself to the scene once the scene has loaded.
    m_scene->installEventFilter(this);
}

bool SceneStage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_scene && event->type() == QEvent::Resize)
        centreScene();
    return QWidget::eventFilter(watched, event);
}

void SceneStage::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    centreScene();
}

void SceneStage::centreScene()
{
    m_scene->move((width() - m_scene->width()) / 2, (height() - m_scene->height()) / 2);
}
