// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef WESTONSCREEN_H
#define WESTONSCREEN_H

#include "testscreen.h"

#include <QProcess>
#include <QTemporaryDir>

// A Wayland desktop of its own: weston's headless backend drawing with pixman,
// its desktop shell, and screenshots through weston-screenshooter, which
// weston serves only with --debug.
class WestonScreen : public TestScreen
{
public:
    explicit WestonScreen(const QSize &size);
    ~WestonScreen() override;

    bool start() override;
    QProcessEnvironment environment() const override;
    QImage grab() const override;

private:
    QTemporaryDir m_runtimeDirectory;
    QString m_socket;
    QProcess m_compositor;
};

#endif // WESTONSCREEN_H
