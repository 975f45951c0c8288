// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "virtualdisplay.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusUnixFileDescriptor>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

#include <csignal>
#include <unistd.h>

// The system bus's login manager as far as xscreensaver-systemd needs one: it
// takes a sleep inhibitor at its start and gives up without one.
class LoginManagerStandIn : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    ~LoginManagerStandIn() override
    {
        for (int end : m_pipe) {
            if (end >= 0)
                ::close(end);
        }
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString &, const QString &, const QString &, const QString &)
    {
        if (m_pipe[0] < 0 && ::pipe(m_pipe) != 0)
            return {};
        return QDBusUnixFileDescriptor(m_pipe[0]);
    }

private:
    int m_pipe[2] = {-1, -1};
};

// A desktop's screen saver on a session bus of its own: xscreensaver 6's
// xscreensaver-systemd, which serves org.freedesktop.ScreenSaver and says in
// its log whom it holds off for, beside a system bus with the login manager
// standing in. The buses end with it.
class DesktopScreenSaver
{
public:
    explicit DesktopScreenSaver(const QProcessEnvironment &display) : m_environment(display) {}
    ~DesktopScreenSaver()
    {
        stopProcess(m_saver);
        QDBusConnection::disconnectFromBus(m_connection);
        for (QProcess &bus : m_buses)
            stopProcess(bus);
    }

    // Why it did not come up, or nothing.
    QString start()
    {
        QString saver;
        for (const char *folder : {"/usr/libexec/xscreensaver", "/usr/lib/xscreensaver"}) {
            if (QFileInfo(QString(folder) + "/xscreensaver-systemd").isExecutable())
                saver = QString(folder) + "/xscreensaver-systemd";
        }
        if (saver.isEmpty() || QStandardPaths::findExecutable("dbus-daemon").isEmpty())
            return "xscreensaver-systemd or dbus-daemon not found; scripts/install-deps.sh installs them";
        const QString session = startBus(m_buses[0], "session");
        const QString system = startBus(m_buses[1], "system");
        if (session.isEmpty() || system.isEmpty())
            return "the buses did not start: " + QString::fromLocal8Bit(m_buses[0].readAll() + m_buses[1].readAll());
        QDBusConnection bus = QDBusConnection::connectToBus(system, m_connection);
        if (!bus.registerService("org.freedesktop.login1")
                || !bus.registerObject("/org/freedesktop/login1", &m_loginManager, QDBusConnection::ExportAllSlots)) {
            return "no login manager on the system bus: " + bus.lastError().message();
        }
        m_environment.insert("DBUS_SESSION_BUS_ADDRESS", session);
        m_environment.insert("DBUS_SYSTEM_BUS_ADDRESS", system);
        endWithTest(m_saver);
        m_saver.setProcessEnvironment(m_environment);
        m_saver.setProcessChannelMode(QProcess::MergedChannels);
        m_saver.start(saver, {"--verbose"});
        if (!QTest::qWaitFor([this] {
                    return log().contains("registered as \"org.freedesktop.ScreenSaver\"")
                            && log().contains("not in use") && m_saver.state() == QProcess::Running;
                }, 15000)) {
            return "xscreensaver-systemd did not come up:\n" + log();
        }
        return {};
    }

    // The display's environment with the session bus.
    QProcessEnvironment environment() const { return m_environment; }

    // What xscreensaver-systemd has said so far.
    QString log()
    {
        m_log += QString::fromLocal8Bit(m_saver.readAll());
        return m_log;
    }

private:
    QString startBus(QProcess &bus, const QString &name)
    {
        const QString socket = m_folder.filePath(name);
        endWithTest(bus);
        bus.setProcessChannelMode(QProcess::MergedChannels);
        bus.start("dbus-daemon", {"--session", "--nofork", "--address=unix:path=" + socket});
        const bool up = bus.waitForStarted(5000) && QTest::qWaitFor([&] {
            return QFileInfo::exists(socket) || bus.state() == QProcess::NotRunning;
        }, 10000) && bus.state() == QProcess::Running;
        return up ? "unix:path=" + socket : QString();
    }

    QProcessEnvironment m_environment;
    QTemporaryDir m_folder;
    QProcess m_buses[2];
    QProcess m_saver;
    QString m_log;
    LoginManagerStandIn m_loginManager;
    // Qt hands back a connection of the same name while one is open still.
    const QString m_connection = "login manager " + m_folder.path();
};

// The built program under a real X server and window manager, as a user sees
// it: how it ends, and what it puts on screen.
class tst_EndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void playsToTheEndByItself();
    void fillsTheScreenInBlack();
    void closingTheWindowEndsTheShow();
    void loopsUntilItsWindowIsClosed();
    void answersWithoutPlaying_data();
    void answersWithoutPlaying();
    void thePointerNeverShows();
    void theScreenSaverWaitsForTheEnd();
    void theDesktopsScreenSaverWaitsForTheEnd_data();
    void theDesktopsScreenSaverWaitsForTheEnd();
    void keepsInStepWithTheClock_data();
    void keepsInStepWithTheClock();

private:
    bool startShow(QProcess &show, const QStringList &arguments = {}) const;
    QString startFullScreen(QProcess &show) const;
    QString screenFault() const;

    VirtualDisplay m_display{QSize(1280, 800)};
};

namespace {

const QSize sceneSize(800, 480);
// How late a show that ends by itself may end, counted from its start: a
// sanitized program starts up several times slower.
#if defined(__SANITIZE_ADDRESS__)
const int latestEnd = 35000;
#else
const int latestEnd = 25000;
#endif
// The border squares are this wide.
const int squareSize = 10;
// One refresh at 60 Hz, in ms.
const int refresh = 17;
const qint64 roundLength = 19000;

// A frame from the show's frame log: its round's show time, and when it was
// made on the machine's steady clock, which every process shares.
struct Frame
{
    qint64 roundTime;
    qreal steady;
    bool operator<(const Frame &other) const { return steady < other.steady; }
};

// The frames a show has logged so far, and what else it said, kept for a
// failure's message.
QList<Frame> readFrames(QProcess &show, QByteArray &log)
{
    log += show.readAllStandardError();
    static const QRegularExpression line(QStringLiteral("round time (-?\\d+) ms at ([\\d.]+) ms"));
    QList<Frame> frames;
    for (auto match = line.globalMatch(QString::fromLatin1(log)); match.hasNext();) {
        const auto found = match.next();
        frames.append({found.captured(1).toLongLong(), found.captured(2).toDouble()});
    }
    return frames;
}


} // namespace

void tst_EndToEnd::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("VEXSHOW_COMMAND") || QFileInfo(VEXSHOW_BINARY).isExecutable(),
             qPrintable(QString("%1 has not been built").arg(VEXSHOW_BINARY)));
    QVERIFY2(m_display.start(), qPrintable(m_display.errorString()));
}

void tst_EndToEnd::playsToTheEndByItself()
{
    QProcess show;
    auto stopShow = qScopeGuard([&show] { stopProcess(show); });
    QElapsedTimer clock;
    clock.start();
    // Arguments the toolkit does not know must not stop the show.
    QVERIFY2(startShow(show, {"--no-such-option", "extra"}), qPrintable(show.errorString()));

    QVERIFY2(show.waitForFinished(40000), "the show was still running after 40 s");
    const qint64 elapsed = clock.elapsed();
    const QString fault = exitFault(show);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    QVERIFY2(elapsed >= 17000 && elapsed <= latestEnd,
             qPrintable(QString("the show ended after %1 ms, not at about 19 s").arg(elapsed)));
}

void tst_EndToEnd::fillsTheScreenInBlack()
{
    QProcess show;
    auto stopShow = qScopeGuard([&show] { stopProcess(show); });
    QString fault = startFullScreen(show);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));

    // The title card hides the border for the first seconds, so wait for the
    // scene's edges to show before judging where it sits.
    QVERIFY2(QTest::qWaitFor([&] { return (fault = screenFault()).isEmpty(); }, 12000),
             qPrintable(fault));
}

void tst_EndToEnd::closingTheWindowEndsTheShow()
{
    QProcess show;
    auto stopShow = qScopeGuard([&show] { stopProcess(show); });
    QVERIFY2(startShow(show), qPrintable(show.errorString()));
    const QString window = m_display.waitForWindow(show);
    QVERIFY2(!window.isEmpty(), "the show opened no window");

    // As a window manager's close button does: it asks, and the program obeys.
    m_display.runTool("wmctrl", {"-i", "-c", window});
    QVERIFY2(show.waitForFinished(5000), "the show was still running 5 s after its window was closed");
    const QString fault = exitFault(show);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

void tst_EndToEnd::loopsUntilItsWindowIsClosed()
{
    QProcess show;
    auto stopShow = qScopeGuard([&show] { stopProcess(show); });
    QElapsedTimer clock;
    clock.start();
    QVERIFY2(startShow(show, {"--loop"}), qPrintable(show.errorString()));
    const QString window = m_display.waitForWindow(show);
    QVERIFY2(!window.isEmpty(), "the show opened no window");

    // Two rounds and a little of the third.
    const bool ended = QTest::qWaitFor([&show] { return show.state() == QProcess::NotRunning; }, 40000);
    QVERIFY2(!ended, qPrintable(QString("the looping show ended by itself after %1 ms:\n%2")
                                        .arg(clock.elapsed()).arg(exitFault(show))));
    const QString fault = m_display.windowFault(show.processId());
    QVERIFY2(fault.isEmpty(), qPrintable("in its third round: " + fault));

    m_display.runTool("wmctrl", {"-i", "-c", window});
    QVERIFY2(show.waitForFinished(5000), "the show was still running 5 s after its window was closed");
    const QString exit = exitFault(show);
    QVERIFY2(exit.isEmpty(), qPrintable(exit));
}

void tst_EndToEnd::answersWithoutPlaying_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("answer");

    QTest::newRow("--help") << QStringList{"--help"} << 0 << "--rotate";
    QTest::newRow("--version") << QStringList{"--version"} << 0 << "vexshow 1.0";
    // A turn it cannot make is refused, not played some other way.
    const QString refused = "--rotate takes 0, 90, 180 or 270";
    QTest::newRow("--rotate 45") << QStringList{"--rotate", "45"} << 2 << refused + ", not \"45\"";
    QTest::newRow("--rotate=sideways") << QStringList{"--rotate=sideways"} << 2 << refused;
    QTest::newRow("--rotate with nothing") << QStringList{"--loop", "--rotate"} << 2 << refused;
    QTest::newRow("--help, in step") << QStringList{"--help"} << 0 << "--sync";
}

void tst_EndToEnd::answersWithoutPlaying()
{
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QString, answer);

    const QString option = options.join(' ');
    QProcess show;
    auto stopShow = qScopeGuard([&show] { stopProcess(show); });
    QVERIFY2(startShow(show, options), qPrintable(show.errorString()));
    QVERIFY2(show.waitForFinished(10000), qPrintable(option + " started the show"));
    const QString said = QString::fromLocal8Bit(show.readAllStandardOutput() + show.readAllStandardError());
    QVERIFY2(show.exitStatus() == QProcess::NormalExit && show.exitCode() == exitCode,
             qPrintable(QString("%1 ended with %2, not %3: %4").arg(option).arg(show.exitCode()).arg(exitCode).arg(said)));
    QVERIFY2(said.contains(answer), qPrintable(QString("%1 said: %2").arg(option, said)));
}

void tst_EndToEnd::thePointerNeverShows()
{
    QProcess show;
    auto stopShow = qScopeGuard([&show] { stopProcess(show); });
    QString fault = startFullScreen(show);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    fault = m_display.pointerFault();
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

void tst_EndToEnd::theScreenSaverWaitsForTheEnd()
{
    if (qEnvironmentVariableIsSet("VEXSHOW_COMMAND")) {
        QSKIP("Wine takes the Windows program's display-required state and passes it on to nobody: "
              "under Wine no X screen saver waits for it");
    }
    // A kiosk's X server blanks its screen after ten minutes without input;
    // this one, which has had none at all, after two seconds.
    const int timeout = 2;
    auto restoreSaver = qScopeGuard([this] {
        m_display.runTool("xset", {"s", "default"});
        m_display.runTool("xset", {"s", "reset"});
    });
    QProcess show;
    auto stopShow = qScopeGuard([&show] { stopProcess(show); });
    const QString fault = startFullScreen(show);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    m_display.runTool("xset", {"s", QString::number(timeout)});

    const bool blanked = QTest::qWaitFor([this] { return m_display.screenSaverOn(); }, 3 * timeout * 1000);
    QVERIFY2(!blanked, "the screen saver came on while the show played");
    QVERIFY2(show.state() == QProcess::Running, "the show ended before the screen saver was due");
    m_display.runTool("wmctrl", {"-i", "-c", m_display.windowOf(show.processId())});
    QVERIFY2(show.waitForFinished(5000), "the show was still running 5 s after its window was closed");
    QVERIFY2(QTest::qWaitFor([this] { return m_display.screenSaverOn(); }, 5 * timeout * 1000),
             "the screen saver did not come on once the show had ended");
}

void tst_EndToEnd::theDesktopsScreenSaverWaitsForTheEnd_data()
{
    QTest::addColumn<bool>("stopped");

    QTest::newRow("window closed") << false;
    // As a desktop's session ends it, or a service manager.
    QTest::newRow("SIGTERM") << true;
}

void tst_EndToEnd::theDesktopsScreenSaverWaitsForTheEnd()
{
    QFETCH(bool, stopped);

    if (qEnvironmentVariableIsSet("VEXSHOW_COMMAND"))
        QSKIP("Windows has no session bus: its display-required state keeps the screen on");
    DesktopScreenSaver saver(m_display.environment());
    QString fault = saver.start();
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    QProcess show;
    auto stopShow = qScopeGuard([&show] { stopProcess(show); });
    show.setProcessEnvironment(saver.environment());
    QVERIFY2(startShow(show, {"--loop"}), qPrintable(show.errorString()));

    static const QRegularExpression inhibited(QStringLiteral("inhibited by \"vexshow\" .* cookie \"(\\w+)\""));
    QString cookie;
    QVERIFY2(QTest::qWaitFor([&] {
        cookie = inhibited.match(saver.log()).captured(1);
        return !cookie.isEmpty() || show.state() == QProcess::NotRunning;
    }, 15000) && !cookie.isEmpty(), qPrintable("the screen saver was not held off:\n" + saver.log()));
    QVERIFY2(!saver.log().contains("uninhibited"), qPrintable("the show let go while it played:\n" + saver.log()));

    const QString window = m_display.waitForWindow(show);
    QVERIFY2(!window.isEmpty(), "the show opened no window");
    if (stopped)
        ::kill(pid_t(show.processId()), SIGTERM);
    else
        m_display.runTool("wmctrl", {"-i", "-c", window});
    QVERIFY2(show.waitForFinished(5000), "the show was still running 5 s after it was ended");
    fault = exitFault(show);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    // Let go by the show itself, not by the bus as it left.
    const QRegularExpression released("uninhibited by \"vexshow\" .* cookie \"" + cookie + "\"");
    QVERIFY2(QTest::qWaitFor([&] { return released.match(saver.log()).hasMatch(); }, 5000), qPrintable("the show did not let go of the screen saver:\n" + saver.log()));
}

void tst_EndToEnd::keepsInStepWithTheClock_data()
{
    QTest::addColumn<int>("shift");

    QTest::newRow("two shows seconds apart") << 0;
    QTest::newRow("a clock 7 s ahead") << 7;
    QTest::newRow("a clock 5 s behind") << -5;
}

void tst_EndToEnd::keepsInStepWithTheClock()
{
    QFETCH(int, shift);

    // The rows read the frame log on stderr, where a Windows program with a
    // window of its own writes nothing: its log goes to a debugger.
    if (qEnvironmentVariableIsSet("VEXSHOW_COMMAND"))
        QSKIP("a Windows program's frame log goes to a debugger, not to stderr");
    QProcessEnvironment environment;
    environment.insert("QT_LOGGING_RULES", "vexshow.frames.debug=true");
    // This machine's clock may be kept by no time service at all.
    environment.insert("VEXSHOW_TRUST_CLOCK", "1");
    QProcessEnvironment shiftedEnvironment = environment;
    if (shift != 0) {
        // The wall clock moved, the steady one that times the frames not.
        // Not through the faketime wrapper, which refuses to run where a
        // semaphore named after its process id was left in /dev/shm, as
        // libfaketime leaves them, and the wrapper itself when it is ended.
        QVERIFY2(QFileInfo::exists(FAKETIME_LIBRARY), "libfaketime is not installed");
        shiftedEnvironment.insert("LD_PRELOAD", FAKETIME_LIBRARY);
        shiftedEnvironment.insert("FAKETIME", QString::asprintf("%+ds", shift));
        shiftedEnvironment.insert("FAKETIME_DONT_FAKE_MONOTONIC", "1");
#if defined(__SANITIZE_ADDRESS__)
        // libfaketime is preloaded ahead of the sanitizer's runtime, which minds.
        const QString sanitizerOptions = qEnvironmentVariable("ASAN_OPTIONS");
        shiftedEnvironment.insert("ASAN_OPTIONS", sanitizerOptions + (sanitizerOptions.isEmpty() ? "" : ":") + "verify_asan_link_order=0");
#endif
    }
    QProcess first;
    QProcess second;
    auto stopShows = qScopeGuard([&] { stopProcess(first); stopProcess(second); });
    first.setProcessEnvironment(environment);
    second.setProcessEnvironment(shiftedEnvironment);
    QByteArray firstLog;
    QByteArray secondLog;
    QList<Frame> firstFrames;
    QList<Frame> secondFrames;

    QVERIFY2(startShow(first, {"--sync"}), qPrintable(first.errorString()));
    // The second starts seconds later, 3 s before a round of its own begins,
    // so that the frames compared take in a new round.
    const qint64 startAt = ((-3000 - shift * 1000) % roundLength + roundLength) % roundLength;
    const auto dueToStart = [&] {
        const QList<Frame> frames = readFrames(first, firstLog);
        return frames.size() > 120 && (frames.last().roundTime - startAt + roundLength) % roundLength < 1000;
    };
    QVERIFY2(QTest::qWaitFor(dueToStart, 30000), qPrintable("the first show's frames:\n" + firstLog.right(2000)));
    QVERIFY2(startShow(second, {"--sync"}), qPrintable(second.errorString()));
    const auto newRoundPlayed = [&] {
        secondFrames = readFrames(second, secondLog);
        for (qsizetype i = 1; i < secondFrames.size(); ++i) {
            if (secondFrames.at(i).roundTime < secondFrames.at(i - 1).roundTime)
                return secondFrames.size() - i > 60;
        }
        return false;
    };
    // A show that comes up only after that round has begun, as one built with
    // the sanitizers may on a busy machine, takes in the next.
    QVERIFY2(QTest::qWaitFor(newRoundPlayed, 15000 + roundLength),
             qPrintable("the second show's frames:\n" + secondLog.left(1000) + "[...]\n" + secondLog.right(1000)));
    firstFrames = readFrames(first, firstLog);

    // Each of the second show's frames beside where the first show was at
    // that moment, on the steady clock both share.
    qint64 worst = 0;
    int compared = 0;
    for (const Frame &frame : std::as_const(secondFrames)) {
        const auto after = std::lower_bound(firstFrames.cbegin(), firstFrames.cend(), frame);
        if (after == firstFrames.cbegin() || after == firstFrames.cend())
            continue;
        const Frame &before = *(after - 1);
        const qint64 there = before.roundTime + qRound64(frame.steady - before.steady);
        qint64 off = ((frame.roundTime - there - shift * 1000) % roundLength + roundLength) % roundLength;
        off = off >= roundLength / 2 ? off - roundLength : off;
        worst = qAbs(off) > qAbs(worst) ? off : worst;
        ++compared;
    }
    QVERIFY2(compared > 100, qPrintable(QString("only %1 frames at the same time").arg(compared)));
    QVERIFY2(qAbs(worst) <= refresh,
             qPrintable(QString("the second show was %1 ms off the first, its clock shifted by %2 s")
                                .arg(worst).arg(shift)));
}

bool tst_EndToEnd::startShow(QProcess &show, const QStringList &arguments) const
{
    // Another build of the show may be played instead, such as the Windows
    // one under Wine: VEXSHOW_COMMAND="wine build-windows/vexshow/vexshow.exe".
    // It brings its own platform plugin, so the display's choice of xcb is
    // left out.
    QStringList command = QProcess::splitCommand(qEnvironmentVariable("VEXSHOW_COMMAND"));
    QProcessEnvironment environment = m_display.environment();
    // What the test asked of this show.
    environment.insert(show.processEnvironment());
    if (command.isEmpty())
        command << VEXSHOW_BINARY;
    else
        environment.remove("QT_QPA_PLATFORM");
    endWithTest(show);
    show.setProcessEnvironment(environment);
    const QString program = command.takeFirst();
    show.start(program, command + arguments);
    return show.waitForStarted(5000);
}

// Why the show is not playing in a full-screen window, or nothing.
QString tst_EndToEnd::startFullScreen(QProcess &show) const
{
    if (!startShow(show))
        return show.errorString();
    QString fault;
    if (QTest::qWaitFor([&] { return (fault = m_display.windowFault(show.processId())).isEmpty(); }, 15000))
        return {};
    return fault;
}

// What is wrong with the screen as shown now, or nothing.
QString tst_EndToEnd::screenFault() const
{
    const QImage screen = m_display.grab();
    if (screen.size() != m_display.size())
        return QString("the screen grab is %1x%2").arg(screen.width()).arg(screen.height());

    const QSize screenSize = m_display.size();
    const QRect scene(QPoint((screenSize.width() - sceneSize.width()) / 2,
                             (screenSize.height() - sceneSize.height()) / 2),
                      sceneSize);
    return framedSceneFault(screen, scene, squareSize);
}

QTEST_GUILESS_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
