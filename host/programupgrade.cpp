// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "programupgrade.h"

#include <QFile>
#include <QProcess>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The file this process runs, even once its path names another.
const char runningProgram[] = "/proc/self/exe";
// The kernel's name for a running program whose file was replaced or removed.
const QByteArray deletedSuffix = " (deleted)";
// A new program answers --version at once, unless it cannot start at all.
const int answerBound = 5000;

} // namespace

ProgramUpgrade::ProgramUpgrade(const QByteArrayList &arguments, QObject *parent)
    : QObject(parent)
    , m_arguments(arguments)
{
    m_path = QFile::encodeName(QFile::symLinkTarget(runningProgram));
    if (m_path.endsWith(deletedSuffix))
        m_path.chop(deletedSuffix.size());
    struct stat running = {};
    if (::stat(runningProgram, &running) == 0) {
        m_device = running.st_dev;
        m_inode = running.st_ino;
    }
}

void ProgramUpgrade::switchIfReplaced()
{
    struct stat onDisk = {};
    if (m_path.isEmpty() || m_inode == 0 || ::stat(m_path.constData(), &onDisk) != 0
            || (onDisk.st_dev == m_device && onDisk.st_ino == m_inode)) {
        return;
    }
    // Once exec'd, a program that cannot start ends the show for good; a
    // half-finished upgrade may yet complete, so it is tried again next round.
    const QString fault = runFault();
    if (!fault.isEmpty()) {
        if (m_refused != onDisk.st_ino) {
            qWarning("vexshow: %s was replaced, but the new program does not run (%s); this one plays on",
                     m_path.constData(), qPrintable(fault));
            m_refused = onDisk.st_ino;
        }
        return;
    }
    qInfo("vexshow: %s was replaced; the new program plays the next round", m_path.constData());
    std::vector<char *> argv;
    for (QByteArray &argument : m_arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    ::execv(m_path.constData(), argv.data());
    qWarning("vexshow: cannot run the new %s (%s); this one plays on", m_path.constData(), std::strerror(errno));
    m_refused = onDisk.st_ino;
}

QString ProgramUpgrade::runFault() const
{
    QProcess program;
    program.start(QFile::decodeName(m_path), {"--version"});
    if (!program.waitForFinished(answerBound)) {
        program.kill();
        program.waitForFinished();
        return program.error() == QProcess::FailedToStart ? program.errorString() : "no answer to --version";
    }
    const QString said = QString::fromLocal8Bit(program.readAllStandardError()).trimmed();
    if (program.exitStatus() != QProcess::NormalExit)
        return said.isEmpty() ? "it crashed" : said;
    if (program.exitCode() != 0)
        return said.isEmpty() ? QString("--version exited with %1").arg(program.exitCode()) : said;
    return {};
}
