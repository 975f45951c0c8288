// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "contactsheet.h"

#include <QPainter>

namespace {

constexpr int gap = 8;
constexpr int captionHeight = 24;

}

ContactSheet::ContactSheet(int columns, qreal scale)
    : m_columns(columns), m_scale(scale)
{
}

void ContactSheet::addFrame(qint64 time, const QImage &frame)
{
    m_frames.append({ time, frame });
}

QImage ContactSheet::render() const
{
    if (m_frames.isEmpty())
        return {};

    // Every frame is drawn in the cell of the largest one, so frames of a
    // resized window still line up.
    QSize cell;
    for (const Frame &frame : m_frames)
        cell = cell.expandedTo(frame.image.size() * m_scale);
    const int columns = qMin(m_columns, int(m_frames.size()));
    const int rows = (int(m_frames.size()) + columns - 1) / columns;
    const QSize pitch(cell.width() + gap, cell.height() + captionHeight + gap);

    QImage sheet(columns * pitch.width() + gap, rows * pitch.height() + gap,
                 QImage::Format_RGB32);
    // Dark grey, so the black edges of each frame stay visible.
    sheet.fill(QColor(48, 48, 48));

    QPainter painter(&sheet);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QFont font = painter.font();
    font.setPixelSize(captionHeight * 2 / 3);
    painter.setFont(font);
    painter.setPen(Qt::white);

    for (int i = 0; i < m_frames.size(); ++i) {
        const Frame &frame = m_frames.at(i);
        const QPoint origin(gap + (i % columns) * pitch.width(),
                            gap + (i / columns) * pitch.height());
        const QRect target(origin, frame.image.size() * m_scale);
        painter.drawImage(target, frame.image);
        const QRect caption(origin.x(), origin.y() + cell.height(), cell.width(), captionHeight);
        painter.drawText(caption, Qt::AlignCenter, QString("%1 s").arg(frame.time / 1000.0, 0, 'f', 1));
    }
    return sheet;
}
