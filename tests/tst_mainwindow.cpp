// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "mainwindow.h"
#include "notifysocket.h"
#include "sceneview.h"
#include "servicenotifier.h"
#include "showfixture.h"
#include "showframe.h"

#include <QAction>
#include <QColor>
#include <QEventLoop>
#include <QImage>
#include <QMenuBar>
#include <QQmlAbstractUrlInterceptor>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStringListModel>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include <algorithm>

namespace {

// Points the engine at a scene that is not there, as a deployment that lost
// it while the show played would.
class LostScene : public QQmlAbstractUrlInterceptor
{
public:
    QUrl intercept(const QUrl &url, DataType) override
    {
        return url == QUrl("qrc:/main.qml") ? QUrl("qrc:/lost.qml") : url;
    }
};

// How many pixels of a differ plainly from every pixel of the same size b
// has within one pixel of theirs: text drawn turned may land a pixel off.
int differingPixels(const QImage &a, const QImage &b)
{
    auto plainlyDiffer = [](QRgb p, QRgb q) {
        return std::max({qAbs(qRed(p) - qRed(q)), qAbs(qGreen(p) - qGreen(q)), qAbs(qBlue(p) - qBlue(q))}) > 96;
    };
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            bool matched = false;
            for (int dy = -1; dy <= 1 && !matched; ++dy) {
                for (int dx = -1; dx <= 1 && !matched; ++dx) {
                    const QPoint near(x + dx, y + dy);
                    matched = b.rect().contains(near) && !plainlyDiffer(a.pixel(x, y), b.pixel(near));
                }
            }
            count += !matched;
        }
    }
    return count;
}

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void publishesTheSceneContext();
    void centresTheSceneAtItsDeclaredSize_data();
    void centresTheSceneAtItsDeclaredSize();
    void showsNoBars();
    void tellsTheServiceManagerHowTheShowIs_data();
    void tellsTheServiceManagerHowTheShowIs();
    // Last: a show that failed calls QCoreApplication::exit(), after which
    // every event loop of this thread returns at once (until an exec() of
    // the application's own, which a test never runs), signal spies' too.
    void quitActionEndsTheRound_data();
    void quitActionEndsTheRound();
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
    QTest::addColumn<int>("rotation");
    QTest::addColumn<QRect>("scene");

    QTest::newRow("larger screen") << QSize(1280, 800) << 0 << QRect(240, 160, 800, 480);
    QTest::newRow("odd-sized screen") << QSize(1025, 769) << 0 << QRect(112, 144, 800, 480);
    QTest::newRow("exactly the scene") << QSize(800, 480) << 0 << QRect(0, 0, 800, 480);
    QTest::newRow("smaller screen crops evenly") << QSize(640, 400) << 0 << QRect(-80, -40, 800, 480);
    // A screen mounted on its side: the scene stands upright in its middle.
    QTest::newRow("turned 90") << QSize(1280, 800) << 90 << QRect(400, 0, 480, 800);
    QTest::newRow("turned 180") << QSize(1280, 800) << 180 << QRect(240, 160, 800, 480);
    QTest::newRow("turned 270 on a portrait screen") << QSize(600, 1024) << 270 << QRect(60, 112, 480, 800);
    QTest::newRow("turned 90, smaller screen crops evenly") << QSize(640, 400) << 90 << QRect(80, -200, 480, 800);
}

void tst_MainWindow::centresTheSceneAtItsDeclaredSize()
{
    QFETCH(QSize, windowSize);
    QFETCH(int, rotation);
    QFETCH(QRect, scene);

    ShowFixture show;
    MainWindow &window = show.window();
    window.setSceneRotation(rotation);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.resize(windowSize);

    auto *view = window.findChild<SceneView *>();
    QVERIFY2(view->rootObject(), "the scene did not load");
    QCOMPARE(view->rootObject()->size(), QSizeF(800, 480));
    QCOMPARE(QRect(view->mapTo(&window, QPoint()), view->size()), scene);

    // Black all round the scene.
    show.clock().runUntil(1000);
    const QImage frame = grabShowFrame(&window);
    QCOMPARE(frame.size(), windowSize);
    QCOMPARE(frame.pixel(0, 0), qRgb(0, 0, 0));
    QCOMPARE(frame.pixel(frame.width() - 1, frame.height() - 1), qRgb(0, 0, 0));

    // The title card's text, turned clockwise by the angle asked, the same
    // frame as unturned. Glyphs drawn turned are rasterised anew and differ in
    // a few dozen pixels at their edges; a wrong turn differs in over a thousand.
    const QImage turned = grabScene(view).convertToFormat(QImage::Format_RGB32);
    window.setSceneRotation(0);
    const QImage upright = grabScene(view).convertToFormat(QImage::Format_RGB32)
            .transformed(QTransform().rotate(rotation));
    QCOMPARE(turned.size(), upright.size());
    const int differing = differingPixels(turned, upright);
    QVERIFY2(differing < 100, qPrintable(QString("%1 pixels differ from the upright frame turned by %2 degrees")
                                                .arg(differing).arg(rotation)));
}

void tst_MainWindow::quitActionEndsTheRound_data()
{
    QTest::addColumn<bool>("fromScene");
    QTest::addColumn<bool>("looping");
    QTest::addColumn<bool>("sceneLost");

    QTest::newRow("from code") << false << false << false;
    QTest::newRow("from the scene") << true << false << false;
    QTest::newRow("looping: the next round") << true << true << false;
    // The show cannot go on: it ends as failed, saying why, so that a
    // service manager starts it again.
    QTest::newRow("looping: the scene cannot be made again") << true << true << true;
}

void tst_MainWindow::quitActionEndsTheRound()
{
    QFETCH(bool, fromScene);
    QFETCH(bool, looping);
    QFETCH(bool, sceneLost);

    // Declared first, so that the engine goes before it.
    LostScene lostScene;
    MainWindow window;
    window.setLooping(looping);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *view = window.findChild<SceneView *>();
    QQuickItem *firstRound = view->rootObject();
    if (sceneLost) {
        QQmlEngine *engine = view->rootContext()->engine();
        engine->addUrlInterceptor(&lostScene);
        engine->clearComponentCache();
    }

    // The event loop the show's end leaves, and with what code.
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        if (fromScene) {
            QQmlExpression trigger(view->rootContext(), view->rootObject(), "action.trigger()");
            trigger.evaluate();
            QVERIFY2(!trigger.hasError(), qPrintable(trigger.error().toString()));
        } else {
            window.findChild<QAction *>()->trigger();
        }
        // Synchronously: the scene's call returns into a closed window.
        QCOMPARE(window.isVisible(), looping);
        if (!sceneLost)
            loop.exit(0);
    });
    if (sceneLost)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot play again:.*lost\\.qml"));
    QTimer::singleShot(5000, &loop, [&loop] { loop.exit(-1); });
    QCOMPARE(loop.exec(), sceneLost ? 1 : 0);
    if (looping && !sceneLost)
        QVERIFY2(view->rootObject() && view->rootObject() != firstRound, "the scene did not start again");
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
    if (shown) {
        window.sceneWindow()->update();
        QVERIFY2(drawn.wait(), "the shown window drew no frame");
    }
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
