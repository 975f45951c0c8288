// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef SHOWCLOCK_H
#define SHOWCLOCK_H

#include "frameclock.h"

// A virtual animation clock: Qt Quick's timers and animations advance only
// when the test moves it, so a whole show plays in a fraction of a second.
// It is the program's frame clock with virtual time, and a virtual wall
// clock that a test may set, step and call synchronised or not.
class ShowClock : public FrameClock
{
public:
    // One frame at 60 Hz; larger steps merge timer ticks and lose some.
    static constexpr qint64 frame = 16;

    explicit ShowClock(QObject *parent = nullptr);
    ~ShowClock() override;

    // Real time since the test began, in ms.
    qint64 realTime() const { return m_now; }
    // Moves real time forward to `time`, in steps of `step` ms, delivering
    // posted events (the scene's timer triggers among them) before every one.
    void runUntil(qint64 time, qint64 step = frame);

    // The wall clock reads `time` (ms of UTC) now; it then runs with real time.
    void setWallClock(qint64 time) { m_wallOffset = time - m_now; }
    void stepWallClock(qint64 step) { m_wallOffset += step; }
    void setWallClockSynchronised(bool synchronised) { m_synchronised = synchronised; }
    qint64 wallClock() const override { return m_now + m_wallOffset; }

protected:
    qreal now() const override { return m_now; }
    bool wallClockSynchronised() const override { return m_synchronised; }

private:
    qint64 m_now = 0;
    qint64 m_wallOffset = 0;
    bool m_synchronised = true;
};

#endif // SHOWCLOCK_H
