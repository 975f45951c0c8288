#ifndef SHOWFRAME_H
#define SHOWFRAME_H

#include <QImage>

class QWidget;

// The show's window as the screen would show it at the current show time.
QImage grabShowFrame(QWidget *window);

#endif // SHOWFRAME_H
