// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "showfixture.h"
#include "showframe.h"

#include <QImage>
#include <QPainter>
#include <QQuickItem>
#include <QTest>

namespace {

const QSize sceneSize(800, 480);
const QRgb black = qRgb(0, 0, 0);
const QRgb darkgray = QColor("darkgray").rgb();
const QRgb white = qRgb(255, 255, 255);

// The band the texts are drawn in, clear of the border. The sample times
// keep the bar out of it.
const QRect textBand(10, 170, 780, 140);

// Bounding box of everything but black in `area`.
QRect inkBox(const QImage &image, const QRect &area)
{
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixel(x, y) != black)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

// The most frequent colour other than black in `area`: a large text's
// solid body outnumbers its anti-aliased edge.
QRgb bodyColour(const QImage &image, const QRect &area)
{
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixel(x, y) != black)
                ++counts[image.pixel(x, y)];
        }
    }
    QRgb best = black;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > counts.value(best))
            best = it.key();
    }
    return best;
}

// `text` as the scene should show it: in `colour`, in the font the scene
// asks for, its lines left-aligned in a box centred on the scene.
QImage expectedText(const QString &text, int pixelSize, QRgb colour)
{
    QFont font("Terminal");
    font.setPixelSize(pixelSize);
    QRect box = QFontMetrics(font).boundingRect(QRect(QPoint(0, 0), sceneSize), Qt::AlignLeft, text);
    box.moveCenter(QRect(QPoint(0, 0), sceneSize).center());

    QImage image(sceneSize, QImage::Format_RGB32);
    image.fill(black);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(QColor(colour));
    painter.drawText(box, Qt::AlignLeft, text);
    return image;
}

}

class tst_RenderedFrames : public QObject
{
    Q_OBJECT

private slots:
    void showsItsText_data();
    void showsItsText();
    void repeatedLineLooksTheSame();
    void roundsJoinWithoutAnEmptyFrame();
    void borderFramesTheCentredScene_data();
    void borderFramesTheCentredScene();
};

void tst_RenderedFrames::showsItsText_data()
{
    QTest::addColumn<int>("time");
    QTest::addColumn<QString>("shownBy");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<QRgb>("colour");

    QTest::newRow("title card") << 1000 << "init" << "Brimble Novatch\n with Qt & QML\n       @\n    [vex10]"
                                << 20 << white;
    // Between the step changes, where the title card has gone and the bar
    // is above or below the text.
    QTest::newRow("4 g33k") << 5500 << "txtmessage" << "4 g33k" << 100 << darkgray;
    QTest::newRow("w0rk5") << 6900 << "txtmessage" << "w0rk5" << 100 << darkgray;
    QTest::newRow("f0r") << 7500 << "txtmessage" << "f0r" << 100 << darkgray;
    QTest::newRow("p34nu75") << 8100 << "txtmessage" << "p34nu75" << 100 << darkgray;
    QTest::newRow("4nd") << 9500 << "txtmessage" << "4nd" << 100 << darkgray;
    QTest::newRow("c0d35") << 10900 << "txtmessage" << "c0d35" << 100 << darkgray;
    QTest::newRow("f0r again") << 11500 << "txtmessage" << "f0r" << 100 << darkgray;
    QTest::newRow("b4n4n45") << 12100 << "txtmessage" << "b4n4n45" << 100 << darkgray;
    QTest::newRow("end card") << 16000 << "theend" << "      /o\\\n\nI'll get me coat" << 20 << white;
}

void tst_RenderedFrames::showsItsText()
{
    QFETCH(int, time);
    QFETCH(QString, shownBy);
    QFETCH(QString, text);
    QFETCH(int, pixelSize);
    QFETCH(QRgb, colour);

    ShowFixture show;
    show.clock().runUntil(time);
    const QImage frame = grabScene(show.view()).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(frame.size(), sceneSize);
    // The outline below tells a wrong size, font or line count, but not
    // every wrong letter.
    QCOMPARE(show.sceneObject(shownBy)->property("text").toString(), text);

    const QRect expectedBox = inkBox(expectedText(text, pixelSize, colour), textBand);
    const QRect box = inkBox(frame, textBand);
    QVERIFY2(!box.isEmpty(), "no text drawn");

    // Every text differs from the others in width, height or place; a pixel
    // of slack allows for the scene graph placing glyphs its own way.
    const auto off = [](int a, int b) { return qAbs(a - b) > 1; };
    QVERIFY2(!off(box.left(), expectedBox.left()) && !off(box.right(), expectedBox.right())
                     && !off(box.top(), expectedBox.top()) && !off(box.bottom(), expectedBox.bottom()),
             qPrintable(QString("the text covers (%1, %2)-(%3, %4), \"%5\" would cover (%6, %7)-(%8, %9)")
                                .arg(box.left()).arg(box.top()).arg(box.right()).arg(box.bottom())
                                .arg(text)
                                .arg(expectedBox.left()).arg(expectedBox.top())
                                .arg(expectedBox.right()).arg(expectedBox.bottom())));

    const QRgb body = bodyColour(frame, textBand);
    QVERIFY2(body == colour, qPrintable(QString("the text is %1, expected %2")
                                                .arg(describe(body), describe(colour))));
}

void tst_RenderedFrames::repeatedLineLooksTheSame()
{
    ShowFixture show;
    // Four seconds apart, so the bar is in the same place too.
    show.clock().runUntil(7500);
    const QImage first = grabScene(show.view()).copy(textBand);
    show.clock().runUntil(9500);
    const QImage between = grabScene(show.view()).copy(textBand);
    show.clock().runUntil(11500);
    const QImage second = grabScene(show.view()).copy(textBand);

    QVERIFY2(first == second, "\"f0r\" looks different the second time");
    QVERIFY2(first != between, "the message did not change between steps");
}

void tst_RenderedFrames::roundsJoinWithoutAnEmptyFrame()
{
    const QString endCard = "      /o\\\n\nI'll get me coat";
    const QString titleCard = "Brimble Novatch\n with Qt & QML\n       @\n    [vex10]";
    const QRect endBox = inkBox(expectedText(endCard, 20, white), textBand);
    const QRect titleBox = inkBox(expectedText(titleCard, 20, white), textBand);
    const auto sameBox = [](const QRect &a, const QRect &b) {
        return qAbs(a.left() - b.left()) <= 1 && qAbs(a.right() - b.right()) <= 1
                && qAbs(a.top() - b.top()) <= 1 && qAbs(a.bottom() - b.bottom()) <= 1;
    };

    ShowFixture show;
    show.window().setLooping(true);
    const QQuickItem *firstRound = show.root();
    // Every frame from the end card of the first round to the title card of
    // the second shows one card or the other, whole.
    bool endSeen = false;
    for (qint64 time = 18800; time <= 19300; time += ShowClock::frame) {
        show.clock().runUntil(time);
        const QImage frame = grabScene(show.view()).convertToFormat(QImage::Format_RGB32);
        const QRect box = inkBox(frame, textBand);
        const bool end = sameBox(box, endBox), title = sameBox(box, titleBox);
        QVERIFY2(end || title, qPrintable(QString("at %1 ms the scene shows neither card: ink in (%2, %3)-(%4, %5)")
                                                 .arg(time).arg(box.left()).arg(box.top())
                                                 .arg(box.right()).arg(box.bottom())));
        QVERIFY2(!title || endSeen, "the title card came back before the end card was shown");
        QVERIFY2(!end || show.root() == firstRound, "the end card outlived its round");
        endSeen = endSeen || end;
    }
    QVERIFY2(show.root() != firstRound, "the second round did not begin by 19.3 s");
    QVERIFY2(show.window().isVisible(), "the looping show closed its window");
}

void tst_RenderedFrames::borderFramesTheCentredScene_data()
{
    QTest::addColumn<QSize>("windowSize");
    QTest::addColumn<int>("time");

    QTest::newRow("scene size, bar rising") << sceneSize << 8500;
    QTest::newRow("scene size, bar sinking") << sceneSize << 6500;
    QTest::newRow("larger screen") << QSize(1280, 800) << 8500;
    QTest::newRow("full HD") << QSize(1920, 1080) << 6500;
    QTest::newRow("odd-sized screen") << QSize(1025, 769) << 10500;
}

void tst_RenderedFrames::borderFramesTheCentredScene()
{
    QFETCH(QSize, windowSize);
    QFETCH(int, time);

    ShowFixture show;
    show.window().resize(windowSize);
    show.clock().runUntil(time);
    const QImage frame = grabShowFrame(&show.window());
    QCOMPARE(frame.size(), windowSize);

    const QRect scene(QPoint((windowSize.width() - sceneSize.width()) / 2,
                             (windowSize.height() - sceneSize.height()) / 2),
                      sceneSize);
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x) {
            if (!scene.contains(x, y) && frame.pixel(x, y) != black) {
                QFAIL(qPrintable(QString("%1 at (%2, %3), outside the scene at (%4, %5)")
                                         .arg(describe(frame.pixel(x, y))).arg(x).arg(y)
                                         .arg(scene.x()).arg(scene.y())));
            }
        }
    }

    // Over the bar the side squares blend with it; tst_scenepixels covers that.
    const QList<QQuickItem *> layers = show.root()->childItems();
    const QQuickItem *bar = show.bar();
    const auto besideBar = [bar](int y) { return y + 10 > bar->y() && y < bar->y() + bar->height(); };

    // Each cell of the outer ring shows its squares; the ring just inside it
    // is black.
    for (int y = 0; y < sceneSize.height(); y += 10) {
        for (int x = 0; x < sceneSize.width(); x += 10) {
            const bool border = x == 0 || y == 0 || x == sceneSize.width() - 10 || y == sceneSize.height() - 10;
            const bool inside = !border && (x == 10 || y == 10 || x == sceneSize.width() - 20
                                            || y == sceneSize.height() - 20);
            if ((!border && !inside) || besideBar(y))
                continue;

            // The corners hold two squares, and the squares are translucent:
            // each is blended over what the earlier groups drew.
            QRgb expected = black;
            if (border) {
                int squares = 0;
                // The four border groups are the third to sixth layers.
                for (int layer = 2; layer <= 5; ++layer) {
                    if (QQuickItem *square = layers.at(layer)->childAt(x + 5, y + 5)) {
                        expected = over(square->property("color").value<QColor>(), expected);
                        ++squares;
                    }
                }
                QVERIFY2(squares > 0, qPrintable(QString("no border square at (%1, %2)").arg(x).arg(y)));
            }
            for (int dy = 0; dy < 10; ++dy) {
                for (int dx = 0; dx < 10; ++dx) {
                    const QRgb pixel = frame.pixel(scene.x() + x + dx, scene.y() + y + dy);
                    if (!near(pixel, expected)) {
                        QFAIL(qPrintable(QString("%1 at scene (%2, %3), expected %4 of the %5")
                                                 .arg(describe(pixel)).arg(x + dx).arg(y + dy)
                                                 .arg(describe(expected))
                                                 .arg(border ? "border" : "black just inside it")));
                    }
                }
            }
        }
    }
}

QTEST_MAIN(tst_RenderedFrames)
#include "tst_renderedframes.moc"
