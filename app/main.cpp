#include "core/SharedState.h"
#include "mainwindow/Tarrow.h"
#include "platform/AppIcon.h"
#include "platform/IniSettingsStore.h"
#include "platform/PlayerFactory.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kavelo"));
    QApplication::setWindowIcon(appIcon());

    IniSettingsStore store;
    Tarrow window(store, sharedState(), [&store] { return createPlayer(store); });
    window.load();
    return QApplication::exec();
}
