#include "AppIcon.h"

QIcon appIcon()
{
    static const QIcon icon(QStringLiteral(":/icons/kavelo.png"));
    return icon;
}
