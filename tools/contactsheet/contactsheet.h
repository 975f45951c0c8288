// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef CONTACTSHEET_H
#define CONTACTSHEET_H

#include <QImage>
#include <QList>

// Frames of the show laid out in a grid, each captioned with its show time.
class ContactSheet
{
public:
    explicit ContactSheet(int columns = 3, qreal scale = 0.5);

    void addFrame(qint64 time, const QImage &frame);
    QImage render() const;

private:
    struct Frame {
        qint64 time;
        QImage image;
    };

    int m_columns;
    qreal m_scale;
    QList<Frame> m_frames;
};

#endif // CONTACTSHEET_H
