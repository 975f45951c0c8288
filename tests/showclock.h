// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef SHOWCLOCK_H
#define SHOWCLOCK_H

#include <QAnimationDriver>

// A virtual animation clock: Qt Quick's timers and animations advance only
// when the test moves it, so a whole show plays in a fraction of a second.
class ShowClock : public QAnimationDriver
{
public:
    // One frame at 60 Hz; larger steps merge timer ticks and lose some.
    static constexpr qint64 frame = 16;

    explicit ShowClock(QObject *parent = nullptr);
    ~ShowClock() override;

    qint64 elapsed() const override;

    // Moves show time forward to `time`, frame by frame, delivering posted
    // events (the scene's timer triggers among them) before every frame.
    void runUntil(qint64 time);

private:
    qint64 m_now = 0;
};

#endif // SHOWCLOCK_H
