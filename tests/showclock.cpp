// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "showclock.h"

#include <QCoreApplication>

ShowClock::ShowClock(QObject *parent)
    : FrameClock(frame, Ticks::FromCaller, parent)
{
    install();
}

ShowClock::~ShowClock()
{
    uninstall();
}

void ShowClock::runUntil(qint64 time, qint64 step)
{
    // Animations start from a queued call, and show time 0 is when the event
    // loop first runs: deliver events before each step, and after the last.
    while (m_now < time) {
        QCoreApplication::processEvents();
        m_now = qMin(m_now + step, time);
        tick();
    }
    QCoreApplication::processEvents();
}
