#include "mainwindow.h"
#include "vexlifemodel.h"

#include <QAction>
#include <QApplication>
#include <QColor>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWidget>
#include <QUrl>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setStyleSheet("background: black");

    auto *view = new QQuickWidget;
    setCentralWidget(view);
    // Qt Quick clears to white and the style sheet does not reach that far.
    view->setClearColor(Qt::black);
    // The view fills the window; the scene keeps its declared size in the
    // middle of it, placed on every resize of the window.

    QQmlContext *context = view->rootContext();
    context->setContextProperty("message", QVariant("sdfdsf"));
    context->setContextProperty("defaultColor", QVariant(QColor(Qt::blue)));

    auto *quitAction = new QAction(this);
    quitAction->setText("sdfdsfdsf");
    connect(quitAction, &QAction::triggered, this, &MainWindow::doSomething);
    context->setContextProperty("action", quitAction);

    context->setContextProperty("vexLifeModel", new VexLifeModel(this));

    view->setSource(QUrl("qrc:/main.qml"));

    // Without its scene the show would be a black screen that never ends.
    // Qt has already said why the scene did not load; end the run as failed.
    if (view->status() == QQuickWidget::Error)
        QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    // Centred on the window, not the view: the view resizes itself to the
    // scene whenever the scene moves and the window then resizes it back, so
    // following the view's size would move the scene again on every frame.
    // A screen smaller than the scene crops it evenly all round.
    auto *view = findChild<QQuickWidget *>();
    if (QQuickItem *scene = view ? view->rootObject() : nullptr) {
        scene->setPosition(QPointF((width() - qRound(scene->width())) / 2,
                                   (height() - qRound(scene->height())) / 2));
    }
}

void MainWindow::doSomething()
{
    close();
}
