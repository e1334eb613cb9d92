// SPDX-License-Identifier: GPL-3.0-or-later
// kavelo: the desktop program, with its main window, setup window and help
// browser. `kavelo --headless` becomes kavelod, the service.

#include "Options.h"

#include "core/IniSettingsStore.h"
#include "core/SettingsModel.h"
#include "core/ThumbsLists.h"
#include "gui/AppIcon.h"
#include "gui/Messages.h"
#include "gui/mainwindow/Tarrow.h"
#include "players/PlayerFactory.h"
#include "system/StopSignals.h"

#include <QApplication>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

namespace {
const char kHeadless[] = "--headless";

// kavelod beside this program (the build folder, or /usr/bin), else on the PATH.
std::string serviceProgram()
{
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        std::string path(self, size_t(length));
        path.erase(path.rfind('/') + 1);
        path += "kavelod";
        if (::access(path.c_str(), X_OK) == 0)
            return path;
    }
    return "kavelod";
}

// This process becomes the service, with the same arguments but --headless:
// nothing of the desktop is loaded, and no display is looked for.
int handOverToService(int argc, char *argv[])
{
    const std::string program = serviceProgram();
    std::vector<char *> arguments{const_cast<char *>(program.c_str())};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], kHeadless) != 0)
            arguments.push_back(argv[i]);
    }
    arguments.push_back(nullptr);
    ::execvp(arguments.front(), arguments.data());
    std::fprintf(stderr, "kavelo: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
    return 127;
}

bool isSet(const char *variable)
{
    const char *value = std::getenv(variable);
    return value && *value;
}

// Whether one platform of QT_QPA_PLATFORM's form ("xcb", "wayland:options")
// shows windows on an X server or a Wayland compositor; "" is Qt's own choice,
// which is one of those.
bool needsDisplay(const std::string &platform)
{
    const std::string name = platform.substr(0, platform.find(':'));
    return name.empty() || name == "xcb" || name.rfind("wayland", 0) == 0;
}

// True when the window could not be shown, and Qt would end the program with an
// abort: no X server or Wayland compositor is named, and every platform that
// QT_QPA_PLATFORM asks for ("xcb;offscreen" asks for two, in turn) needs one.
bool lacksDisplay()
{
    if (isSet("DISPLAY") || isSet("WAYLAND_DISPLAY"))
        return false;
    const char *asked = std::getenv("QT_QPA_PLATFORM");
    const std::string platforms = asked ? asked : "";
    for (std::size_t start = 0;;) {
        const std::size_t end = platforms.find(';', start);
        if (!needsDisplay(platforms.substr(start, end - start)))
            return false;
        if (end == std::string::npos)
            return true;
        start = end + 1;
    }
}

bool asksForService(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], kHeadless) == 0)
            return true;
    }
    return false;
}
} // namespace

int main(int argc, char *argv[])
{
    if (asksForService(argc, argv))
        return handOverToService(argc, argv);

    QCommandLineParser parser;
    describeProgram(parser, QStringLiteral("Kavelo"),
                    QStringLiteral("An X10 RF remote control drives your music player (MPRIS or "
                                   "MPD)."));
    parser.addOption({QString::fromLatin1(kHeadless + 2),
                      QStringLiteral("Run without a window or a display, as kavelod does: the "
                                     "remote drives the player, and what a key did goes to "
                                     "standard error.")});
    // --help, --version and a wrong option are answered before a display is
    // needed: the answer is text, and the program ends with it.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!parser.parse(arguments) || parser.isSet(QStringLiteral("help")) ||
        parser.isSet(QStringLiteral("help-all")) || parser.isSet(QStringLiteral("version"))) {
        QCoreApplication app(argc, argv);
        parser.process(app);
    }

    if (lacksDisplay()) {
        std::fputs("kavelo: there is no display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                   "going on without a window, as kavelod, the program for a machine without "
                   "one\n",
                   stderr);
        return handOverToService(argc, argv);
    }

    // The help browser's web view shares its OpenGL context with the windows.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("kavelo"));
    QApplication::setWindowIcon(appIcon());

    IniSettingsStore file;
    SettingsModel settings(file);
    ThumbsLists thumbs(ThumbsLists::defaultStateFile());
    Messages messages;
    Tarrow window(settings, thumbs, createPlayer, messages);
    // A stop asked by signal ends the program as closing its window does.
    StopSignals stops;
    QObject::connect(&stops, &StopSignals::stopRequested, &window, &QWidget::close);
    window.load();
    return QApplication::exec();
}
