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
class FrameClock : public QAnimationDriver
{
public:
    explicit FrameClock(qreal framesPerSecond, QObject *parent = nullptr);

protected:
    void start() override;
    void stop() override;
    void timerEvent(QTimerEvent *event) override;

private:
    void scheduleNextFrame();

    const qreal m_frameInterval;
    QBasicTimer m_timer;
    QElapsedTimer m_sinceStart;
    qint64 m_frame = 0;
};

#endif // FRAMECLOCK_H
