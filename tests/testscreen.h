// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef TESTSCREEN_H
#define TESTSCREEN_H

#include <QImage>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>

// A screen the built program plays on, with the servers behind it started by
// the test and ended with it.
class TestScreen
{
public:
    explicit TestScreen(const QSize &size) : m_size(size) {}
    virtual ~TestScreen() = default;

    // False, with errorString() saying why, unless the screen answers in time.
    virtual bool start() = 0;
    QString errorString() const { return m_error; }
    // What the show's window covers, at its top left; a screen that changes
    // while the show plays says its new size here.
    QSize size() const { return m_size; }
    // The system environment aimed at this screen only.
    virtual QProcessEnvironment environment() const = 0;
    // The whole screen as shown now, or a null image if it cannot be had yet.
    virtual QImage grab() const = 0;
    // Why the process's window is not full screen as far as the display
    // server tells, or nothing. Where it tells nothing, the grab must show it.
    virtual QString windowFault(qint64 processId) const
    {
        Q_UNUSED(processId);
        return {};
    }
    // Why the pointer shows as it moves over a full-screen window, or
    // nothing; nothing, too, where the screen has no pointer to move.
    virtual QString pointerFault() { return {}; }
    // Plugs in an output at size and unplugs the one the window is on, after
    // which size() is the new one, which the window should cover; why that
    // failed, or nothing.
    virtual QString replug(const QSize &size)
    {
        Q_UNUSED(size);
        return "this screen has no outputs to unplug";
    }

protected:
    // For a Wayland compositor's environment: under the sanitizers,
    // LeakSanitizer's fast unwinder stops at libwayland's first frame, where a
    // Wayland object of the show's looks like one of Qt's; whole stacks reach
    // the code that made it (tests/lsan.supp). Ten frames (a context of 12)
    // reach it and Qt's own; whole stacks would cost far more CPU.
    static void unwindWaylandStacks(QProcessEnvironment &environment)
    {
#if defined(__SANITIZE_ADDRESS__)
        environment.insert("ASAN_OPTIONS",
                           environment.value("ASAN_OPTIONS") + ":fast_unwind_on_malloc=0:malloc_context_size=12");
#else
        Q_UNUSED(environment);
#endif
    }

    QSize m_size;
    QString m_error;
};

#endif // TESTSCREEN_H
