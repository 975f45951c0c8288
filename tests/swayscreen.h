// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef SWAYSCREEN_H
#define SWAYSCREEN_H

#include "testscreen.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QVersionNumber>

// A Wayland desktop whose outputs come and go: sway's headless backend
// drawing with pixman, outputs made and unplugged through swaymsg, and
// screenshots through grim. Sway refuses to run as root; as root the test
// runs it as nobody.
class SwayScreen : public TestScreen
{
public:
    // An empty size starts it with no output at all.
    explicit SwayScreen(const QSize &size);
    ~SwayScreen() override;

    bool start() override;
    QProcessEnvironment environment() const override;
    QImage grab() const override;
    QString windowFault(qint64 processId) const override;
    // Where it has no output yet, only plugs one in.
    QString replug(const QSize &size) override;

    // Unplugging an output takes sway 1.10.
    QVersionNumber version() const { return m_version; }

private:
    QByteArray swaymsg(const QStringList &arguments, QString *fault = nullptr) const;
    // Makes an output of size; why that failed, or nothing.
    QString addOutput(const QSize &size);

    QTemporaryDir m_runtimeDirectory;
    QProcess m_compositor;
    QVersionNumber m_version;
    QString m_output;
};

#endif // SWAYSCREEN_H
