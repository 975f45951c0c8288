// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "sceneview.h"

#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QQuickWidget>
#include <QtMath>

namespace {

bool embedsWindows(const QString &platform)
{
    return platform == "xcb" || platform.startsWith("wayland") || platform == "windows"
            || platform == "cocoa" || platform == "offscreen";
}

}

SceneView::SceneView(QWidget *parent)
    : QWidget(parent)
    , m_engine(new QQmlEngine(this))
{
}

SceneView::~SceneView()
{
    // The view uses the engine, which as a child would otherwise go first.
    delete m_surface;
}

QQmlContext *SceneView::rootContext() const
{
    return m_engine->rootContext();
}

void SceneView::setSource(const QUrl &url)
{
    m_source = url;
    if (embedsWindows(QGuiApplication::platformName())) {
        auto *view = new QQuickView(m_engine, nullptr);
        // A window of its own, it has a pointer of its own.
        view->setCursor(Qt::BlankCursor);
        view->setSource(url);
        m_root = view->rootObject();
        m_surface = QWidget::createWindowContainer(view, this);
    } else {
        auto *widget = new QQuickWidget(m_engine, this);
        widget->setSource(url);
        m_root = widget->rootObject();
        m_surface = widget;
    }
    if (m_root)
        followRoot();
}

QQuickItem *SceneView::rootObject() const
{
    return m_root;
}

bool SceneView::playAgain()
{
    if (!m_root)
        return false;
    // The view's own component is out of reach; the engine has compiled the
    // scene already, so a second one costs next to nothing.
    if (!m_component)
        m_component = new QQmlComponent(m_engine, m_source, this);
    auto *next = qobject_cast<QQuickItem *>(m_component->create(m_engine->rootContext()));
    if (!next)
        return false;
    // The window's content item owns each later round; the view owns its first.
    QQuickItem *content = m_root->parentItem();
    next->setParent(content);
    next->setParentItem(content);
    // This may be called from the scene's own timer, which must outlive its
    // call; until it goes, its other timers must not fire into the new round.
    const QList<QObject *> objects = m_root->findChildren<QObject *>();
    for (QObject *object : objects) {
        if (object->inherits("QQmlTimer"))
            object->setProperty("running", false);
    }
    m_root->setParentItem(nullptr);
    m_root->deleteLater();
    m_root = next;
    followRoot();
    return true;
}

void SceneView::followRoot()
{
    connect(m_root, &QQuickItem::widthChanged, this, &SceneView::fitScene);
    connect(m_root, &QQuickItem::heightChanged, this, &SceneView::fitScene);
    fitScene();
}

void SceneView::fitScene()
{
    const QSize size(qCeil(m_root->width()), qCeil(m_root->height()));
    resize(size);
    m_surface->resize(size);
}
