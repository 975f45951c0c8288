// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "virtualdisplay.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QScopeGuard>
#include <QtTest>

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

bool tst_EndToEnd::startShow(QProcess &show, const QStringList &arguments) const
{
    // Another build of the show may be played instead, such as the Windows
    // one under Wine: VEXSHOW_COMMAND="wine build-windows/vexshow/vexshow.exe".
    // It brings its own platform plugin, so the display's choice of xcb is
    // left out.
    QStringList command = QProcess::splitCommand(qEnvironmentVariable("VEXSHOW_COMMAND"));
    QProcessEnvironment environment = m_display.environment();
    if (command.isEmpty())
        command << VEXSHOW_BINARY;
    else
        environment.remove("QT_QPA_PLATFORM");
    endWithTest(show);
    show.setProcessEnvironment(environment);
    show.start(command.takeFirst(), command + arguments);
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
