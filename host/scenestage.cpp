// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "scenestage.h"
#include "sceneview.h"

#include <QEvent>
#include <QQuickItem>

SceneStage::SceneStage(SceneView *scene, QWidget *parent)
    : QWidget(parent)
    , m_scene(scene)
{
    m_scene->setParent(this);
    // The view sizes itself to the scene once the scene has loaded.
    m_scene->installEventFilter(this);
    // Each round is a new root item, turned anew.
    connect(m_scene, &SceneView::rootChanged, this, &SceneStage::turnScene);
}

void SceneStage::setRotation(int degrees)
{
    m_rotation = degrees;
    if (QQuickItem *root = m_scene->rootObject())
        turnScene(root);
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

// Turning the scene's item inside the Qt Quick window, rather than the
// window, works alike for an embedded window and a widget, on every platform,
// and draws no more than the scene does unturned.
void SceneStage::turnScene(QQuickItem *root)
{
    root->setRotation(m_rotation);
}

void SceneStage::centreScene()
{
    m_scene->move((width() - m_scene->width()) / 2, (height() - m_scene->height()) / 2);
}
