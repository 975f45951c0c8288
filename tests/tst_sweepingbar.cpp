// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "showfixture.h"

#include <QQuickItem>
#include <QTest>

namespace {

// How far the bar moves and fades in one frame: 280 px and 0.8 of opacity a
// second. A frame that straddles two steps sees a little of both.
constexpr qreal maxStepPerFrame = 280.0 * ShowClock::frame / 1000;
constexpr qreal maxFadePerFrame = 0.8 * ShowClock::frame / 1000;

}

class tst_SweepingBar : public QObject
{
    Q_OBJECT

private slots:
    void isAFullWidthBandBehindEverything();
    void sweepsAndPulses_data();
    void sweepsAndPulses();
    void risesBrightAndSinksFaded();
};

void tst_SweepingBar::isAFullWidthBandBehindEverything()
{
    ShowFixture show;
    QQuickItem *bar = show.bar();
    QVERIFY2(bar, "the scene has no bar");
    QCOMPARE(show.root()->childItems().constFirst(), bar);
    QCOMPARE(bar->position(), QPointF(0, 100));
    QCOMPARE(bar->size(), QSizeF(800, 40));
    QCOMPARE(bar->opacity(), 1.0);
}

void tst_SweepingBar::sweepsAndPulses_data()
{
    QTest::addColumn<int>("time");
    QTest::addColumn<qreal>("y");
    QTest::addColumn<qreal>("opacity");

    // The first second animates from 100 to 100: the bar rests at the top.
    QTest::newRow("resting at first") << 500 << 100.0 << 1.0;
    QTest::newRow("fading at the top") << 1500 << 100.0 << 0.6;
    QTest::newRow("sinking faded") << 2500 << 240.0 << 0.2;
    QTest::newRow("brightening at the bottom") << 3500 << 380.0 << 0.6;
    QTest::newRow("rising bright") << 4250 << 310.0 << 1.0;
    QTest::newRow("second cycle fading") << 5750 << 100.0 << 0.4;
    QTest::newRow("second cycle sinking") << 6500 << 240.0 << 0.2;
    QTest::newRow("second cycle brightening") << 7250 << 380.0 << 0.4;
    QTest::newRow("third cycle rising") << 8750 << 170.0 << 1.0;
}

void tst_SweepingBar::sweepsAndPulses()
{
    QFETCH(int, time);
    QFETCH(qreal, y);
    QFETCH(qreal, opacity);

    ShowFixture show;
    show.clock().runUntil(time);
    QQuickItem *bar = show.bar();

    QVERIFY2(qAbs(bar->y() - y) <= maxStepPerFrame,
             qPrintable(QString("y %1 at %2 ms, expected %3").arg(bar->y()).arg(time).arg(y)));
    QVERIFY2(qAbs(bar->opacity() - opacity) <= maxFadePerFrame,
             qPrintable(QString("opacity %1 at %2 ms, expected %3").arg(bar->opacity()).arg(time).arg(opacity)));
}

void tst_SweepingBar::risesBrightAndSinksFaded()
{
    ShowFixture show;
    QQuickItem *bar = show.bar();
    int rises = 0;
    int sinks = 0;
    qreal lastY = bar->y();
    for (int time = ShowClock::frame; time <= 19000; time += ShowClock::frame) {
        show.clock().runUntil(time);
        const qreal y = bar->y();
        QVERIFY2(y >= 100 && y <= 380, qPrintable(QString("y %1 at %2 ms").arg(y).arg(time)));
        if (y < lastY) {
            ++rises;
            QVERIFY2(bar->opacity() >= 1.0 - maxFadePerFrame,
                     qPrintable(QString("rising at opacity %1 at %2 ms").arg(bar->opacity()).arg(time)));
        } else if (y > lastY) {
            ++sinks;
            QVERIFY2(bar->opacity() <= 0.2 + maxFadePerFrame,
                     qPrintable(QString("sinking at opacity %1 at %2 ms").arg(bar->opacity()).arg(time)));
        }
        lastY = y;
    }
    // Four rises and five descents in 19 s, about sixty frames each.
    QVERIFY2(rises > 200 && sinks > 250, qPrintable(QString("%1 rising and %2 sinking frames").arg(rises).arg(sinks)));
}

QTEST_MAIN(tst_SweepingBar)
#include "tst_sweepingbar.moc"
