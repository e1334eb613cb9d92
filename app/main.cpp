#include "core/SharedState.h"
#include "mainwindow/Tarrow.h"
#include "platform/AppIcon.h"
#include "platform/IniSettingsStore.h"
#include "platform/PlayerFactory.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The help browser's web view shares its OpenGL context with the windows.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kavelo"));
    QApplication::setApplicationVersion(QStringLiteral("1.1"));
    QApplication::setDesktopFileName(QStringLiteral("kavelo"));
    QApplication::setWindowIcon(appIcon());

    IniSettingsStore store;
    Tarrow window(store, sharedState(), [&store] { return createPlayer(store); });
    window.load();
    return QApplication::exec();
}
