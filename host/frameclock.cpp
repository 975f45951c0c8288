// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "frameclock.h"

#include <QTimerEvent>

#include <cmath>

FrameClock::FrameClock(qreal framesPerSecond, QObject *parent)
    : QAnimationDriver(parent)
    // A screen that knows no refresh rate may say 0.
    , m_frameInterval(1000 / (framesPerSecond > 0 ? framesPerSecond : 60))
{
}

void FrameClock::start()
{
    QAnimationDriver::start();
    m_sinceStart.start();
    m_frame = 0;
    scheduleNextFrame();
}

void FrameClock::stop()
{
    m_timer.stop();
    QAnimationDriver::stop();
}

void FrameClock::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_timer.timerId()) {
        QAnimationDriver::timerEvent(event);
        return;
    }
    advance();
    scheduleNextFrame();
}

void FrameClock::scheduleNextFrame()
{
    const qreal now = m_sinceStart.nsecsElapsed() / 1e6;
    // A frame that came late is not made up for: the next one keeps the grid.
    m_frame = qMax(m_frame + 1, qint64(std::floor(now / m_frameInterval)) + 1);
    const qreal due = m_frame * m_frameInterval;
    m_timer.start(int(std::ceil(due - now)), Qt::PreciseTimer, this);
}
