// SPDX-License-Identifier: GPL-3.0-or-later
#include "SerialDevices.h"

#include "core/SettingsModel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <cerrno>
#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString kByIdFolder = QStringLiteral("/dev/serial/by-id");
const QString kLockFolder = QStringLiteral("/run/lock");

// Device file -> its by-id link.
QHash<QString, QString> stableLinks()
{
    QHash<QString, QString> links;
    const QDir folder(kByIdFolder);
    for (const QFileInfo &link : folder.entryInfoList(QDir::System | QDir::Files, QDir::Name))
        links.insert(link.canonicalFilePath(), link.absoluteFilePath());
    return links;
}

QString userName()
{
    if (const passwd *user = ::getpwuid(::getuid()))
        return QString::fromLocal8Bit(user->pw_name);
    return QStringLiteral("$USER");
}

QString groupOf(const QString &device)
{
    struct stat status = {};
    if (::stat(QFile::encodeName(device).constData(), &status) == 0) {
        if (const group *owner = ::getgrgid(status.st_gid))
            return QString::fromLocal8Bit(owner->gr_name);
    }
    return QStringLiteral("dialout");
}

// The lock file of a serial device, as serial programs write it: its name is
// the device below /dev with "/" written "_", its first word the holder's pid.
std::optional<qint64> lockHolder(const QString &device)
{
    const QString name = QDir(QStringLiteral("/dev"))
                             .relativeFilePath(device)
                             .replace(QLatin1Char('/'), QLatin1Char('_'));
    QFile lock(kLockFolder + QStringLiteral("/LCK..") + name);
    if (!lock.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const qint64 pid = QString::fromLatin1(lock.read(64))
                           .simplified()
                           .section(QLatin1Char(' '), 0, 0)
                           .toLongLong(&ok);
    if (!ok || pid <= 0 || pid == ::getpid())
        return std::nullopt;
    // A lock left by a process that is gone holds nothing.
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return std::nullopt;
    return pid;
}

QString processName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (comm.open(QIODevice::ReadOnly))
        return QString::fromLocal8Bit(comm.readAll()).trimmed();
    return {};
}
} // namespace

QString SerialDevice::label() const
{
    return description.isEmpty() ? path : QStringLiteral("%1 (%2)").arg(description, path);
}

QList<SerialDevice> serialDevices(const SettingsModel &settings)
{
    const QHash<QString, QString> links = stableLinks();
    QList<SerialDevice> devices;
    QStringList seen;
    const auto add = [&](const QString &file, const QString &description) {
        const QString path = QFileInfo(file).canonicalFilePath();
        if (path.isEmpty() || seen.contains(path))
            return;
        seen << path;
        devices.append({path, links.value(path), description});
    };

    QHash<QString, QString> descriptions;
    const QList<QSerialPortInfo> listed = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : listed)
        descriptions.insert(QFileInfo(port.systemLocation()).canonicalFilePath(),
                            port.description());
    // What the port numbers name comes first: that is what the user set up.
    for (int n = 1; n <= 4; ++n) {
        const QString file = settings.comDevice(n);
        add(file, descriptions.value(QFileInfo(file).canonicalFilePath()));
    }
    for (const QSerialPortInfo &port : listed)
        add(port.systemLocation(), port.description());
    return devices;
}

std::optional<QString> openProblem(const QString &device)
{
    const QByteArray file = QFile::encodeName(device);
    if (::access(file.constData(), F_OK) != 0)
        return std::nullopt;
    if (::access(file.constData(), R_OK | W_OK) != 0 && errno == EACCES) {
        const QString group = groupOf(device);
        return QStringLiteral("You may not open the serial port %1. Add your user to the group "
                              "\"%2\" that owns it (sudo adduser %3 %2), then log out and in "
                              "again.")
            .arg(device, group, userName());
    }
    if (const auto pid = lockHolder(device)) {
        const QString name = processName(*pid);
        return QStringLiteral("The serial port %1 is in use by %2. Close that program and try "
                              "again.")
            .arg(device, name.isEmpty() ? QStringLiteral("process %1").arg(*pid)
                                        : QStringLiteral("%1 (process %2)").arg(name).arg(*pid));
    }
    return std::nullopt;
}
