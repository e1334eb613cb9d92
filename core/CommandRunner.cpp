// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandRunner.h"

#include "Logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProcessEnvironment>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace {
// What a program is started with, made on the calling thread.
struct Launch
{
    std::vector<std::string> argv;
    std::vector<std::string> environment;
    std::string folder;
};

std::vector<char *> pointers(std::vector<std::string> &strings)
{
    std::vector<char *> list;
    for (std::string &text : strings)
        list.push_back(text.data());
    list.push_back(nullptr);
    return list;
}

// 0, or the errno that kept the program from starting.
int spawn(Launch &launch, pid_t &pid)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 2, 1);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawn_file_actions_addchdir_np(&actions, launch.folder.c_str());

    // Signals that this program blocks or catches (the stop signals) are the
    // program's own again.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char *> argv = pointers(launch.argv);
    std::vector<char *> environment = pointers(launch.environment);
    const int error =
        posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environment.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}
} // namespace

void CommandRunner::run(const QStringList &program, const QString &key)
{
    if (program.isEmpty())
        return;
    Launch launch;
    for (const QString &word : program)
        launch.argv.push_back(QFile::encodeName(word).toStdString());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KAVELO_KEY"), key);
    for (const QString &variable : environment.toStringList())
        launch.environment.push_back(QFile::encodeName(variable).toStdString());
    const QString home = QDir::homePath();
    launch.folder = QFile::encodeName(QDir(home).exists() ? home : QDir::rootPath()).toStdString();

    std::thread([launch = std::move(launch), self = QPointer<CommandRunner>(this),
                 name = program.first()]() mutable {
        pid_t pid = 0;
        if (const int error = spawn(launch, pid)) {
            const QString reason = QString::fromLocal8Bit(std::strerror(error));
            qCWarning(lcKeys, "cannot run %s: %s", qPrintable(name), qPrintable(reason));
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [self = std::move(self), name, reason] {
                    if (self)
                        emit self->failed(name, reason);
                },
                Qt::QueuedConnection);
            return;
        }
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
            qCWarning(lcKeys, "%s ended with exit status %d", qPrintable(name),
                      WEXITSTATUS(status));
        else if (WIFSIGNALED(status))
            qCWarning(lcKeys, "%s was ended by signal %d", qPrintable(name), WTERMSIG(status));
    }).detach();
}
