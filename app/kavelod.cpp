// SPDX-License-Identifier: GPL-3.0-or-later
// kavelod: Kavelo without a window, for a music server or any machine without
// a display. It links no GUI: Qt Core, Qt D-Bus, Qt Serial Port and libmpdclient.

#include "Options.h"

#include "core/IniSettingsStore.h"
#include "core/SettingsModel.h"
#include "core/ThumbsLists.h"
#include "players/PlayerFactory.h"
#include "service/HeadlessRemote.h"
#include "system/StopSignals.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    describeProgram(parser, QStringLiteral("kavelod"),
                    QStringLiteral("The X10 RF remote control drives your music player (MPD or "
                                   "MPRIS), without a window: what a key did goes to standard "
                                   "error."));
    parser.process(app);

    IniSettingsStore file;
    SettingsModel settings(file);
    ThumbsLists thumbs(ThumbsLists::defaultStateFile());
    HeadlessRemote remote(settings, thumbs, createPlayer);
    // A service stop, a logout or Ctrl+C: the port is closed and its lock goes.
    StopSignals stops;
    QObject::connect(&stops, &StopSignals::stopRequested, &app, [&remote] {
        remote.stop();
        QCoreApplication::quit();
    });
    remote.start();
    return QCoreApplication::exec();
}
