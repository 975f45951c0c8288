#ifndef VIRTUALDISPLAY_H
#define VIRTUALDISPLAY_H

#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QSize>
#include <QString>

class QImage;

// A screen of its own for the built program: an X server on a free display
// and a window manager on it, both ended with the object or with the test.
class VirtualDisplay
{
public:
    explicit VirtualDisplay(const QSize &size);
    ~VirtualDisplay();

    // False, with errorString() saying why, unless both answer in time.
    bool start();
    QString errorString() const { return m_error; }

    QSize size() const { return m_size; }
    QString name() const { return m_name; }
    // The system environment aimed at this display only.
    QProcessEnvironment environment() const { return m_environment; }

    // As a crash would: at once, without a word to its clients.
    void killServer();

    // Standard output of a tool run against this display, or nothing if it
    // does not finish in time.
    QByteArray runTool(const QString &program, const QStringList &arguments) const;
    // The top-level window owned by the process, or nothing if it has none yet.
    QString windowOf(qint64 processId) const;
    // As windowOf, but waits for the window until the process ends.
    QString waitForWindow(const QProcess &process) const;
    QRect windowGeometry(const QString &window) const;
    QImage grab() const;

private:
    QString serverReport();

    const QSize m_size;
    QString m_name;
    QString m_error;
    QProcessEnvironment m_environment;
    QProcess m_server;
    QProcess m_windowManager;
};

// Without this a crashed or timed-out test would leave the process behind.
void endWithTest(QProcess &process);
// Politely first, then not.
void stopProcess(QProcess &process);
// Why the show did not end well, or nothing if it exited normally with code 0.
QString exitFault(QProcess &show);
QString describe(const QRect &rect);
// What is wrong with a grab of the screen, or nothing: black everywhere but
// in the scene, whose border of squares reaches all four of its edges.
QString framedSceneFault(const QImage &screen, const QRect &scene, int squareSize);

#endif // VIRTUALDISPLAY_H
