// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

// Leaks on purpose, from a slot that Qt's event loop calls as it calls the
// show's own code, so that LeakSanitizer must report it: a suppression broad
// enough to hide it (a whole Qt library, the event loop) would hide ours too.

#include <QGuiApplication>
#include <QTimer>

static void plantLeak()
{
    new QObject;
}

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QTimer::singleShot(0, &app, [] {
        plantLeak();
        QCoreApplication::quit();
    });
    return app.exec();
}
