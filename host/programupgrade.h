// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef PROGRAMUPGRADE_H
#define PROGRAMUPGRADE_H

#include <QByteArrayList>
#include <QObject>

#include <sys/types.h>

// Lets a looping show that was upgraded on disk become the new program
// between two rounds: asked at a round's end, it runs the file now at the
// program's path in this same process, with the same arguments, if that file
// is no longer the one this process started from. The process keeps its id,
// so whatever started it (a compositor, a service manager) sees no exit. A
// new program that does not run leaves this one playing, saying why once.
class ProgramUpgrade : public QObject
{
    Q_OBJECT

public:
    // arguments: the command line as main() received it, before Qt took out
    // the options it handles.
    explicit ProgramUpgrade(const QByteArrayList &arguments, QObject *parent = nullptr);

public slots:
    void switchIfReplaced();

private:
    QString runFault() const;

    QByteArray m_path;
    QByteArrayList m_arguments;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    ino_t m_refused = 0;
};

#endif // PROGRAMUPGRADE_H
