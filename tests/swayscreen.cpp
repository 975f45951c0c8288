// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "swayscreen.h"
#include "virtualdisplay.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

namespace {

// The node of the tree sway shows whose process is pid, or an empty one.
QJsonObject nodeOf(const QJsonObject &node, qint64 pid)
{
    if (node.value("pid").toInteger() == pid)
        return node;
    for (const char *children : {"nodes", "floating_nodes"}) {
        const QJsonArray nodes = node.value(children).toArray();
        for (const QJsonValue &child : nodes) {
            const QJsonObject found = nodeOf(child.toObject(), pid);
            if (!found.isEmpty())
                return found;
        }
    }
    return {};
}

} // namespace

SwayScreen::SwayScreen(const QSize &size)
    : TestScreen(size)
{
}

SwayScreen::~SwayScreen()
{
    stopProcess(m_compositor);
}

bool SwayScreen::start()
{
    for (const char *tool : {"sway", "swaymsg", "grim"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            m_error = QString(tool) + " not found; scripts/install-deps.sh installs it";
            return false;
        }
    }
    QProcess version;
    version.start("sway", {"--version"});
    version.waitForFinished(10000);
    static const QRegularExpression number(QStringLiteral("(\\d+\\.\\d+(\\.\\d+)?)"));
    m_version = QVersionNumber::fromString(number.match(QString::fromLatin1(version.readAll())).captured(1));

    const QString config = m_runtimeDirectory.filePath("config");
    QFile configFile(config);
    if (!m_runtimeDirectory.isValid() || !configFile.open(QIODevice::WriteOnly)
            || configFile.write("output * bg #000000 solid_color\n") < 0) {
        m_error = "no sway configuration written: " + m_runtimeDirectory.errorString() + configFile.errorString();
        return false;
    }
    configFile.close();

    QProcessEnvironment environment;
    environment.insert("PATH", qEnvironmentVariable("PATH"));
    environment.insert("XDG_RUNTIME_DIR", m_runtimeDirectory.path());
    environment.insert("WLR_BACKENDS", "headless");
    environment.insert("WLR_RENDERER", "pixman");
    environment.insert("WLR_LIBINPUT_NO_DEVICES", "1");
    environment.insert("WLR_HEADLESS_OUTPUTS", "0");
    QStringList command{"sway", "--config", config};
    if (::geteuid() == 0) {
        const passwd *nobody = ::getpwnam("nobody");
        if (!nobody || ::chown(qPrintable(m_runtimeDirectory.path()), nobody->pw_uid, nobody->pw_gid) != 0) {
            m_error = "sway refuses root, and nobody cannot have its runtime folder";
            return false;
        }
        command = QStringList{"runuser", "-u", "nobody", "--"} + command;
    }
    endWithTest(m_compositor);
    m_compositor.setProcessEnvironment(environment);
    m_compositor.setProcessChannelMode(QProcess::MergedChannels);
    m_compositor.start(command.takeFirst(), command);
    if (!m_compositor.waitForStarted(5000)) {
        m_error = m_compositor.errorString();
        return false;
    }
    if (!QTest::qWaitFor([this] {
                return !swaymsg({"-t", "get_version"}).isEmpty() || m_compositor.state() == QProcess::NotRunning;
            }, 15000) || m_compositor.state() != QProcess::Running) {
        m_error = "sway did not start:\n" + QString::fromLocal8Bit(m_compositor.readAll());
        return false;
    }
    if (m_size.isEmpty())
        return true;
    m_error = addOutput(m_size);
    return m_error.isEmpty();
}

QProcessEnvironment SwayScreen::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", m_runtimeDirectory.path());
    environment.insert("WAYLAND_DISPLAY", "wayland-1");
    environment.insert("QT_QPA_PLATFORM", "wayland");
    environment.remove("DISPLAY");
    const QStringList sockets = QDir(m_runtimeDirectory.path()).entryList({"sway-ipc.*.sock"}, QDir::System);
    if (!sockets.isEmpty())
        environment.insert("SWAYSOCK", m_runtimeDirectory.filePath(sockets.first()));
    unwindWaylandStacks(environment);
    return environment;
}

QImage SwayScreen::grab() const
{
    QProcess grim;
    grim.setProcessEnvironment(environment());
    grim.setStandardErrorFile(QProcess::nullDevice());
    grim.start("grim", {"-"});
    if (!grim.waitForFinished(10000)) {
        stopProcess(grim);
        return {};
    }
    return QImage::fromData(grim.readAllStandardOutput(), "PNG").convertToFormat(QImage::Format_RGB32);
}

QString SwayScreen::windowFault(qint64 processId) const
{
    const QJsonObject window = nodeOf(QJsonDocument::fromJson(swaymsg({"-t", "get_tree"})).object(), processId);
    if (window.isEmpty())
        return "the show has no window";
    const QJsonObject rect = window.value("rect").toObject();
    const QRect geometry(rect.value("x").toInt(), rect.value("y").toInt(), rect.value("width").toInt(),
                         rect.value("height").toInt());
    if (window.value("fullscreen_mode").toInt() != 1 || geometry != QRect(QPoint(0, 0), m_size))
        return "the window is not full screen: it covers " + describe(geometry);
    return {};
}

QString SwayScreen::replug(const QSize &size)
{
    QString fault;
    if (!m_output.isEmpty()) {
        if (m_version < QVersionNumber(1, 10))
            return "sway " + m_version.toString() + " cannot unplug an output; 1.10 can";
        swaymsg({"output", m_output, "unplug"}, &fault);
    }
    return fault.isEmpty() ? addOutput(size) : fault;
}

QByteArray SwayScreen::swaymsg(const QStringList &arguments, QString *fault) const
{
    QProcess tool;
    tool.setProcessEnvironment(environment());
    tool.start("swaymsg", arguments);
    if (!tool.waitForFinished(10000) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        if (fault) {
            *fault = QString("swaymsg %1 failed: %2").arg(arguments.join(' '),
                                                          QString::fromLocal8Bit(tool.readAll()));
        }
        stopProcess(tool);
        return {};
    }
    return tool.readAllStandardOutput();
}

QString SwayScreen::addOutput(const QSize &size)
{
    const auto names = [this] {
        QStringList found;
        const QJsonArray outputs = QJsonDocument::fromJson(swaymsg({"-t", "get_outputs"})).array();
        for (const QJsonValue &output : outputs)
            found << output.toObject().value("name").toString();
        return found;
    };
    const QStringList before = names();
    QString fault;
    swaymsg({"create_output"}, &fault);
    if (!fault.isEmpty())
        return fault;
    QStringList added = names();
    for (const QString &name : before)
        added.removeAll(name);
    if (added.isEmpty())
        return "sway made no output";
    m_output = added.first();
    swaymsg({"output", m_output, "mode", QString("%1x%2").arg(size.width()).arg(size.height())}, &fault);
    m_size = size;
    return fault;
}
