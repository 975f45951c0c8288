// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "vexlifemodel.h"

#include <QTest>

class tst_VexLifeModel : public QObject
{
    Q_OBJECT

private slots:
    void holdsTheNumbersAsText_data();
    void holdsTheNumbersAsText();
    void hasOneColumnOfAThousandRows();
    void rowsAreEditable();
};

void tst_VexLifeModel::holdsTheNumbersAsText_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("text");

    QTest::newRow("first") << 0 << "0";
    QTest::newRow("last single digit") << 9 << "9";
    QTest::newRow("first two digits") << 10 << "10";
    QTest::newRow("first three digits") << 100 << "100";
    QTest::newRow("last") << 999 << "999";
}

void tst_VexLifeModel::holdsTheNumbersAsText()
{
    QFETCH(int, row);
    QFETCH(QString, text);

    VexLifeModel model;
    const QModelIndex index = model.index(row);
    QCOMPARE(model.data(index, Qt::DisplayRole).toString(), text);
    QCOMPARE(model.data(index, Qt::EditRole).toString(), text);
}

void tst_VexLifeModel::hasOneColumnOfAThousandRows()
{
    VexLifeModel model;
    QCOMPARE(model.rowCount(), 1000);
    QVERIFY2(!model.index(0, 1).isValid(), "a second column exists");
    QVERIFY2(!model.index(1000).isValid(), "a row past 999 exists");
}

void tst_VexLifeModel::rowsAreEditable()
{
    VexLifeModel model;
    const QModelIndex index = model.index(42);
    QVERIFY(model.flags(index) & Qt::ItemIsEditable);
    QVERIFY(model.setData(index, "forty-two"));
    QCOMPARE(model.data(index).toString(), QString("forty-two"));
    QCOMPARE(model.rowCount(), 1000);
}

QTEST_MAIN(tst_VexLifeModel)
#include "tst_vexlifemodel.moc"
