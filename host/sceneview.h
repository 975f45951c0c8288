// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef SCENEVIEW_H
#define SCENEVIEW_H

#include <QUrl>
#include <QWidget>

class QQmlContext;
class QQmlEngine;
class QQuickItem;
class QQuickWindow;

// A Qt Quick scene among widgets, at the scene's own size.
//
// Where the platform has native child windows, the scene gets a QQuickView
// embedded in the widgets: Qt Quick's own render loop then draws straight into
// that window. A QQuickWidget draws into an image of its own, copies it into
// the widgets' picture and waits on two more timers a frame, which costs this
// scene about a fifth more CPU without a GPU. The framebuffer platforms
// compose only top-level windows, so there, as on any platform not known to
// embed windows, the scene is drawn by a QQuickWidget.
class SceneView : public QWidget
{
    Q_OBJECT

public:
    explicit SceneView(QWidget *parent = nullptr);
    ~SceneView() override;

    // Where to publish objects to the scene, before it is loaded.
    QQmlContext *rootContext() const;
    // Loads the scene, once. If it fails, Qt has said why and there is no root.
    void setSource(const QUrl &url);
    QQuickItem *rootObject() const;
    // The window Qt Quick draws the scene in, once it is loaded: the embedded
    // view itself, or the one a QQuickWidget draws in offscreen.
    QQuickWindow *quickWindow() const;
    // Puts a new instance of the scene in place of the one playing, which
    // goes with everything it started: the scene from its beginning. False
    // if there is no scene to play again, with errorString() saying why.
    bool playAgain();
    QString errorString() const;

signals:
    // Each round's root item, once it is in place; the view then keeps the
    // size of the item's bounding box, however the item is turned.
    void rootChanged(QQuickItem *root);

private:
    QQuickItem *createScene();
    void followRoot();
    void fitScene();

    QQmlEngine *m_engine;
    QWidget *m_surface = nullptr;
    QQuickWindow *m_window = nullptr;
    QQuickItem *m_content = nullptr;
    QQuickItem *m_root = nullptr;
    QUrl m_source;
    QString m_error;
};

#endif // SCENEVIEW_H
