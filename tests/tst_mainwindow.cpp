// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "mainwindow.h"
#include "notifysocket.h"
#include "sceneview.h"
#include "servicenotifier.h"

#include <QAction>
#include <QColor>
#include <QImage>
#include <QMenuBar>
#include <QQmlContext>
#include <QQmlExpression>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStringListModel>
#include <QTest>
#include <QToolBar>

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void publishesTheSceneContext();
    void centresTheSceneAtItsDeclaredSize_data();
    void centresTheSceneAtItsDeclaredSize();
    void quitActionClosesTheWindow_data();
    void quitActionClosesTheWindow();
    void showsNoBars();
    void tellsTheServiceManagerHowTheShowIs_data();
    void tellsTheServiceManagerHowTheShowIs();
};

void tst_MainWindow::publishesTheSceneContext()
{
    MainWindow window;
    QQmlContext *context = window.findChild<SceneView *>()->rootContext();

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

void tst_MainWindow::centresTheSceneAtItsDeclaredSize_data()
{
    QTest::addColumn<QSize>("windowSize");
    QTest::addColumn<QPoint>("scenePosition");

    QTest::newRow("larger screen") << QSize(1280, 800) << QPoint(240, 160);
    QTest::newRow("odd-sized screen") << QSize(1025, 769) << QPoint(112, 144);
    QTest::newRow("exactly the scene") << QSize(800, 480) << QPoint(0, 0);
    QTest::newRow("smaller screen crops evenly") << QSize(640, 400) << QPoint(-80, -40);
}

void tst_MainWindow::centresTheSceneAtItsDeclaredSize()
{
    QFETCH(QSize, windowSize);
    QFETCH(QPoint, scenePosition);

    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.resize(windowSize);

    auto *view = window.findChild<SceneView *>();
    QVERIFY2(view->rootObject(), "the scene did not load");
    QCOMPARE(view->rootObject()->size(), QSizeF(800, 480));
    QCOMPARE(QRect(view->mapTo(&window, QPoint()), view->size()), QRect(scenePosition, QSize(800, 480)));

    // Black all round the scene.
    const QImage frame = window.grab().toImage();
    QCOMPARE(frame.size(), windowSize);
    QCOMPARE(frame.pixel(0, 0), qRgb(0, 0, 0));
    QCOMPARE(frame.pixel(frame.width() - 1, frame.height() - 1), qRgb(0, 0, 0));
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
    auto *view = window.findChild<SceneView *>();

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

void tst_MainWindow::tellsTheServiceManagerHowTheShowIs_data()
{
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("nextRound");
    QTest::addColumn<bool>("frameStuck");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("healthy");

    const QString show = "^vexshow " VEXSHOW_VERSION;
    QTest::newRow("playing") << true << false << false << show + ", round 1$" << true;
    QTest::newRow("its next round") << true << true << false << show + ", round 2, [0-9.]+ frames a second$" << true;
    // No screen, so no frames at all: idle, not hung.
    QTest::newRow("no screen to draw on") << false << true << false
                                          << show + ", round 2, drawing nothing: no screen to show on$" << true;
    QTest::newRow("a frame begun and never finished") << false << false << true << show + ", round 1$" << false;
}

void tst_MainWindow::tellsTheServiceManagerHowTheShowIs()
{
    QFETCH(bool, shown);
    QFETCH(bool, nextRound);
    QFETCH(bool, frameStuck);
    QFETCH(QString, status);
    QFETCH(bool, healthy);

    NotifySocket manager;
    QVERIFY2(!manager.path().isEmpty(), "the test's notification socket could not be bound");
    // Checks every 50 ms.
    qputenv("NOTIFY_SOCKET", QFile::encodeName(manager.path()));
    qputenv("WATCHDOG_USEC", "100000");
    auto unset = qScopeGuard([] {
        qunsetenv("NOTIFY_SOCKET");
        qunsetenv("WATCHDOG_USEC");
    });
    MainWindow window;
    window.setLooping(true);
    if (shown) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    new ServiceNotifier(&window);

    QVERIFY2(QTest::qWaitFor([&manager] { return manager.count("READY=1") > 0; }), "the show never said it was ready");
    QVERIFY2(manager.received().first().startsWith("READY=1\n"),
             qPrintable("the show was not ready first: " + manager.received().join(" | ")));
    QSignalSpy drawn(window.sceneWindow(), &QQuickWindow::afterRendering);
    if (shown)
        QVERIFY2(drawn.wait(), "the shown window drew no frame");
    if (nextRound)
        window.findChild<QAction *>()->trigger();
    if (frameStuck)
        emit window.sceneWindow()->beforeRendering();

    // Two checks notice a stuck frame; four more must send nothing.
    QTest::qWait(200);
    const int pings = manager.count("WATCHDOG=1");
    if (healthy) {
        QVERIFY2(QTest::qWaitFor([&] { return manager.count("WATCHDOG=1") >= pings + 3; }),
                 qPrintable(QString("the healthy show sent %1 watchdog pings, then no more").arg(pings)));
    } else {
        QTest::qWait(200);
        QVERIFY2(manager.count("WATCHDOG=1") == pings, "the show went on saying it was well with a frame stuck");
    }
    const QString last = manager.last("STATUS");
    QVERIFY2(QRegularExpression(status).match(last).hasMatch(),
             qPrintable(QString("the status is \"%1\", not %2").arg(last, status)));
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
