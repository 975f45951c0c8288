// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#ifndef VEXLIFEMODEL_H
#define VEXLIFEMODEL_H

#include <QStringListModel>

// The numbers 0 to 999 as strings, one per row, published to the scene.
class VexLifeModel : public QStringListModel
{
    Q_OBJECT

public:
    explicit VexLifeModel(QObject *parent = nullptr);
};

#endif // VEXLIFEMODEL_H
