// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "backendchooser.h"

#include <QTest>

#include <functional>

namespace {

QProcessEnvironment environmentOf(const QStringList &entries)
{
    QProcessEnvironment environment;
    for (const QString &entry : entries)
        environment.insert(entry.section('=', 0, 0), entry.section('=', 1));
    return environment;
}

using Probe = std::function<QByteArray()>;

// What is wrong with a decision made with an OpenGL probe that answers
// renderer, or nothing.
QString decisionFault(const std::function<bool(const Probe &)> &decide, const QByteArray &renderer,
                      bool software, bool asksOpenGL)
{
    bool asked = false;
    const bool chosen = decide([&] {
        asked = true;
        return renderer;
    });
    if (chosen != software)
        return chosen ? "chose the software backend where it should not" : "kept the default backend where software is wanted";
    // Asking OpenGL loads a driver, which costs start-up time and memory.
    if (asked != asksOpenGL)
        return asked ? "asked OpenGL where the answer was already known" : "decided without asking OpenGL";
    return {};
}

} // namespace

class tst_BackendChooser : public QObject
{
    Q_OBJECT

private slots:
    void decides_data();
    void decides();
    void decidesWithoutDeviceNodes_data();
    void decidesWithoutDeviceNodes();
    void recognisesSoftwareRasterizers_data();
    void recognisesSoftwareRasterizers();
};

void tst_BackendChooser::decides_data()
{
    QTest::addColumn<QStringList>("env");
    QTest::addColumn<QStringList>("devices");
    QTest::addColumn<QByteArray>("renderer");
    QTest::addColumn<bool>("software");
    QTest::addColumn<bool>("asksOpenGL");

    const QByteArray llvmpipe = "llvmpipe (LLVM 15.0.6, 256 bits)";
    const QByteArray intel = "Mesa Intel(R) UHD Graphics 620 (KBL GT2)";

    QTest::newRow("no device at all") << QStringList() << QStringList() << intel << true << false;
    QTest::newRow("framebuffer card only")
        << QStringList() << QStringList{"dri/card0"} << intel << true << false;
    QTest::newRow("NVIDIA control node only")
        << QStringList() << QStringList{"nvidiactl"} << intel << true << false;
    QTest::newRow("render node, hardware GL")
        << QStringList() << QStringList{"dri/card0", "dri/renderD128"} << intel << false << true;
    QTest::newRow("NVIDIA GPU node, hardware GL")
        << QStringList() << QStringList{"nvidia0", "nvidiactl"}
        << QByteArray("NVIDIA GeForce GTX 1080/PCIe/SSE2") << false << true;
    // A GPU in the machine, but GL comes through a remote or forced software path.
    QTest::newRow("render node, llvmpipe")
        << QStringList() << QStringList{"dri/renderD128"} << llvmpipe << true << true;
    QTest::newRow("render node, no OpenGL")
        << QStringList() << QStringList{"dri/renderD128"} << QByteArray() << true << true;

    QTest::newRow("user chose software")
        << QStringList{"QT_QUICK_BACKEND=software"} << QStringList() << llvmpipe << false << false;
    QTest::newRow("user chose the GPU path")
        << QStringList{"QT_QUICK_BACKEND=rhi"} << QStringList() << llvmpipe << false << false;
    QTest::newRow("user chose through the older name")
        << QStringList{"QMLSCENE_DEVICE=softwarecontext"} << QStringList() << llvmpipe << false << false;
    QTest::newRow("user chose a graphics API")
        << QStringList{"QSG_RHI_BACKEND=opengl"} << QStringList{"dri/renderD128"} << llvmpipe
        << false << false;
    QTest::newRow("empty variable is no choice")
        << QStringList{"QT_QUICK_BACKEND="} << QStringList() << intel << true << false;
}

void tst_BackendChooser::decides()
{
    QFETCH(QStringList, env);
    QFETCH(QStringList, devices);
    QFETCH(QByteArray, renderer);
    QFETCH(bool, software);
    QFETCH(bool, asksOpenGL);

    const QString fault = decisionFault([&](const Probe &probe) {
        return BackendChooser::wantsSoftware(environmentOf(env), devices, probe);
    }, renderer, software, asksOpenGL);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

// As on Windows, where only the OpenGL driver can tell.
void tst_BackendChooser::decidesWithoutDeviceNodes_data()
{
    QTest::addColumn<QStringList>("env");
    QTest::addColumn<QByteArray>("renderer");
    QTest::addColumn<bool>("software");
    QTest::addColumn<bool>("asksOpenGL");

    QTest::newRow("GPU driver") << QStringList() << QByteArray("NVIDIA GeForce GTX 1080/PCIe/SSE2")
                                << false << true;
    QTest::newRow("no GPU driver") << QStringList() << QByteArray("GDI Generic") << true << true;
    QTest::newRow("Wine on llvmpipe") << QStringList() << QByteArray("llvmpipe (LLVM 15.0.6, 256 bits)")
                                      << true << true;
    QTest::newRow("no OpenGL") << QStringList() << QByteArray() << true << true;
    QTest::newRow("user chose") << QStringList{"QT_QUICK_BACKEND=rhi"} << QByteArray("GDI Generic")
                                << false << false;
}

void tst_BackendChooser::decidesWithoutDeviceNodes()
{
    QFETCH(QStringList, env);
    QFETCH(QByteArray, renderer);
    QFETCH(bool, software);
    QFETCH(bool, asksOpenGL);

    const QString fault = decisionFault([&](const Probe &probe) {
        return BackendChooser::wantsSoftware(environmentOf(env), probe);
    }, renderer, software, asksOpenGL);
    QVERIFY2(fault.isEmpty(), qPrintable(fault));
}

void tst_BackendChooser::recognisesSoftwareRasterizers_data()
{
    QTest::addColumn<QByteArray>("renderer");
    QTest::addColumn<bool>("software");

    QTest::newRow("llvmpipe") << QByteArray("llvmpipe (LLVM 15.0.6, 256 bits)") << true;
    QTest::newRow("old llvmpipe") << QByteArray("Gallium 0.4 on llvmpipe (LLVM 3.4, 128 bits)") << true;
    QTest::newRow("softpipe") << QByteArray("softpipe") << true;
    QTest::newRow("swrast") << QByteArray("Mesa X11 swrast") << true;
    QTest::newRow("classic") << QByteArray("Software Rasterizer") << true;
    QTest::newRow("WARP under WSL")
        << QByteArray("D3D12 (Microsoft Basic Render Driver)") << true;
    QTest::newRow("Windows without a GPU driver") << QByteArray("GDI Generic") << true;
    // Hardware drivers that also name LLVM, their shader compiler.
    QTest::newRow("radeon") << QByteArray("AMD Radeon RX 580 (polaris10, LLVM 15.0.6, DRM 3.49)") << false;
    QTest::newRow("intel") << QByteArray("Mesa Intel(R) UHD Graphics 620 (KBL GT2)") << false;
    QTest::newRow("virgl") << QByteArray("virgl (Mesa Intel(R) Xe Graphics)") << false;
    QTest::newRow("VMware") << QByteArray("SVGA3D; build: RELEASE; LLVM;") << false;
}

void tst_BackendChooser::recognisesSoftwareRasterizers()
{
    QFETCH(QByteArray, renderer);
    QFETCH(bool, software);

    QCOMPARE(BackendChooser::isSoftwareRasterizer(renderer), software);
}

QTEST_MAIN(tst_BackendChooser)
#include "tst_backendchooser.moc"
