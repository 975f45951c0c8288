#include "mainwindow.h"
#include "vexlifemodel.h"

#include <QAction>
#include <QColor>
#include <QGridLayout>
#include <QQmlContext>
#include <QQuickWidget>
#include <QUrl>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setStyleSheet("background: black");

    // The view keeps the scene at its declared size; the layout centres it in
    // whatever the window is given, and the sheet paints the rest black.
    auto *stage = new QWidget;
    setCentralWidget(stage);
    auto *layout = new QGridLayout(stage);
    layout->setContentsMargins(0, 0, 0, 0);

    auto *view = new QQuickWidget;
    layout->addWidget(view, 0, 0, Qt::AlignCenter);
    // Qt Quick clears to white and the style sheet does not reach that far.
    view->setClearColor(Qt::black);

    QQmlContext *context = view->rootContext();
    context->setContextProperty("message", QVariant("sdfdsf"));
    context->setContextProperty("defaultColor", QVariant(QColor(Qt::blue)));

    auto *quitAction = new QAction(this);
    quitAction->setText("sdfdsfdsf");
    connect(quitAction, &QAction::triggered, this, &MainWindow::doSomething);
    context->setContextProperty("action", quitAction);

    context->setContextProperty("vexLifeModel", new VexLifeModel(this));

    view->setSource(QUrl("qrc:/main.qml"));
}

void MainWindow::doSomething()
{
    close();
}
