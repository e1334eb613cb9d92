#include "AppIcon.h"

// The icon lives in a static library; nothing else refers to its resource
// data, so the linker would drop it unless it is registered here.
static void registerIconResource()
{
    Q_INIT_RESOURCE(resources);
}

QIcon appIcon()
{
    static const QIcon icon = [] {
        registerIconResource();
        return QIcon(QStringLiteral(":/icons/kavelo.png"));
    }();
    return icon;
}
