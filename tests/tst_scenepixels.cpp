// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "showfixture.h"
#include "showframe.h"

#include <QImage>
#include <QQuickItem>
#include <QTest>

class tst_ScenePixels : public QObject
{
    Q_OBJECT

private slots:
    void cardsCoverEverything_data();
    void cardsCoverEverything();
    void textIsDrawnOverTheBar();
    void borderIsDrawnOverTheBar();
};

void tst_ScenePixels::cardsCoverEverything_data()
{
    QTest::addColumn<int>("time");

    QTest::newRow("title card") << 1000;
    QTest::newRow("end card") << 16000;
}

void tst_ScenePixels::cardsCoverEverything()
{
    QFETCH(int, time);

    ShowFixture show;
    show.clock().runUntil(time);
    const QImage frame = grabScene(show.view());
    QCOMPARE(frame.size(), QSize(800, 480));

    // The card's white text is anti-aliased into greys; any hue means the
    // border or the bar shows through.
    int lit = 0;
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x) {
            const QRgb pixel = frame.pixel(x, y);
            QVERIFY2(qRed(pixel) == qGreen(pixel) && qGreen(pixel) == qBlue(pixel),
                     qPrintable(QString("%1 at (%2, %3)").arg(describe(pixel)).arg(x).arg(y)));
            // Outside the card's text, which sits around the middle, only black.
            if (y < 150 || y >= 330)
                QVERIFY2(pixel == qRgb(0, 0, 0),
                         qPrintable(QString("%1 at (%2, %3)").arg(describe(pixel)).arg(x).arg(y)));
            if (pixel == qRgb(255, 255, 255))
                ++lit;
        }
    }
    QVERIFY2(lit > 100, "the card's text is missing");
}

void tst_ScenePixels::textIsDrawnOverTheBar()
{
    ShowFixture show;
    // The bar rises through the middle at full opacity, behind "p34nu75".
    show.clock().runUntil(8500);
    QQuickItem *bar = show.bar();
    QCOMPARE(bar->opacity(), 1.0);
    const QImage frame = grabScene(show.view());

    // Solid glyph pixels keep the text's own colour only if it is on top.
    const QRgb text = QColor("darkgray").rgb();
    int solid = 0;
    const int top = qRound(bar->y());
    for (int y = top; y < top + 40; ++y) {
        for (int x = 20; x < 780; ++x) {
            if (frame.pixel(x, y) == text)
                ++solid;
        }
    }
    QVERIFY2(solid > 50, qPrintable(QString("only %1 text-coloured pixels over the bar").arg(solid)));
}

void tst_ScenePixels::borderIsDrawnOverTheBar()
{
    ShowFixture show;
    QQuickItem *bar = show.bar();
    const QList<QQuickItem *> layers = show.root()->childItems();

    // Both side columns, at full opacity (rising) and faded (sinking).
    for (const int time : { 6500, 8500, 10500, 12500 }) {
        show.clock().runUntil(time);
        const QImage frame = grabScene(show.view());
        // The gradient's lightgray stop, a fifth of the way down the bar.
        const int y = qRound(bar->y()) + 8;
        // Nothing but the black root lies under the bar at x 20.
        const QRgb underSquares = frame.pixel(20, y);
        QVERIFY2(qRed(underSquares) > 20, "the bar is not where it should be");

        // The side columns, third and fourth layers; both sit at the origin.
        for (const auto &[layer, x] : { std::pair(2, 5), std::pair(3, 795) }) {
            QQuickItem *square = layers.at(layer)->childAt(x, y);
            QVERIFY2(square, "no border square beside the bar");
            const QRgb expected = over(square->property("color").value<QColor>(), underSquares);
            QVERIFY2(near(frame.pixel(x, y), expected),
                     qPrintable(QString("%1 at (%2, %3) at %4 ms, expected %5")
                                        .arg(describe(frame.pixel(x, y))).arg(x).arg(y).arg(time)
                                        .arg(describe(expected))));
        }
    }
}

QTEST_MAIN(tst_ScenePixels)
#include "tst_scenepixels.moc"
