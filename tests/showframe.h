// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef SHOWFRAME_H
#define SHOWFRAME_H

#include <QColor>
#include <QImage>
#include <QString>

class QWidget;
class SceneView;

// The scene rendered afresh, as it stands at the current show time.
QImage grabScene(const SceneView *view);
// The show's window as the screen would show it at the current show time.
QImage grabShowFrame(QWidget *window);

// Helpers for checking a frame's pixels.
QString describe(QRgb colour);
// Equal within rounding and anti-aliasing: three steps in each channel.
bool near(QRgb a, QRgb b);
// `colour`, with its own alpha, drawn over `under`.
QRgb over(const QColor &colour, QRgb under);

#endif // SHOWFRAME_H
