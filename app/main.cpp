#include "HeadlessRemote.h"
#include "Version.h"

#include "core/SettingsModel.h"
#include "core/ThumbsLists.h"
#include "gui/AppIcon.h"
#include "gui/Messages.h"
#include "mainwindow/Tarrow.h"
#include "platform/IniSettingsStore.h"
#include "platform/PlayerFactory.h"
#include "platform/StopSignals.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstring>
#include <memory>

namespace {
// The same options in both modes; --help and --version end the program here.
void parseOptions(QCoreApplication &app, QCommandLineParser &parser)
{
    QCoreApplication::setApplicationName(QStringLiteral("Kavelo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KAVELO_VERSION));
    parser.setApplicationDescription(
        QStringLiteral("An X10 RF remote control drives your music player (MPRIS or MPD)."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("headless"),
                      QStringLiteral("Run without a window or a display: the remote drives the "
                                     "player, and what a key did goes to standard error.")});
    parser.process(app);
}

int runHeadless(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parseOptions(app, parser);

    IniSettingsStore file;
    SettingsModel settings(file);
    ThumbsLists thumbs(ThumbsLists::defaultStateFile());
    HeadlessRemote remote(settings, thumbs, [&settings] { return createPlayer(settings); });
    StopSignals stops;
    QObject::connect(&stops, &StopSignals::stopRequested, &app, [&remote] {
        remote.stop();
        QCoreApplication::quit();
    });
    remote.start();
    return QCoreApplication::exec();
}

int runWindowed(int argc, char *argv[])
{
    // The help browser's web view shares its OpenGL context with the windows.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parseOptions(app, parser);
    QApplication::setDesktopFileName(QStringLiteral("kavelo"));
    QApplication::setWindowIcon(appIcon());

    IniSettingsStore file;
    SettingsModel settings(file);
    ThumbsLists thumbs(ThumbsLists::defaultStateFile());
    Messages messages;
    Tarrow window(
        settings, thumbs, [&settings] { return createPlayer(settings); }, messages);
    // A stop asked by signal ends the program as closing its window does.
    StopSignals stops;
    QObject::connect(&stops, &StopSignals::stopRequested, &window, &QWidget::close);
    window.load();
    return QApplication::exec();
}
} // namespace

// The kind of application is chosen before one exists: without a window no
// display is needed, nor looked for.
int main(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0)
            return runHeadless(argc, argv);
    }
    return runWindowed(argc, argv);
}
