// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "showfixture.h"
#include "sceneview.h"

#include <QQmlContext>
#include <QQuickItem>
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
    // Checks a card's opacity at chosen show times, in order.
    void verifyFade(const QString &card, const QList<QPair<int, qreal>> &samples);

    QQuickItem *root() const { return m_show->root(); }
    QObject *sceneObject(const QString &id) const { return m_show->sceneObject(id); }

    std::unique_ptr<ShowFixture> m_show;
};

void tst_ShowTimeline::init()
{
    m_show = std::make_unique<ShowFixture>();
    QVERIFY2(root(), "the scene did not load");
}

void tst_ShowTimeline::cleanup()
{
    m_show.reset();
}

void tst_ShowTimeline::verifyFade(const QString &card, const QList<QPair<int, qreal>> &samples)
{
    QObject *title = sceneObject("init");
    for (const auto &[time, opacity] : samples) {
        m_show->clock().runUntil(time);
        const qreal actual = sceneObject(card)->property("opacity").toReal();
        QVERIFY2(qAbs(actual - opacity) < fadeTolerance,
                 qPrintable(QString("%1 opacity %2 at %3 ms, expected %4")
                                    .arg(card).arg(actual).arg(time).arg(opacity)));
        // Once faded, the title card never comes back, even while the root
        // passes through its base state on the way to the end card.
        if (time > 5100)
            QCOMPARE(title->property("opacity").toReal(), 0.0);
    }
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

    m_show->clock().runUntil(time);

    QObject *message = sceneObject("txtmessage");
    QCOMPARE(root()->state(), rootState);
    QCOMPARE(root()->property("demo").toBool(), demo);
    QCOMPARE(root()->property("gohome").toBool(), gohome);
    QCOMPARE(message->property("state").toString(), textState);
    QCOMPARE(message->property("text").toString(), text);
    QVERIFY2(m_show->window().isVisible(), "the window closed before the show ended");
}

void tst_ShowTimeline::titleCardFadesOutOverTwoSeconds()
{
    verifyFade("init", { { 2900, 1.0 }, { 3500, 0.75 }, { 4000, 0.5 }, { 4500, 0.25 },
                         { 5100, 0.0 }, { 12000, 0.0 } });
}

void tst_ShowTimeline::endCardFadesInAndNeitherFadeIsUndone()
{
    verifyFade("theend", { { 12900, 0.0 }, { 13500, 0.25 }, { 14000, 0.5 }, { 14500, 0.75 },
                           { 15100, 1.0 }, { 18900, 1.0 } });
}

void tst_ShowTimeline::quitActionFiresAtNineteenSeconds()
{
    auto *quitAction = qvariant_cast<QObject *>(
            m_show->view()->rootContext()->contextProperty("action"));
    QSignalSpy triggered(quitAction, SIGNAL(triggered(bool)));

    m_show->clock().runUntil(18900);
    QVERIFY2(m_show->window().isVisible(), "the window closed before 19 s");
    QCOMPARE(triggered.count(), 0);

    m_show->clock().runUntil(19100);
    QCOMPARE(triggered.count(), 1);
    QVERIFY2(!m_show->window().isVisible(), "the window is still open after 19 s");
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

    m_show->clock().runUntil(introdelay - 100);
    QVERIFY2(!root()->property("demo").toBool(), "the message phase started early");
    m_show->clock().runUntil(introdelay + 100);
    QVERIFY2(root()->property("demo").toBool(), "the message phase did not start");

    m_show->clock().runUntil(messageEnds - minInterval / 2);
    QCOMPARE(root()->state(), QString("demo"));
    QCOMPARE(sequencerCalls.count(), steps + 1);
    m_show->clock().runUntil(messageEnds + minInterval / 2);
    QCOMPARE(root()->state(), QString("endstate"));
    QCOMPARE(sequencerCalls.count(), steps + 2);

    m_show->clock().runUntil(quits - 100);
    QVERIFY2(m_show->window().isVisible(), "the window closed early");
    m_show->clock().runUntil(quits + 100);
    QVERIFY2(!m_show->window().isVisible(), "the window did not close 6 s after the end card");
    QCOMPARE(sequencerCalls.count(), steps + 2);
}

void tst_ShowTimeline::stepsBeyondTheLinesFallBackToTheBaseText()
{
    root()->setProperty("steps", 10);
    QObject *message = sceneObject("txtmessage");

    m_show->clock().runUntil(12500);
    QCOMPARE(message->property("text").toString(), QString("b4n4n45"));
    m_show->clock().runUntil(13500);
    QCOMPARE(message->property("state").toString(), QString("8"));
    QCOMPARE(message->property("text").toString(), QString("4 g33k"));
    m_show->clock().runUntil(14500);
    QCOMPARE(message->property("state").toString(), QString("9"));
    QCOMPARE(message->property("text").toString(), QString("4 g33k"));
    m_show->clock().runUntil(15500);
    QCOMPARE(root()->state(), QString("endstate"));
}

QTEST_MAIN(tst_ShowTimeline)
#include "tst_showtimeline.moc"
