// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QTest>

namespace {

// Read in main() before the application object exists.
bool sceneResolvedBeforeApplication = false;

}

class tst_ResourceBundle : public QObject
{
    Q_OBJECT

private slots:
    void sceneResolvesBeforeTheApplication();
    void imagesHaveTheirSizeAndColour_data();
    void imagesHaveTheirSizeAndColour();
    void unknownPathsDoNotResolve_data();
    void unknownPathsDoNotResolve();
};

void tst_ResourceBundle::sceneResolvesBeforeTheApplication()
{
    QVERIFY2(sceneResolvedBeforeApplication, ":/main.qml was not registered before main()");
}

void tst_ResourceBundle::imagesHaveTheirSizeAndColour_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QColor>("colour");

    QTest::newRow("particle") << ":/particle.png" << QSize(13, 8) << QColor("#233838");
    QTest::newRow("dot") << ":/dot.png" << QSize(1, 1) << QColor("#ffffff");
}

void tst_ResourceBundle::imagesHaveTheirSizeAndColour()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(QColor, colour);

    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path + " does not load"));
    QCOMPARE(image.size(), size);
    QVERIFY2(!image.hasAlphaChannel(), "the images are plain RGB");
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            QCOMPARE(image.pixelColor(x, y), colour);
    }
}

void tst_ResourceBundle::unknownPathsDoNotResolve_data()
{
    QTest::addColumn<QString>("path");

    QTest::newRow("unknown name") << ":/missing.qml";
    QTest::newRow("wrong case") << ":/Main.qml";
    QTest::newRow("under the module path") << ":/VexShow/particle.png";
}

void tst_ResourceBundle::unknownPathsDoNotResolve()
{
    QFETCH(QString, path);
    QVERIFY2(!QFile::exists(path), qPrintable(path + " resolves"));
}

int main(int argc, char *argv[])
{
    sceneResolvedBeforeApplication = QFile::exists(":/main.qml");
    QCoreApplication app(argc, argv);
    tst_ResourceBundle test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_resourcebundle.moc"
