// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppIcon.h"

QIcon appIcon()
{
    static const QIcon icon = [] {
        QIcon sizes;
        for (const int size : {16, 32, 48, 64, 128, 256})
            sizes.addFile(QStringLiteral(":/icons/kavelo-%1.png").arg(size), QSize(size, size));
        return sizes;
    }();
    return icon;
}
