// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "showfixture.h"
#include "sceneview.h"

#include <QFile>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

// Each timer in the chain that leads to a fade starts on the frame after the
// one before it fired, so a fade may begin a few frames late: 0.04 of a
// two-second fade is 80 ms.
constexpr qreal fadeTolerance = 0.04;
// From the start of the show to its quit action, as the host holds it.
constexpr qint64 showLength = MainWindow::showLength;
// A wall clock in step with the show's rounds, far from the epoch.
constexpr qint64 someRound = 1000 * showLength;

// The process's resident memory in kB, as the kernel counts it.
qint64 residentMemory()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression resident(QStringLiteral("VmRSS:\\s*(\\d+) kB"));
    return resident.match(QString::fromLatin1(status.readAll())).captured(1).toLongLong();
}

// What the timeline shows, which two shows at one show time agree on: all but
// the border's colours, which are random in every show.
struct TimelineState
{
    QString rootState;
    QString text;
    qreal title;
    qreal end;
    qreal barY;
    qreal barOpacity;
};

// How far two states are apart, or nothing. Within two frames: a timer's
// handler may run a frame later in one show than in the other.
QString difference(const TimelineState &a, const TimelineState &b)
{
    if (a.rootState != b.rootState || a.text != b.text)
        return QString("state %1, text %2 against %3, %4").arg(a.rootState, a.text, b.rootState, b.text);
    const qreal frames = 2.0 * ShowClock::frame / 1000;
    const struct { const char *name; qreal a; qreal b; qreal perSecond; } values[] = {
        {"title card opacity", a.title, b.title, 0.5},
        {"end card opacity", a.end, b.end, 0.5},
        {"bar y", a.barY, b.barY, 280},
        {"bar opacity", a.barOpacity, b.barOpacity, 0.8},
    };
    for (const auto &value : values) {
        if (qAbs(value.a - value.b) > value.perSecond * frames + 1e-6)
            return QString("%1 %2 against %3").arg(value.name).arg(value.a).arg(value.b);
    }
    return {};
}

// How far the round playing is from where the wall clock says, the nearer way
// round.
qint64 offWallClock(const ShowClock &clock)
{
    const qint64 off = ((clock.roundTime() - clock.wallClock()) % showLength + showLength) % showLength;
    return off >= showLength / 2 ? off - showLength : off;
}

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
    void loopingStartsTheShowAfresh();
    void roundsDoNotGrow();
    void settingsMoveTheTimeline_data();
    void settingsMoveTheTimeline();
    void stepsBeyondTheLinesFallBackToTheBaseText();
    void joiningMidRoundMatchesAnUndisturbedShow_data();
    void joiningMidRoundMatchesAnUndisturbedShow();
    void roundsKeepToTheirBoundaries();
    void clockChanges_data();
    void clockChanges();

private:
    TimelineState timelineState() const;

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
    QTest::addColumn<int>("round");
    QTest::addColumn<int>("time");
    QTest::addColumn<QString>("rootState");
    QTest::addColumn<bool>("demo");
    QTest::addColumn<bool>("gohome");
    QTest::addColumn<QString>("textState");
    QTest::addColumn<QString>("text");

    struct Row {
        const char *name;
        int time;
        const char *rootState;
        bool demo;
        bool gohome;
        const char *textState;
        const char *text;
    };
    // Sampled half-way between steps, so a frame's lag cannot move a row.
    const Row rows[] = {
        {"title", 500, "", false, false, "", "4 g33k"},
        {"message phase starts", 3500, "demo", true, false, "", "4 g33k"},
        {"step 1 names no state", 4500, "demo", true, false, "-1", "4 g33k"},
        {"step 2 keeps the base line", 5500, "demo", true, false, "0", "4 g33k"},
        {"step 3", 6500, "demo", true, false, "1", "w0rk5"},
        {"step 4", 7500, "demo", true, false, "2", "f0r"},
        {"step 5", 8500, "demo", true, false, "3", "p34nu75"},
        {"step 6", 9500, "demo", true, false, "4", "4nd"},
        {"step 7", 10500, "demo", true, false, "5", "c0d35"},
        {"step 8 repeats a line", 11500, "demo", true, false, "6", "f0r"},
        {"step 9", 12500, "demo", true, false, "7", "b4n4n45"},
        {"end card", 13500, "endstate", false, true, "7", "b4n4n45"},
        {"last line stays", 18500, "endstate", false, true, "7", "b4n4n45"},
    };
    // A looping show's second round keeps the first one's timeline.
    for (int round : {1, 2}) {
        for (const Row &row : rows) {
            QTest::addRow("round %d, %s", round, row.name)
                    << round << row.time << row.rootState << row.demo << row.gohome << row.textState << row.text;
        }
    }
}

void tst_ShowTimeline::timeline()
{
    QFETCH(int, round);
    QFETCH(int, time);
    QFETCH(QString, rootState);
    QFETCH(bool, demo);
    QFETCH(bool, gohome);
    QFETCH(QString, textState);
    QFETCH(QString, text);

    m_show->window().setLooping(round > 1);
    m_show->clock().runUntil((round - 1) * showLength + time);

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

    m_show->clock().runUntil(showLength - 100);
    QVERIFY2(m_show->window().isVisible(), "the window closed before 19 s");
    QCOMPARE(triggered.count(), 0);

    m_show->clock().runUntil(showLength + 100);
    QCOMPARE(triggered.count(), 1);
    QVERIFY2(!m_show->window().isVisible(), "the window is still open after 19 s");
}

void tst_ShowTimeline::loopingStartsTheShowAfresh()
{
    auto *quitAction = qvariant_cast<QObject *>(
            m_show->view()->rootContext()->contextProperty("action"));
    QSignalSpy triggered(quitAction, SIGNAL(triggered(bool)));
    m_show->window().setLooping(true);
    const QQuickItem *firstRound = root();
    const QColor firstSquare = root()->childItems().at(2)->childItems().at(0)->property("color").value<QColor>();

    m_show->clock().runUntil(showLength + 100);
    QCOMPARE(triggered.count(), 1);
    QVERIFY2(m_show->window().isVisible(), "the looping show closed its window");
    QVERIFY2(root() != firstRound, "the scene of the first round plays on");
    // Everything as at the start of a show: the title card up, the end card
    // away, the bar at the top, the border with colours of its own.
    QCOMPARE(root()->state(), QString());
    QCOMPARE(sceneObject("init")->property("opacity").toReal(), 1.0);
    QCOMPARE(sceneObject("theend")->property("opacity").toReal(), 0.0);
    QCOMPARE(m_show->bar()->y(), 100.0);
    QCOMPARE(m_show->bar()->opacity(), 1.0);
    QVERIFY2(root()->childItems().at(2)->childItems().at(0)->property("color").value<QColor>() != firstSquare,
             "the border kept the first round's colours");
}

void tst_ShowTimeline::roundsDoNotGrow()
{
    auto *quitAction = qvariant_cast<QObject *>(
            m_show->view()->rootContext()->contextProperty("action"));
    QSignalSpy triggered(quitAction, SIGNAL(triggered(bool)));
    m_show->window().setLooping(true);
    QQuickItem *content = root()->window()->contentItem();
    const auto objects = [content] { return content->findChildren<QObject *>().size(); };
    ShowClock &clock = m_show->clock();

    // Measured from round 10 on: in the rounds before it the engine and the
    // allocator settle, by 1.2 MB (Qt 6.4) to 2 MB (Qt 6.8), and then hold.
    const int firstMeasuredRound = 10;
    qsizetype objectsThen = 0;
    qint64 memoryThen = 0;
    qint64 roundStart = 0;
    for (int round = 1; round < 50; ++round) {
        const qint64 bound = roundStart + showLength + 1000;
        while (triggered.count() < round && clock.realTime() < bound)
            clock.runUntil(clock.realTime() + ShowClock::frame);
        QVERIFY2(triggered.count() == round, qPrintable(QString("round %1 did not end").arg(round)));
        const qint64 length = clock.realTime() - roundStart;
        QVERIFY2(qAbs(length - showLength) <= 100,
                 qPrintable(QString("round %1 lasted %2 ms").arg(round).arg(length)));
        roundStart = clock.realTime();
        // Compared half a second into rounds 10 and 50.
        clock.runUntil(roundStart + 500);
        if (round + 1 == firstMeasuredRound) {
            objectsThen = objects();
            memoryThen = residentMemory();
        }
    }
    QCOMPARE(objects(), objectsThen);
    QCOMPARE(content->childItems().size(), 1);
    QVERIFY2(m_show->window().isVisible(), "the looping show closed its window");
#if !defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer holds on to freed memory for a while, on purpose.
    const qint64 growth = residentMemory() - memoryThen;
    QVERIFY2(growth < 2048, qPrintable(QString("the show grew by %1 kB from round %2 to round 50")
                                              .arg(growth).arg(firstMeasuredRound)));
#else
    Q_UNUSED(memoryThen);
#endif
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

TimelineState tst_ShowTimeline::timelineState() const
{
    return {root()->state(), sceneObject("txtmessage")->property("text").toString(),
            sceneObject("init")->property("opacity").toReal(),
            sceneObject("theend")->property("opacity").toReal(),
            m_show->bar()->y(), m_show->bar()->opacity()};
}

void tst_ShowTimeline::joiningMidRoundMatchesAnUndisturbedShow_data()
{
    QTest::addColumn<int>("time");
    QTest::addColumn<int>("late");

    // Title, its fade, the message steps, the end card's fade and after it.
    for (int time : {0, 1500, 3500, 4500, 6500, 9500, 12500, 13500, 14500, 18500})
        QTest::addRow("%d ms into the round", time) << time << 0;
    // A slow start-up: the timers' triggers in between must not be lost,
    // even those that end the round.
    QTest::newRow("5500 ms, the first frame 2 s late") << 5500 << 2000;
    QTest::newRow("18000 ms, the first frame 1.5 s late") << 18000 << 1500;
}

void tst_ShowTimeline::joiningMidRoundMatchesAnUndisturbedShow()
{
    QFETCH(int, time);
    QFETCH(int, late);

    m_show->clock().runUntil((time + late) % showLength);
    const TimelineState undisturbed = timelineState();

    // A show started when the wall clock was `time` into a round.
    m_show.reset();
    m_show = std::make_unique<ShowFixture>();
    m_show->followWallClock(someRound + time);
    if (late > 0)
        m_show->clock().runUntil(late, late);
    QString fault = difference(timelineState(), undisturbed);
    QVERIFY2(fault.isEmpty(), qPrintable("its first frame: " + fault));

    m_show->clock().runUntil(late + 500);
    QVERIFY2(qAbs(offWallClock(m_show->clock())) <= ShowClock::frame,
             qPrintable(QString("%1 ms off the wall clock").arg(offWallClock(m_show->clock()))));
}

void tst_ShowTimeline::roundsKeepToTheirBoundaries()
{
    ShowClock &clock = m_show->clock();
    m_show->followWallClock(0);
    // The title card's fade shows the round's time to a fraction of a frame.
    const qint64 sampled = 3200;
    qreal firstRound = 0;
#if defined(__SANITIZE_ADDRESS__)
    // A sanitized round costs several times as much: fewer, past the point
    // where the rounds' lateness would show.
    const int rounds = 100;
#else
    const int rounds = 1000;
#endif
    for (int round = 0; round < rounds; ++round) {
        const qint64 start = round * showLength;
        // Larger steps than a frame cost less; below half a second they are
        // not made up frame by frame. Only the timers that end the round then
        // come late, and the round after it joins on time.
        clock.runUntil(start + 2950, 450);
        clock.runUntil(start + sampled);
        const qreal title = sceneObject("init")->property("opacity").toReal();
        if (round == 0) {
            firstRound = title;
            QVERIFY2(qAbs(title - 0.9) < fadeTolerance, qPrintable(QString("title card opacity %1").arg(title)));
        }
        // One frame at 60 Hz moves the fade by 1/120.
        QVERIFY2(qAbs(title - firstRound) <= 0.5 / 60 + 1e-6,
                 qPrintable(QString("round %1 is %2 ms off round 1")
                                    .arg(round + 1).arg((firstRound - title) * 2000)));
        clock.runUntil(start + showLength + 500, 450);
    }
    QCOMPARE(root()->window()->contentItem()->childItems().size(), 1);
}

void tst_ShowTimeline::clockChanges_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<qint64>("step");
    QTest::addColumn<int>("steps");
    QTest::addColumn<bool>("synchronisedBefore");
    QTest::addColumn<bool>("taken");

    const qint64 hour = 3600 * 1000;
    QTest::newRow("5 ms on, slewed") << 4500 << qint64(5) << 1 << true << false;
    QTest::newRow("100 ms on, slewed") << 4500 << qint64(100) << 1 << true << false;
    QTest::newRow("40 ms back, slewed") << 4500 << qint64(-40) << 1 << true << false;
    QTest::newRow("100 ms back, slewed") << 4500 << qint64(-100) << 1 << true << false;
    QTest::newRow("30 ms on every second") << 4500 << qint64(30) << 5 << true << false;
    QTest::newRow("150 ms on, taken") << 4500 << qint64(150) << 1 << true << true;
    QTest::newRow("150 ms back, taken") << 4500 << qint64(-150) << 1 << true << true;
    QTest::newRow("5 s on") << 4500 << qint64(5000) << 1 << true << true;
    QTest::newRow("5 s on, into the next round") << 15500 << qint64(5000) << 1 << true << true;
    QTest::newRow("an hour back") << 4500 << -hour << 1 << true << true;
    QTest::newRow("three years on") << 4500 << 3 * 8766 * hour << 1 << true << true;
    QTest::newRow("500 ms on every second") << 4500 << qint64(500) << 5 << true << true;
    QTest::newRow("2 s back every second") << 4500 << qint64(-2000) << 5 << true << true;
    QTest::newRow("synchronised at last, years on") << 4500 << 2 * 8766 * hour << 1 << false << true;
}

void tst_ShowTimeline::clockChanges()
{
    QFETCH(int, from);
    QFETCH(qint64, step);
    QFETCH(int, steps);
    QFETCH(bool, synchronisedBefore);
    QFETCH(bool, taken);

    ShowClock &clock = m_show->clock();
    clock.setWallClockSynchronised(synchronisedBefore);
    // A board without a clock of its own starts in 1970.
    m_show->followWallClock(synchronisedBefore ? someRound + from - 1000 : from);
    QSignalSpy freshRounds(&clock, &FrameClock::roundLost);
    clock.runUntil(1000);
    if (!synchronisedBefore)
        QCOMPARE(clock.roundTime(), qint64(1000));

    for (int i = 0; i < steps; ++i) {
        clock.stepWallClock(step);
        clock.setWallClockSynchronised(true);
        const qint64 second = clock.realTime() + 1000;
        while (clock.realTime() < second) {
            const qint64 before = clock.roundTime();
            clock.runUntil(clock.realTime() + ShowClock::frame);
            const qint64 moved = clock.roundTime() - before;
            // Slewing, not jumping: at most 5% faster or slower.
            QVERIFY2(taken || (moved >= ShowClock::frame * 0.95 - 1 && moved <= ShowClock::frame * 1.05 + 1),
                     qPrintable(QString("show time moved %1 ms in a frame").arg(moved)));
            if (taken && synchronisedBefore && clock.realTime() == second - 1000 + ShowClock::frame) {
                QVERIFY2(qAbs(offWallClock(clock)) <= ShowClock::frame,
                         qPrintable(QString("%1 ms off the wall clock just after the step").arg(offWallClock(clock))));
            }
        }
    }
    clock.runUntil(clock.realTime() + 1000);
    QCOMPARE(freshRounds.count(), taken ? steps : 0);
    QVERIFY2(qAbs(offWallClock(clock)) <= ShowClock::frame,
             qPrintable(QString("%1 ms off the wall clock 2 s after the last step").arg(offWallClock(clock))));
    QVERIFY2(m_show->window().isVisible(), "the show stopped");
}

QTEST_MAIN(tst_ShowTimeline)
#include "tst_showtimeline.moc"
