// SPDX-License-Identifier: GPL-3.0-or-later
#include "Autostart.h"

#include "core/PlaylistWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
// A quoted argument of an Exec line: ", `, $ and \ take a backslash, and the
// line as a whole doubles every backslash.
QByteArray execArgument(const QString &program)
{
    QString quoted;
    for (const QChar c : program) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return '"' + QFile::encodeName(quoted) + '"';
}
} // namespace

namespace Autostart {

QString entryFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/kavelo.desktop");
}

bool enabled()
{
    return QFile::exists(entryFile());
}

// The entry starts this very program, wherever it was installed or built.
bool setEnabled(bool on, QString &why)
{
    const QString file = entryFile();
    if (!on) {
        QFile entry(file);
        if (entry.exists() && !entry.remove()) {
            why = entry.errorString();
            return false;
        }
        return true;
    }
    QDir().mkpath(QFileInfo(file).absolutePath());
    const QString program = QCoreApplication::applicationFilePath();
    const QByteArray entry = "[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=Kavelo\n"
                             "Comment=Drive your music player with an X10 RF remote control\n"
                             "Exec=" +
                             execArgument(program) +
                             "\n"
                             "Icon=kavelo\n"
                             "Terminal=false\n"
                             "X-GNOME-Autostart-enabled=true\n";
    if (const auto failure = writeFileWhole(file, entry)) {
        why = failure->reason;
        return false;
    }
    return true;
}

} // namespace Autostart
