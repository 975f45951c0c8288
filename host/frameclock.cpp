// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "frameclock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLoggingCategory>
#include <QTimerEvent>

#include <chrono>
#include <cmath>
#include <limits>

#if defined(Q_OS_LINUX)
#include <sys/timex.h>
#endif

namespace {

// A line a frame: cheap while off, as it is unless asked for.
Q_LOGGING_CATEGORY(lcFrames, "vexshow.frames", QtWarningMsg)

// A difference up to this is slewed away, larger ones are taken at once.
constexpr qreal largestSlew = 100;
// How much faster or slower show time may run while slewing: 100 ms in 2 s.
constexpr qreal slewRate = 0.05;
// How often to ask the system whether its clock is synchronised, in ms.
constexpr qreal synchronisedCheck = 1000;
// A step of show time this long or longer would merge a timer's triggers and
// lose some.
constexpr qreal longestStep = 500;

} // namespace

FrameClock::FrameClock(qreal framesPerSecond, QObject *parent)
    // A screen that knows no refresh rate may say 0.
    : FrameClock(1000 / (framesPerSecond > 0 ? framesPerSecond : 60), Ticks::OnTimer, parent)
{
}

FrameClock::FrameClock(qreal frameInterval, Ticks ticks, QObject *parent)
    : QAnimationDriver(parent)
    , m_frameInterval(frameInterval)
    , m_ticks(ticks)
    , m_synchronisedAsked(std::numeric_limits<qreal>::lowest())
{
}

qint64 FrameClock::elapsed() const
{
    return qint64(std::floor(m_showTime - m_startedAt));
}

void FrameClock::followWallClock(qint64 roundLength)
{
    m_roundLength = roundLength;
}

qint64 FrameClock::roundTime() const
{
    return qint64(std::floor(m_showTime - m_roundStart));
}

void FrameClock::beginRound()
{
    ++m_rounds;
    m_roundStart = m_showTime;
    // One that begins while stepping forward is aligned once there.
    if (!m_stepping)
        alignRound();
}

void FrameClock::start()
{
    QAnimationDriver::start();
    m_startedAt = m_showTime;
    m_lastTick = now();
    if (m_ticks == Ticks::OnTimer) {
        m_frame = 0;
        m_steady.start();
        scheduleNextFrame();
    }
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
    tick();
    scheduleNextFrame();
}

void FrameClock::tick()
{
    const qreal time = now();
    qreal step = time - m_lastTick;
    m_lastTick = time;
    const bool following = followingWallClock();
    qreal off = 0;
    if (following) {
        const qreal ahead = m_showTime + step - m_roundStart - wallRoundTime();
        // Rounds repeat, so the nearer of the two ways round is the difference.
        const qreal half = m_roundLength / 2.0;
        off = ahead >= half ? ahead - m_roundLength : ahead < -half ? ahead + m_roundLength : ahead;
        if (qAbs(off) > largestSlew) {
            qCDebug(lcFrames, "%+.1f ms off the wall clock: a round afresh", off);
            const quint64 lost = m_rounds;
            emit roundLost();
            // A new round has been stepped to where the clock says.
            if (m_rounds != lost)
                return;
        } else {
            step -= qBound(-slewRate * step, off, slewRate * step);
        }
    }
    // Following the wall clock, a late frame (at start-up, on a stalled
    // machine) is made up frame by frame.
    if (following && step >= longestStep) {
        stepForward(m_showTime + step);
    } else {
        m_showTime += step;
        advance();
    }
    if (following)
        qCDebug(lcFrames, "round time %lld ms at %.1f ms, %+.1f ms off the wall clock", roundTime(), time, off);
    else
        qCDebug(lcFrames, "round time %lld ms at %.1f ms", roundTime(), time);
}

qreal FrameClock::now() const
{
    // Steady time since boot on Linux, shared by every process on the machine.
    using namespace std::chrono;
    return duration<qreal, std::milli>(steady_clock::now().time_since_epoch()).count();
}

qint64 FrameClock::wallClock() const
{
    return QDateTime::currentMSecsSinceEpoch();
}

bool FrameClock::wallClockSynchronised() const
{
    // For a clock kept by means the kernel does not hear of.
    static const bool trusted = qEnvironmentVariableIntValue("VEXSHOW_TRUST_CLOCK") == 1;
    if (trusted)
        return true;
#if defined(Q_OS_LINUX)
    // Asks, changes nothing: no privilege needed. Where a sandbox denies even
    // asking, the clock is taken as it is, and a step when it is set is taken
    // as any other.
    timex state = {};
    return adjtimex(&state) != TIME_ERROR;
#else
    // Windows keeps its clock with its own time service, and says nothing.
    return true;
#endif
}

void FrameClock::scheduleNextFrame()
{
    const qreal elapsed = m_steady.nsecsElapsed() / 1e6;
    // A frame that came late is not made up for: the next one keeps the grid.
    m_frame = qMax(m_frame + 1, qint64(std::floor(elapsed / m_frameInterval)) + 1);
    const qreal due = m_frame * m_frameInterval;
    m_timer.start(int(std::ceil(due - elapsed)), Qt::PreciseTimer, this);
}

qint64 FrameClock::wallRoundTime() const
{
    const qint64 phase = (wallClock() % m_roundLength + m_roundLength) % m_roundLength;
    return phase >= m_roundLength / 2 ? phase - m_roundLength : phase;
}

bool FrameClock::followingWallClock()
{
    if (m_roundLength <= 0)
        return false;
    const qreal time = now();
    if (time - m_synchronisedAsked >= synchronisedCheck) {
        m_synchronised = wallClockSynchronised();
        m_synchronisedAsked = time;
    }
    return m_synchronised;
}

void FrameClock::alignRound()
{
    if (!followingWallClock())
        return;
    // The time since the last frame went to the round before; this one takes
    // it from the wall clock.
    if (isRunning())
        m_lastTick = now();
    const qint64 ahead = wallRoundTime();
    // A round that began a moment early is slewed into step instead.
    const qreal due = m_roundStart + (ahead > -largestSlew ? qMax<qint64>(ahead, 0) : ahead + m_roundLength);
    if (due > m_showTime) {
        const qreal from = now();
        stepForward(due);
        qCDebug(lcFrames, "round stepped on to %lld ms in %.1f ms", roundTime(), now() - from);
    }
}

void FrameClock::stepForward(qreal showTime)
{
    // A timer's trigger, the handler it runs and the animations that handler
    // starts each wait for a posted event; between two frames the event loop
    // delivers such a chain whole. Rendering waits on timers, so nothing of
    // the way there reaches the screen.
    const auto deliverPosted = [] {
        for (int link = 0; link < 4; ++link)
            QCoreApplication::sendPostedEvents();
    };
    const quint64 round = m_rounds;
    m_stepping = true;
    deliverPosted();
    // A scene's animations start the clock from a posted call; without them
    // there is nothing to step.
    while (isRunning() && m_showTime < showTime) {
        m_showTime = qMin(m_showTime + m_frameInterval, showTime);
        advance();
        deliverPosted();
    }
    m_stepping = false;
    if (m_rounds != round)
        alignRound();
}
