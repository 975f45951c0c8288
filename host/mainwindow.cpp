// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "mainwindow.h"
#include "blankinginhibitor.h"
#include "fullscreenfallback.h"
#include "scenestage.h"
#include "sceneview.h"
#include "vexlifemodel.h"

#include <QAction>
#include <QApplication>
#include <QColor>
#include <QDebug>
#include <QQmlContext>
#include <QUrl>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setStyleSheet("background: black");
    new FullScreenFallback(this);
    new BlankingInhibitor(this);
    setCursor(Qt::BlankCursor);

    // The view keeps the scene's declared size, in the middle of the window.
    m_view = new SceneView;
    m_stage = new SceneStage(m_view);
    setCentralWidget(m_stage);

    QQmlContext *context = m_view->rootContext();
    context->setContextProperty("message", QVariant("sdfdsf"));
    context->setContextProperty("defaultColor", QVariant(QColor(Qt::blue)));

    auto *quitAction = new QAction(this);
    quitAction->setText("sdfdsfdsf");
    connect(quitAction, &QAction::triggered, this, &MainWindow::doSomething);
    context->setContextProperty("action", quitAction);

    context->setContextProperty("vexLifeModel", new VexLifeModel(this));

    m_view->setSource(QUrl("qrc:/main.qml"));

    // Without its scene the show would be a black screen that never ends.
    // Qt has already said why the scene did not load; end the run as failed.
    if (!m_view->rootObject())
        QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
}

void MainWindow::setLooping(bool looping)
{
    m_looping = looping;
}

void MainWindow::setSceneRotation(int degrees)
{
    m_stage->setRotation(degrees);
}

QQuickWindow *MainWindow::sceneWindow() const
{
    return m_view->rootObject() ? m_view->quickWindow() : nullptr;
}

void MainWindow::doSomething()
{
    emit roundEnded();
    if (m_looping)
        playAfresh();
    else
        close();
}

void MainWindow::playAfresh()
{
    // A round that cannot be made leaves the show over, as a failure, so
    // that whatever started it may start it again.
    if (!m_view->playAgain()) {
        qWarning().noquote() << "vexshow: the show cannot play again:" << m_view->errorString();
        QCoreApplication::exit(1);
        return;
    }
    emit roundStarted(++m_round);
}
