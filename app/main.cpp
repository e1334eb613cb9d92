#include "core/SettingsModel.h"
#include "mainwindow/Tarrow.h"
#include "platform/AppIcon.h"
#include "platform/IniSettingsStore.h"
#include "platform/PlayerFactory.h"
#include "platform/StopSignals.h"

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

    IniSettingsStore file;
    SettingsModel settings(file);
    Tarrow window(settings, [&settings] { return createPlayer(settings); });
    // A stop asked by signal ends the program as closing its window does.
    StopSignals stops;
    QObject::connect(&stops, &StopSignals::stopRequested, &window, &QWidget::close);
    window.load();
    return QApplication::exec();
}
