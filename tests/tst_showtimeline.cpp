#include "mainwindow.h"
#include "showclock.h"

#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWidget>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

// Each timer in the chain that leads to a fade starts on the frame after the
// one before it fired, so a fade may begin a few frames late: 0.04 of a
// two-second fade is 80 ms.
constexpr qreal fadeTolerance = 0.04;

}

class tst_ShowTimeline : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void timeline_data();
    void timeline();
    void titleCardFadesOutOverTwoSeconds();
    void endCardFadesInAndNeitherFadeIsUndone();
    void quitActionFiresAtNineteenSeconds();
    void settingsMoveTheTimeline_data();
    void settingsMoveTheTimeline();
    void stepsBeyondTheLinesFallBackToTheBaseText();

private:
    QQuickItem *root() const;
    QObject *sceneObject(const QString &id) const;

    std::unique_ptr<ShowClock> m_clock;
    std::unique_ptr<MainWindow> m_window;
};

void tst_ShowTimeline::init()
{
    m_clock = std::make_unique<ShowClock>();
    m_window = std::make_unique<MainWindow>();
    m_window->show();
    QVERIFY2(root(), "the scene did not load");
}

void tst_ShowTimeline::cleanup()
{
    m_window.reset();
    m_clock.reset();
}

QQuickItem *tst_ShowTimeline::root() const
{
    return m_window->findChild<QQuickWidget *>()->rootObject();
}

QObject *tst_ShowTimeline::sceneObject(const QString &id) const
{
    return qmlContext(root())->objectForName(id);
}

void tst_ShowTimeline::timeline_data()
{
    QTest::addColumn<int>("time");
    QTest::addColumn<QString>("rootState");
    QTest::addColumn<bool>("demo");
    QTest::addColumn<bool>("gohome");
    QTest::addColumn<QString>("textState");
    QTest::addColumn<QString>("text");

    // Sampled half-way between steps, so a frame's lag cannot move a row.
    QTest::newRow("title") << 500 << "" << false << false << "" << "4 g33k";
    QTest::newRow("message phase starts") << 3500 << "demo" << true << false << "" << "4 g33k";
    QTest::newRow("step 1 names no state") << 4500 << "demo" << true << false << "-1" << "4 g33k";
    QTest::newRow("step 2 keeps the base line") << 5500 << "demo" << true << false << "0" << "4 g33k";
    QTest::newRow("step 3") << 6500 << "demo" << true << false << "1" << "w0rk5";
    QTest::newRow("step 4") << 7500 << "demo" << true << false << "2" << "f0r";
    QTest::newRow("step 5") << 8500 << "demo" << true << false << "3" << "p34nu75";
    QTest::newRow("step 6") << 9500 << "demo" << true << false << "4" << "4nd";
    QTest::newRow("step 7") << 10500 << "demo" << true << false << "5" << "c0d35";
    QTest::newRow("step 8 repeats a line") << 11500 << "demo" << true << false << "6" << "f0r";
    QTest::newRow("step 9") << 12500 << "demo" << true << false << "7" << "b4n4n45";
    QTest::newRow("end card") << 13500 << "endstate" << false << true << "7" << "b4n4n45";
    QTest::newRow("last line stays") << 18500 << "endstate" << false << true << "7" << "b4n4n45";
}

void tst_ShowTimeline::timeline()
{
    QFETCH(int, time);
    QFETCH(QString, rootState);
    QFETCH(bool, demo);
    QFETCH(bool, gohome);
    QFETCH(QString, textState);
    QFETCH(QString, text);

    m_clock->runUntil(time);

    QObject *message = sceneObject("txtmessage");
    QCOMPARE(root()->state(), rootState);
    QCOMPARE(root()->property("demo").toBool(), demo);
    QCOMPARE(root()->property("gohome").toBool(), gohome);
    QCOMPARE(message->property("state").toString(), textState);
    QCOMPARE(message->property("text").toString(), text);
    QVERIFY2(m_window->isVisible(), "the window closed before the show ended");
}

void tst_ShowTimeline::titleCardFadesOutOverTwoSeconds()
{
    QObject *title = sceneObject("init");
    const QList<QPair<int, qreal>> samples = {
        { 2900, 1.0 }, { 3500, 0.75 }, { 4000, 0.5 }, { 4500, 0.25 }, { 5100, 0.0 }, { 12000, 0.0 }
    };
    for (const auto &[time, opacity] : samples) {
        m_clock->runUntil(time);
        const qreal actual = title->property("opacity").toReal();
        QVERIFY2(qAbs(actual - opacity) < fadeTolerance,
                 qPrintable(QString("title card opacity %1 at %2 ms, expected %3")
                                    .arg(actual).arg(time).arg(opacity)));
    }
}

void tst_ShowTimeline::endCardFadesInAndNeitherFadeIsUndone()
{
    QObject *title = sceneObject("init");
    QObject *end = sceneObject("theend");
    const QList<QPair<int, qreal>> samples = {
        { 12900, 0.0 }, { 13500, 0.25 }, { 14000, 0.5 }, { 14500, 0.75 }, { 15100, 1.0 }, { 18900, 1.0 }
    };
    for (const auto &[time, opacity] : samples) {
        m_clock->runUntil(time);
        const qreal actual = end->property("opacity").toReal();
        QVERIFY2(qAbs(actual - opacity) < fadeTolerance,
                 qPrintable(QString("end card opacity %1 at %2 ms, expected %3")
                                    .arg(actual).arg(time).arg(opacity)));
        // The root passes through its base state on the way to the end card;
        // the title card must not come back.
        QCOMPARE(title->property("opacity").toReal(), 0.0);
    }
}

void tst_ShowTimeline::quitActionFiresAtNineteenSeconds()
{
    auto *quitAction = qvariant_cast<QObject *>(
            m_window->findChild<QQuickWidget *>()->rootContext()->contextProperty("action"));
    QSignalSpy triggered(quitAction, SIGNAL(triggered(bool)));

    m_clock->runUntil(18900);
    QVERIFY2(m_window->isVisible(), "the window closed before 19 s");
    QCOMPARE(triggered.count(), 0);

    m_clock->runUntil(19100);
    QCOMPARE(triggered.count(), 1);
    QVERIFY2(!m_window->isVisible(), "the window is still open after 19 s");
}

void tst_ShowTimeline::settingsMoveTheTimeline_data()
{
    QTest::addColumn<int>("introdelay");
    QTest::addColumn<int>("minInterval");
    QTest::addColumn<int>("steps");

    QTest::newRow("defaults") << 3000 << 1000 << 8;
    QTest::newRow("longer intro") << 5000 << 1000 << 8;
    QTest::newRow("faster steps") << 3000 << 500 << 8;
    QTest::newRow("fewer steps") << 2000 << 1000 << 3;
}

void tst_ShowTimeline::settingsMoveTheTimeline()
{
    QFETCH(int, introdelay);
    QFETCH(int, minInterval);
    QFETCH(int, steps);

    root()->setProperty("introdelay", introdelay);
    root()->setProperty("minInterval", minInterval);
    root()->setProperty("steps", steps);
    QSignalSpy sequencerCalls(sceneObject("texttimer"), SIGNAL(triggered()));

    // The message phase ends on the call after the last line: steps + 2 calls.
    const int messageEnds = introdelay + (steps + 2) * minInterval;
    const int quits = messageEnds + 6000;

    m_clock->runUntil(introdelay - 100);
    QVERIFY2(!root()->property("demo").toBool(), "the message phase started early");
    m_clock->runUntil(introdelay + 100);
    QVERIFY2(root()->property("demo").toBool(), "the message phase did not start");

    m_clock->runUntil(messageEnds - minInterval / 2);
    QCOMPARE(root()->state(), QString("demo"));
    QCOMPARE(sequencerCalls.count(), steps + 1);
    m_clock->runUntil(messageEnds + minInterval / 2);
    QCOMPARE(root()->state(), QString("endstate"));
    QCOMPARE(sequencerCalls.count(), steps + 2);

    m_clock->runUntil(quits - 100);
    QVERIFY2(m_window->isVisible(), "the window closed early");
    m_clock->runUntil(quits + 100);
    QVERIFY2(!m_window->isVisible(), "the window did not close 6 s after the end card");
    QCOMPARE(sequencerCalls.count(), steps + 2);
}

void tst_ShowTimeline::stepsBeyondTheLinesFallBackToTheBaseText()
{
    root()->setProperty("steps", 10);
    QObject *message = sceneObject("txtmessage");

    m_clock->runUntil(12500);
    QCOMPARE(message->property("text").toString(), QString("b4n4n45"));
    m_clock->runUntil(13500);
    QCOMPARE(message->property("state").toString(), QString("8"));
    QCOMPARE(message->property("text").toString(), QString("4 g33k"));
    m_clock->runUntil(14500);
    QCOMPARE(message->property("state").toString(), QString("9"));
    QCOMPARE(message->property("text").toString(), QString("4 g33k"));
    m_clock->runUntil(15500);
    QCOMPARE(root()->state(), QString("endstate"));
}

QTEST_MAIN(tst_ShowTimeline)
#include "tst_showtimeline.moc"
