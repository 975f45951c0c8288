// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "showframe.h"
#include "sceneview.h"

#include <QPainter>
#include <QQuickItem>
#include <QQuickWindow>
#include <QWidget>

QImage grabScene(const SceneView *view)
{
    return view->rootObject()->window()->grabWindow();
}

QImage grabShowFrame(QWidget *window)
{
    // The view renders on a real-time timer that a virtual clock never fires,
    // so the window's own picture of it lags behind the show: the scene is
    // rendered afresh and painted where the window places it.
    QImage frame = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    auto *view = window->findChild<SceneView *>();
    if (!view)
        return frame;
    QPainter painter(&frame);
    painter.drawImage(view->mapTo(window, QPoint(0, 0)),
                      grabScene(view));
    return frame;
}

QString describe(QRgb colour)
{
    return QColor(colour).name();
}

bool near(QRgb a, QRgb b)
{
    constexpr int tolerance = 3;
    return qAbs(qRed(a) - qRed(b)) <= tolerance && qAbs(qGreen(a) - qGreen(b)) <= tolerance
            && qAbs(qBlue(a) - qBlue(b)) <= tolerance;
}

QRgb over(const QColor &colour, QRgb under)
{
    const qreal a = colour.alphaF();
    return qRgb(qRound(colour.red() * a + qRed(under) * (1 - a)),
                qRound(colour.green() * a + qGreen(under) * (1 - a)),
                qRound(colour.blue() * a + qBlue(under) * (1 - a)));
}
