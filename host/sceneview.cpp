// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "sceneview.h"

#include <QDebug>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QQuickWidget>
#include <QQuickWindow>
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
    // The windows are left without a source: were the scene their root
    // object, they would size themselves to it, unturned.
    if (embedsWindows(QGuiApplication::platformName())) {
        auto *view = new QQuickView(m_engine, nullptr);
        // A window of its own, it has a pointer of its own.
        view->setCursor(Qt::BlankCursor);
        m_window = view;
        m_surface = QWidget::createWindowContainer(view, this);
    } else {
        auto *widget = new QQuickWidget(m_engine, this);
        m_window = widget->quickWindow();
        m_surface = widget;
    }
    m_content = m_window->contentItem();
    m_root = createScene();
    if (!m_root) {
        qWarning().noquote() << m_error;
        return;
    }
    followRoot();
}

QQuickItem *SceneView::rootObject() const
{
    return m_root;
}

QQuickWindow *SceneView::quickWindow() const
{
    return m_window;
}

bool SceneView::playAgain()
{
    if (!m_root) {
        m_error = "the scene never loaded";
        return false;
    }
    QQuickItem *next = createScene();
    if (!next)
        return false;
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

QString SceneView::errorString() const
{
    return m_error;
}

// The engine keeps the scene compiled, so a round costs only its objects.
QQuickItem *SceneView::createScene()
{
    QQmlComponent component(m_engine, m_source);
    QObject *created = component.isReady() ? component.create(m_engine->rootContext()) : nullptr;
    auto *scene = qobject_cast<QQuickItem *>(created);
    if (!scene) {
        delete created;
        m_error = component.isError() ? component.errorString().trimmed()
                                      : m_source.toString() + " holds no Qt Quick item";
        return nullptr;
    }
    // The window's content item owns every round.
    scene->setParent(m_content);
    scene->setParentItem(m_content);
    return scene;
}

void SceneView::followRoot()
{
    connect(m_root, &QQuickItem::widthChanged, this, &SceneView::fitScene);
    connect(m_root, &QQuickItem::heightChanged, this, &SceneView::fitScene);
    connect(m_root, &QQuickItem::rotationChanged, this, &SceneView::fitScene);
    emit rootChanged(m_root);
    fitScene();
}

void SceneView::fitScene()
{
    // Turned, the scene's corners lie elsewhere: its top left goes to the
    // view's, and the view takes its bounding box's size.
    const QRectF box = m_root->mapRectToItem(m_root->parentItem(), m_root->boundingRect());
    m_root->setPosition(m_root->position() - box.topLeft());
    const QSize size(qCeil(box.width()), qCeil(box.height()));
    resize(size);
    m_surface->resize(size);
}
