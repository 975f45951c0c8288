#include "showframe.h"

#include <QPainter>
#include <QQuickWidget>
#include <QWidget>

QImage grabShowFrame(QWidget *window)
{
    // The view renders on a real-time timer that a virtual clock never fires,
    // so the window's own picture of it lags behind the show: the scene is
    // rendered afresh and painted where the window places it.
    QImage frame = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    auto *view = window->findChild<QQuickWidget *>();
    if (!view)
        return frame;
    QPainter painter(&frame);
    painter.drawImage(view->mapTo(window, QPoint(0, 0)),
                      view->grabFramebuffer());
    return frame;
}
