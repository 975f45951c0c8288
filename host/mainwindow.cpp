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
    // The view fills the window while the scene keeps its declared size, in
    // the middle: a screen smaller than the scene crops it evenly all round.
    const auto centreScene = [view] {
        if (QQuickItem *scene = view->rootObject()) {
            scene->setPosition(QPointF((view->width() - qRound(scene->width())) / 2,
                                       (view->height() - qRound(scene->height())) / 2));
        }
    };
    connect(view->quickWindow(), &QWindow::widthChanged, view, centreScene);
    connect(view->quickWindow(), &QWindow::heightChanged, view, centreScene);

    QQmlContext *context = view->rootContext();
    context->setContextProperty("message", QVariant("sdfdsf"));
    context->setContextProperty("defaultColor", QVariant(QColor(Qt::blue)));

    auto *quitAction = new QAction(this);
    quitAction->setText("sdfdsfdsf");
    connect(quitAction, &QAction::triggered, this, &MainWindow::doSomething);
    context->setContextProperty("action", quitAction);

    context->setContextProperty("vexLifeModel", new VexLifeModel(this));

    view->setSource(QUrl("qrc:/main.qml"));
    centreScene();

    // Without its scene the show would be a black screen that never ends.
    // Qt has already said why the scene did not load; end the run as failed.
    if (view->status() == QQuickWidget::Error)
        QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
}

void MainWindow::doSomething()
{
    close();
}
