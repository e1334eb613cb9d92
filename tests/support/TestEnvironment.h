// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// A test's own places, in a temporary folder: home/, config/, state/ and
// work/. They become HOME, XDG_CONFIG_HOME and XDG_STATE_HOME of the test
// process, which then works in work/, and processEnvironment() hands them to
// the programs the test starts. Made before anything reads the settings,
// since QSettings fixes the settings file's folder at its first use.
class TestEnvironment
{
public:
    TestEnvironment()
    {
        for (const QString &folder : {home(), config(), state(), work()})
            QDir().mkpath(folder);
        qputenv("HOME", QFile::encodeName(home()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config()));
        qputenv("XDG_STATE_HOME", QFile::encodeName(state()));
        // The folder the program starts in, away from home.
        QDir::setCurrent(work());
    }

    TestEnvironment(const TestEnvironment &) = delete;
    TestEnvironment &operator=(const TestEnvironment &) = delete;

    QString home() const { return root_.filePath(QStringLiteral("home")); }
    QString config() const { return root_.filePath(QStringLiteral("config")); }
    QString state() const { return root_.filePath(QStringLiteral("state")); }
    QString work() const { return root_.filePath(QStringLiteral("work")); }
    // The program's settings file.
    QString settingsFile() const { return config() + QStringLiteral("/rarozavE.ini"); }

    // Leaves no settings behind: the file, a folder made in its place, and the
    // copy kept of a damaged file.
    void clearSettings() const
    {
        QDir(settingsFile()).removeRecursively();
        QFile::remove(settingsFile());
        QFile::remove(settingsFile() + QStringLiteral(".damaged"));
    }

    // This process's environment with the same places, for a program the test starts.
    QProcessEnvironment processEnvironment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config());
        environment.insert(QStringLiteral("XDG_STATE_HOME"), state());
        return environment;
    }

private:
    QTemporaryDir root_;
};
