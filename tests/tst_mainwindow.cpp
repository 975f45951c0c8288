#include "mainwindow.h"

#include <QAction>
#include <QColor>
#include <QMenuBar>
#include <QQmlContext>
#include <QQmlExpression>
#include <QQuickItem>
#include <QQuickWidget>
#include <QStatusBar>
#include <QStringListModel>
#include <QTest>
#include <QToolBar>

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void publishesTheSceneContext();
    void loadsTheSceneAtItsDeclaredSize();
    void quitActionClosesTheWindow_data();
    void quitActionClosesTheWindow();
    void showsNoBars();
};

void tst_MainWindow::publishesTheSceneContext()
{
    MainWindow window;
    QQmlContext *context = window.findChild<QQuickWidget *>()->rootContext();

    QCOMPARE(context->contextProperty("message").toString(), QString("sdfdsf"));
    QCOMPARE(context->contextProperty("defaultColor").value<QColor>(), QColor("#0000ff"));

    auto *quitAction = qobject_cast<QAction *>(context->contextProperty("action").value<QObject *>());
    QVERIFY2(quitAction, "action is not published as a QAction");
    QCOMPARE(quitAction->text(), QString("sdfdsfdsf"));
    QVERIFY2(quitAction->shortcut().isEmpty(), "the quit action must not be reachable from the keyboard");

    auto *model = qobject_cast<QStringListModel *>(context->contextProperty("vexLifeModel").value<QObject *>());
    QVERIFY2(model, "vexLifeModel is not published as a string list model");
    QCOMPARE(model->rowCount(), 1000);

    // Everything published is owned by the window, not by the scene.
    QCOMPARE(quitAction->parent(), &window);
    QCOMPARE(model->parent(), &window);
}

void tst_MainWindow::loadsTheSceneAtItsDeclaredSize()
{
    MainWindow window;
    window.resize(1280, 800);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    auto *view = window.findChild<QQuickWidget *>();
    QCOMPARE(view->status(), QQuickWidget::Ready);
    QCOMPARE(view->source(), QUrl("qrc:/main.qml"));
    QCOMPARE(view->rootObject()->size(), QSizeF(800, 480));
    QCOMPARE(view->geometry(), QRect(240, 160, 800, 480));
}

void tst_MainWindow::quitActionClosesTheWindow_data()
{
    QTest::addColumn<bool>("fromScene");

    QTest::newRow("from code") << false;
    QTest::newRow("from the scene") << true;
}

void tst_MainWindow::quitActionClosesTheWindow()
{
    QFETCH(bool, fromScene);

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *view = window.findChild<QQuickWidget *>();

    if (fromScene) {
        QQmlExpression trigger(view->rootContext(), view->rootObject(), "action.trigger()");
        trigger.evaluate();
        QVERIFY2(!trigger.hasError(), qPrintable(trigger.error().toString()));
    } else {
        window.findChild<QAction *>()->trigger();
    }

    // Synchronously: the scene's call returns into a closed window.
    QVERIFY2(!window.isVisible(), "triggering the quit action left the window open");
}

void tst_MainWindow::showsNoBars()
{
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QVERIFY(!window.findChild<QMenuBar *>());
    QVERIFY(!window.findChild<QToolBar *>());
    QVERIFY(!window.findChild<QStatusBar *>());
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
