#pragma once

#include <QByteArray>
#include <QDir>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>

// Gives a test program its own home folder, working folder and settings file
// ($XDG_CONFIG_HOME/rarozavE.ini). Made before the application object, since
// the settings file's folder is fixed at the first use of QSettings.
class SetupTestEnvironment
{
public:
    SetupTestEnvironment()
    {
        QDir root(dir_.path());
        root.mkpath(QStringLiteral("home"));
        root.mkpath(QStringLiteral("config"));
        root.mkpath(QStringLiteral("work"));
        qputenv("HOME", QFile::encodeName(root.filePath(QStringLiteral("home"))));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath(QStringLiteral("config"))));
        // The folder list starts in the working folder, away from home.
        QDir::setCurrent(root.filePath(QStringLiteral("work")));
    }

    QString home() const { return QDir(dir_.path()).filePath(QStringLiteral("home")); }
    QString work() const { return QDir(dir_.path()).filePath(QStringLiteral("work")); }

    // Empties the real settings file.
    static void clearSettings()
    {
        QSettings file(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("rarozavE"));
        file.clear();
        file.sync();
    }

private:
    QTemporaryDir dir_;
};
