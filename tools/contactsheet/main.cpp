// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "contactsheet.h"
#include "showfixture.h"
#include "showframe.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>

#include <algorithm>
#include <cstdio>

namespace {

// The scene ends the program at 19 s; a frame must come before that.
constexpr qint64 showEnd = 19000;

}

int main(int argc, char *argv[])
{
    // Frames are the same on every machine only off screen; a caller may
    // still ask for another platform.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.setApplicationDescription("Renders the show at the given show times (ms) to PNG files.");
    parser.addHelpOption();
    parser.addOption({ "out", "Directory for the frames.", "dir", "." });
    parser.addOption({ "sheet", "Also writes the frames as one contact sheet.", "file" });
    parser.addOption({ "size", "Main window size, e.g. 1280x800; by default the scene's size.", "size" });
    parser.addPositionalArgument("times", "Show times in ms, below 19000.", "time...");
    parser.process(app);

    QList<qint64> times;
    for (const QString &argument : parser.positionalArguments()) {
        bool ok = false;
        const qint64 time = argument.toLongLong(&ok);
        if (!ok || time < 0 || time >= showEnd) {
            std::fprintf(stderr, "contactsheet: not a show time before 19000 ms: %s\n", qPrintable(argument));
            return 2;
        }
        times.append(time);
    }
    if (times.isEmpty())
        parser.showHelp(2);
    // The clock only runs forward.
    std::sort(times.begin(), times.end());

    const QDir out(parser.value("out"));
    if (!out.mkpath(".")) {
        std::fprintf(stderr, "contactsheet: cannot create %s\n", qPrintable(out.path()));
        return 1;
    }

    ShowFixture show;
    if (!show.root()) {
        std::fprintf(stderr, "contactsheet: the scene did not load\n");
        return 1;
    }
    if (parser.isSet("size")) {
        const QStringList size = parser.value("size").split('x');
        if (size.size() != 2 || size.at(0).toInt() <= 0 || size.at(1).toInt() <= 0) {
            std::fprintf(stderr, "contactsheet: not a size: %s\n", qPrintable(parser.value("size")));
            return 2;
        }
        show.window().resize(size.at(0).toInt(), size.at(1).toInt());
    }

    ContactSheet sheet;
    for (const qint64 time : times) {
        show.clock().runUntil(time);
        // The whole window, so the black around a centred scene shows too.
        const QImage frame = grabShowFrame(&show.window());
        const QString file = out.filePath(QString("frame-%1.png").arg(time, 5, 10, QChar('0')));
        if (!frame.save(file)) {
            std::fprintf(stderr, "contactsheet: cannot write %s\n", qPrintable(file));
            return 1;
        }
        std::printf("%s\n", qPrintable(file));
        sheet.addFrame(time, frame);
    }

    if (parser.isSet("sheet")) {
        const QString file = parser.value("sheet");
        if (!sheet.render().save(file)) {
            std::fprintf(stderr, "contactsheet: cannot write %s\n", qPrintable(file));
            return 1;
        }
        std::printf("%s\n", qPrintable(file));
    }
    return 0;
}
