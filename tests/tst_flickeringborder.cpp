// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "showfixture.h"

#include <QColor>
#include <QQuickItem>
#include <QSet>
#include <QTest>

namespace {

struct Group
{
    const char *name;
    int count;
    // Scene position of the i-th square.
    QPoint (*position)(int i);
};

// The four groups in stacking order, after the bar and the message text.
const Group groups[] = {
    { "left column", 48, [](int i) { return QPoint(0, 10 * i); } },
    { "right column", 48, [](int i) { return QPoint(790, 10 * i); } },
    { "bottom row", 80, [](int i) { return QPoint(10 * i, 470); } },
    { "top row", 80, [](int i) { return QPoint(10 * i, 0); } },
};
constexpr int firstGroup = 2;

QList<QQuickItem *> squaresOf(QQuickItem *group)
{
    QList<QQuickItem *> squares;
    for (QQuickItem *child : group->childItems()) {
        if (child->inherits("QQuickRectangle"))
            squares.append(child);
    }
    return squares;
}

QObject *fadeOf(QQuickItem *square)
{
    const QList<QObject *> children = square->findChildren<QObject *>();
    for (QObject *child : children) {
        if (child->inherits("QQuickColorAnimation"))
            return child;
    }
    return nullptr;
}

QColor mix(const QColor &from, const QColor &to, qreal progress)
{
    return QColor::fromRgbF(from.redF() + (to.redF() - from.redF()) * progress,
                            from.greenF() + (to.greenF() - from.greenF()) * progress,
                            from.blueF() + (to.blueF() - from.blueF()) * progress,
                            from.alphaF() + (to.alphaF() - from.alphaF()) * progress);
}

bool near(const QColor &a, const QColor &b, qreal tolerance)
{
    return qAbs(a.redF() - b.redF()) <= tolerance && qAbs(a.greenF() - b.greenF()) <= tolerance
            && qAbs(a.blueF() - b.blueF()) <= tolerance && qAbs(a.alphaF() - b.alphaF()) <= tolerance;
}

}

class tst_FlickeringBorder : public QObject
{
    Q_OBJECT

private slots:
    void squaresLineTheEdgesInStackingOrder();
    void everySquareDrawsItsOwnColours();
    void fadeFollowsBorderDelay_data();
    void fadeFollowsBorderDelay();
};

void tst_FlickeringBorder::squaresLineTheEdgesInStackingOrder()
{
    ShowFixture show;
    const QList<QQuickItem *> layers = show.root()->childItems();
    QCOMPARE(layers.size(), 8);
    QCOMPARE(layers.at(1), show.sceneObject("txtmessage"));
    QCOMPARE(layers.at(6), show.sceneObject("init"));

    for (int g = 0; g < 4; ++g) {
        const Group &group = groups[g];
        const QList<QQuickItem *> squares = squaresOf(layers.at(firstGroup + g));
        QVERIFY2(squares.size() == group.count,
                 qPrintable(QString("%1 has %2 squares").arg(group.name).arg(squares.size())));
        for (int i = 0; i < squares.size(); ++i) {
            const QPoint position = squares.at(i)->mapToItem(show.root(), QPointF()).toPoint();
            QVERIFY2(position == group.position(i),
                     qPrintable(QString("%1 square %2 at (%3, %4)")
                                        .arg(group.name).arg(i).arg(position.x()).arg(position.y())));
            QCOMPARE(squares.at(i)->size(), QSizeF(10, 10));
        }
    }
}

void tst_FlickeringBorder::everySquareDrawsItsOwnColours()
{
    ShowFixture show;
    QList<QPair<QObject *, QPair<QColor, QColor>>> drawn;
    // Both ends of the fade are drawn per square, not one shared by all.
    QSet<QRgb> distinctFrom;
    QSet<QRgb> distinctTo;
    for (int g = 0; g < 4; ++g) {
        for (QQuickItem *square : squaresOf(show.root()->childItems().at(firstGroup + g))) {
            QObject *fade = fadeOf(square);
            QVERIFY2(fade, "a square does not fade");
            const QColor from = fade->property("from").value<QColor>();
            const QColor to = fade->property("to").value<QColor>();
            drawn.append({ fade, { from, to } });
            distinctFrom.insert(from.rgba());
            distinctTo.insert(to.rgba());
        }
    }
    QCOMPARE(drawn.size(), 256);
    QVERIFY2(distinctFrom.size() > 250 && distinctTo.size() > 250,
             qPrintable(QString("only %1 distinct first and %2 distinct second colours among 256 squares")
                                .arg(distinctFrom.size()).arg(distinctTo.size())));

    show.clock().runUntil(18000);
    for (const auto &[fade, pair] : drawn) {
        QCOMPARE(fade->property("from").value<QColor>(), pair.first);
        QCOMPARE(fade->property("to").value<QColor>(), pair.second);
    }
}

void tst_FlickeringBorder::fadeFollowsBorderDelay_data()
{
    QTest::addColumn<int>("borderdelay");
    QTest::addColumn<int>("changedAt");

    QTest::newRow("default") << 500 << 0;
    QTest::newRow("a second from the start") << 1000 << 0;
    QTest::newRow("a second from mid-show") << 1000 << 2100;
}

void tst_FlickeringBorder::fadeFollowsBorderDelay()
{
    QFETCH(int, borderdelay);
    QFETCH(int, changedAt);

    ShowFixture show;
    show.clock().runUntil(changedAt);
    show.root()->setProperty("borderdelay", borderdelay);
    QQuickItem *square = squaresOf(show.root()->childItems().at(firstGroup)).at(7);
    QObject *fade = fadeOf(square);
    const QColor from = fade->property("from").value<QColor>();
    const QColor to = fade->property("to").value<QColor>();

    // Sampled within the second and third fades: each runs from A to B and
    // then jumps back to A.
    for (const int cycle : { 1, 2 }) {
        for (const qreal progress : { 0.25, 0.5, 0.75 }) {
            const int time = changedAt + qRound((cycle + progress) * borderdelay);
            show.clock().runUntil(time);
            const QColor actual = square->property("color").value<QColor>();
            const QColor expected = mix(from, to, progress);
            // Two frames' worth of the fade, plus rounding to 8 bits.
            const qreal tolerance = 2.0 * ShowClock::frame / borderdelay + 2.0 / 255;
            QVERIFY2(near(actual, expected, tolerance),
                     qPrintable(QString("colour %1 at %2 ms, expected %3")
                                        .arg(actual.name(QColor::HexArgb)).arg(time)
                                        .arg(expected.name(QColor::HexArgb))));
        }
    }
}

QTEST_MAIN(tst_FlickeringBorder)
#include "tst_flickeringborder.moc"
