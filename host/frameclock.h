// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef FRAMECLOCK_H
#define FRAMECLOCK_H

#include <QAnimationDriver>
#include <QBasicTimer>
#include <QElapsedTimer>

// Advances Qt Quick's animations, and with them its frames, at the screen's
// refresh rate. Qt's own clock ticks every 16 ms, 62.5 times a second, which
// renders frames a 60 Hz screen never shows. The ticks keep to a fixed grid,
// so rounding each wait to whole milliseconds does not make the show drift.
//
// Following the wall clock, it keeps screens on separate machines in step
// with no messages between them: each round begins when UTC reaches a
// multiple of the round's length since the epoch. A small difference is
// absorbed by running up to 5% faster or slower; a larger one (the clock set,
// or first synchronised) asks for a round afresh at the show time the clock
// says. While the system says its clock is not synchronised, rounds keep
// their own time.
class FrameClock : public QAnimationDriver
{
    Q_OBJECT

public:
    explicit FrameClock(qreal framesPerSecond, QObject *parent = nullptr);

    qint64 elapsed() const override;

    // Rounds of `roundLength` ms, aligned to the wall clock from now on.
    void followWallClock(qint64 roundLength);
    // How far the round playing is, in ms of show time.
    qint64 roundTime() const;

public slots:
    // A new round's scene has just been made, at its show time 0: following
    // the wall clock, it is stepped on to where the clock says, before its
    // first frame.
    void beginRound();

signals:
    // The show is too far from the wall clock to slew back: a round should be
    // made afresh (and beginRound() called).
    void roundLost();

protected:
    enum class Ticks { OnTimer, FromCaller };
    // A clock that whoever derives from it ticks with tick(), such as a
    // virtual one; its frames last `frameInterval` ms.
    FrameClock(qreal frameInterval, Ticks ticks, QObject *parent);

    void start() override;
    void stop() override;
    void timerEvent(QTimerEvent *event) override;

    // Moves show time on by the real time since the last tick, corrected
    // towards the wall clock, and advances the animations.
    void tick();

    // Real time in ms, steady, from any fixed moment.
    virtual qreal now() const;
    // UTC in ms since the epoch, as the system keeps it.
    virtual qint64 wallClock() const;
    // Whether the system says its clock is kept in step with a time source.
    virtual bool wallClockSynchronised() const;

private:
    void scheduleNextFrame();
    // Where the wall clock says the round is, from -roundLength / 2 on.
    qint64 wallRoundTime() const;
    bool followingWallClock();
    // Steps the round playing on to where the wall clock says.
    void alignRound();
    // Moves show time on to `showTime` frame by frame, delivering the posted
    // events of each, without drawing.
    void stepForward(qreal showTime);

    const qreal m_frameInterval;
    const Ticks m_ticks;
    QBasicTimer m_timer;
    QElapsedTimer m_steady;
    qint64 m_frame = 0;
    qreal m_startedAt = 0;

    // Show time runs on through stops and starts; Qt's animations see it
    // from the driver's last start.
    qreal m_showTime = 0;
    qreal m_lastTick = 0;
    qreal m_roundStart = 0;
    quint64 m_rounds = 0;
    bool m_stepping = false;
    qint64 m_roundLength = 0;
    bool m_synchronised = false;
    qreal m_synchronisedAsked = 0;
};

#endif // FRAMECLOCK_H
