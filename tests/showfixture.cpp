// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "showfixture.h"
#include "sceneview.h"

#include <QJSValue>
#include <QQmlContext>
#include <QQuickItem>

ShowFixture::ShowFixture()
{
    // A window the scene's size, so the view's frame is the scene.
    m_window.resize(800, 480);
    m_window.show();
}

SceneView *ShowFixture::view() const
{
    return m_window.findChild<SceneView *>();
}

QQuickItem *ShowFixture::root() const
{
    return view()->rootObject();
}

QObject *ShowFixture::sceneObject(const QString &id) const
{
    return qmlContext(root())->objectForName(id);
}

void ShowFixture::followWallClock(qint64 wallClock)
{
    m_clock.setWallClock(wallClock);
    m_window.setLooping(true);
    m_clock.followWallClock(MainWindow::showLength);
    QObject::connect(&m_window, &MainWindow::roundStarted, &m_clock, &FrameClock::beginRound);
    QObject::connect(&m_clock, &FrameClock::roundLost, &m_window, &MainWindow::playAfresh);
    m_clock.beginRound();
}

QQuickItem *ShowFixture::bar() const
{
    const QList<QQuickItem *> layers = root()->childItems();
    for (QQuickItem *layer : layers) {
        if (layer->property("gradient").value<QJSValue>().isQObject())
            return layer;
    }
    return nullptr;
}
