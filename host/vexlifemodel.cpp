// SPDX-FileCopyrightText: 2026 the vexshow developers
// SPDX-License-Identifier: BSD-3-Clause

#include "vexlifemodel.h"

VexLifeModel::VexLifeModel(QObject *parent)
    : QStringListModel(parent)
{
    QStringList numbers;
    numbers.reserve(1000);
    for (int i = 0; i < 1000; ++i)
        numbers.append(QString::number(i, 10));
    setStringList(numbers);
}
