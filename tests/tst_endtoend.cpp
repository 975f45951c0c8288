#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>
#include <sys/prctl.h>

// The built program under a real X server and window manager, as a user sees
// it: how it ends, and what it puts on screen.
class tst_EndToEnd : public QObject
{
    Q_OBJECT

public:
    ~tst_EndToEnd() override;

private slots:
    void initTestCase();
    void cleanupTestCase();
    void playsToTheEndByItself();
    void fillsTheScreenInBlack();
    void closingTheWindowEndsTheShow();

private:
    QString xServerReport();
    QByteArray runTool(const QString &program, const QStringList &arguments) const;
    bool startShow(QProcess &show, const QStringList &arguments = {}) const;
    QString waitForWindow(const QProcess &show) const;
    QString screenFault() const;

    QProcess m_xServer;
    QProcess m_windowManager;
    QProcessEnvironment m_environment;
};

namespace {

const QSize screenSize(1280, 800);
const QSize sceneSize(800, 480);
// The border squares are this wide; a dark one at an edge may read as black.
const int squareSize = 10;

// Without this a crashed or timed-out test would leave its X server behind.
void dieWithTest(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

void stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

// Why the show did not end well, or nothing if it exited normally with code 0.
QString exitFault(QProcess &show)
{
    const QString output = QString::fromLocal8Bit(show.readAllStandardError());
    if (show.exitStatus() != QProcess::NormalExit)
        return "the show crashed:\n" + output;
    if (show.exitCode() != 0)
        return QString("the show exited with %1:\n%2").arg(show.exitCode()).arg(output);
    return {};
}

QString describe(const QRect &rect)
{
    return QString("%1x%2 at (%3,%4)").arg(rect.width()).arg(rect.height())
            .arg(rect.x()).arg(rect.y());
}

} // namespace

tst_EndToEnd::~tst_EndToEnd()
{
    stop(m_windowManager);
    stop(m_xServer);
}

void tst_EndToEnd::initTestCase()
{
    QVERIFY2(QFileInfo(VEXSHOW_BINARY).isExecutable(),
             qPrintable(QString("%1 has not been built").arg(VEXSHOW_BINARY)));
    const QStringList tools{"Xvfb", "openbox", "xprop", "xwininfo", "wmctrl", "import"};
    for (const QString &tool : tools) {
        QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(),
                 qPrintable(tool + " not found; scripts/install-deps.sh installs it"));
    }

    // The server picks a free display and writes its number on standard output.
    dieWithTest(m_xServer);
    m_xServer.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0",
                             QString("%1x%2x24").arg(screenSize.width()).arg(screenSize.height())});
    QVERIFY2(m_xServer.waitForStarted(5000), qPrintable(m_xServer.errorString()));
    QVERIFY2(QTest::qWaitFor([this] {
                 return m_xServer.canReadLine() || m_xServer.state() == QProcess::NotRunning;
             }, 15000) && m_xServer.canReadLine(),
             "Xvfb named no display");
    const QString display = ":" + QString::fromLatin1(m_xServer.readLine()).trimmed();

    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert("DISPLAY", display);
    m_environment.insert("QT_QPA_PLATFORM", "xcb");
    m_environment.remove("WAYLAND_DISPLAY");
    QVERIFY2(QTest::qWaitFor([this] { return !runTool("xprop", {"-root"}).isEmpty(); }, 15000),
             qPrintable(QString("display %1 does not answer; %2").arg(display, xServerReport())));

    dieWithTest(m_windowManager);
    m_windowManager.setProcessEnvironment(m_environment);
    m_windowManager.setProcessChannelMode(QProcess::MergedChannels);
    m_windowManager.start("openbox", {"--sm-disable"});
    QVERIFY2(m_windowManager.waitForStarted(5000), qPrintable(m_windowManager.errorString()));
    QVERIFY2(QTest::qWaitFor([this] {
                 return runTool("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id")
                         || m_windowManager.state() == QProcess::NotRunning;
             }, 15000) && m_windowManager.state() == QProcess::Running,
             qPrintable(QString("openbox did not take over display %1:\n%2%3")
                                .arg(display, QString::fromLocal8Bit(m_windowManager.readAll()),
                                     xServerReport())));
}

void tst_EndToEnd::cleanupTestCase()
{
    stop(m_windowManager);
    stop(m_xServer);
}

void tst_EndToEnd::playsToTheEndByItself()
{
    QProcess show;
    auto stopShow = qScopeGuard([&show] { stop(show); });
    QElapsedTimer clock;
    clock.start();
    // Arguments the toolkit does not know must not stop the show.
    QVERIFY2(startShow(show, {"--no-such-option", "extra"}), qPrintable(show.errorString()));

    QVERIFY2(show.waitForFinished(40000), "the show was still running after 40 s");
    const qint64 elapsed = clock.elapsed();
    const QString fault = exitFault(show);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
    QVERIFY2(elapsed >= 17000 && elapsed <= 25000,
             qPrintable(QString("the show ended after %1 ms, not at about 19 s").arg(elapsed)));
}

void tst_EndToEnd::fillsTheScreenInBlack()
{
    QProcess show;
    auto stopShow = qScopeGuard([&show] { stop(show); });
    QVERIFY2(startShow(show), qPrintable(show.errorString()));
    const QString window = waitForWindow(show);
    QVERIFY2(!window.isEmpty(), "the show opened no window");

    QByteArray state;
    QVERIFY2(QTest::qWaitFor([&] {
                 state = runTool("xprop", {"-id", window, "_NET_WM_STATE"});
                 return state.contains("_NET_WM_STATE_FULLSCREEN");
             }, 10000),
             qPrintable("the window never went full screen: " + state));
    QVERIFY2(!state.contains("_NET_WM_STATE_MAXIMIZED"),
             qPrintable("the window is maximised as well as full screen: " + state));

    QRect geometry;
    QVERIFY2(QTest::qWaitFor([&] {
                 const QString info = QString::fromLatin1(runTool("xwininfo", {"-id", window}));
                 auto field = [&info](const QString &name) {
                     const QRegularExpression pattern(QRegularExpression::escape(name) + ":\\s*(-?\\d+)");
                     return pattern.match(info).captured(1).toInt();
                 };
                 geometry = QRect(field("Absolute upper-left X"), field("Absolute upper-left Y"),
                                  field("Width"), field("Height"));
                 return geometry == QRect(QPoint(0, 0), screenSize);
             }, 10000),
             qPrintable("the window covers " + describe(geometry) + ", not the whole screen"));

    // The title card hides the border for the first seconds, so wait for the
    // scene's edges to show before judging where it sits.
    QString fault;
    QVERIFY2(QTest::qWaitFor([&] { return (fault = screenFault()).isEmpty(); }, 12000),
             qPrintable(fault));
}

void tst_EndToEnd::closingTheWindowEndsTheShow()
{
    QProcess show;
    auto stopShow = qScopeGuard([&show] { stop(show); });
    QVERIFY2(startShow(show), qPrintable(show.errorString()));
    const QString window = waitForWindow(show);
    QVERIFY2(!window.isEmpty(), "the show opened no window");

    // As a window manager's close button does: it asks, and the program obeys.
    runTool("wmctrl", {"-i", "-c", window});
    QVERIFY2(show.waitForFinished(5000), "the show was still running 5 s after its window was closed");
    const QString fault = exitFault(show);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

QString tst_EndToEnd::xServerReport()
{
    return QString("Xvfb is %1:\n%2")
            .arg(m_xServer.state() == QProcess::Running ? "running" : "gone",
                 QString::fromLocal8Bit(m_xServer.readAllStandardError()));
}

QByteArray tst_EndToEnd::runTool(const QString &program, const QStringList &arguments) const
{
    QProcess tool;
    tool.setProcessEnvironment(m_environment);
    tool.setStandardErrorFile(QProcess::nullDevice());
    tool.start(program, arguments);
    if (!tool.waitForFinished(10000)) {
        stop(tool);
        return {};
    }
    return tool.readAllStandardOutput();
}

bool tst_EndToEnd::startShow(QProcess &show, const QStringList &arguments) const
{
    dieWithTest(show);
    show.setProcessEnvironment(m_environment);
    show.start(VEXSHOW_BINARY, arguments);
    return show.waitForStarted(5000);
}

// The top-level window that the show's process owns, or nothing if none appears.
QString tst_EndToEnd::waitForWindow(const QProcess &show) const
{
    const QString pid = QString::number(show.processId());
    QString window;
    const bool found = QTest::qWaitFor([&] {
        const QStringList windows = QString::fromLatin1(runTool("wmctrl", {"-l", "-p"})).split('\n');
        for (const QString &line : windows) {
            const QStringList fields = line.simplified().split(' ');
            if (fields.size() > 2 && fields.at(2) == pid) {
                window = fields.at(0);
                return true;
            }
        }
        return show.state() == QProcess::NotRunning;
    }, 15000);
    return found ? window : QString();
}

// What is wrong with the screen as shown now, or nothing: black everywhere but
// in the centred scene, whose border reaches all four of its edges.
QString tst_EndToEnd::screenFault() const
{
    const QImage screen = QImage::fromData(runTool("import", {"-window", "root", "png:-"}), "PNG")
                                  .convertToFormat(QImage::Format_RGB32);
    if (screen.size() != screenSize)
        return QString("the screen grab is %1x%2").arg(screen.width()).arg(screen.height());

    const QRect scene(QPoint((screenSize.width() - sceneSize.width()) / 2,
                             (screenSize.height() - sceneSize.height()) / 2),
                      sceneSize);
    QRect painted;
    for (int y = 0; y < screen.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(screen.constScanLine(y));
        for (int x = 0; x < screen.width(); ++x) {
            if ((line[x] & 0xffffff) == 0)
                continue;
            if (!scene.contains(x, y)) {
                return QString("(%1,%2) outside the scene is #%3, not black")
                        .arg(x).arg(y).arg(line[x] & 0xffffff, 6, 16, QChar('0'));
            }
            painted |= QRect(x, y, 1, 1);
        }
    }
    if (!painted.adjusted(-squareSize, -squareSize, squareSize, squareSize).contains(scene))
        return "the scene shows as " + describe(painted) + ", not as " + describe(scene);
    return {};
}

QTEST_GUILESS_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
