// SPDX-License-Identifier: GPL-3.0-or-later
#include "Settings.h"

#include <QSysInfo>

#include "SettingsStore.h"

#include <QDir>
#include <QStandardPaths>

#include <cmath>
#include <limits>

namespace Keys {
QString playlist(int n)
{
    return QStringLiteral("playlist%1").arg(n);
}

QString comDevice(int n)
{
    return QStringLiteral("comDevice%1").arg(n);
}

bool choosesPlayer(const QString &key)
{
    return key == player || key == mprisPlayer || key == mpdHost || key == mpdPort ||
           key == mpdMusicDir;
}

bool choosesBroker(const QString &key)
{
    return key == mqttHost || key == mqttPort || key == mqttUser || key == mqttPassword ||
           key == mqttCaFile || key == mqttNode || key == mqttPrefix || key == mqttDiscovery;
}
} // namespace Keys

namespace Defaults {
static QString inMusicFolder(const QString &fileName)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    return folder + QLatin1Char('/') + fileName;
}

QString thumbsup()
{
    return inMusicFolder(QStringLiteral("keepers.m3u"));
}

QString thumbsdown()
{
    return inMusicFolder(QStringLiteral("loosers.m3u"));
}

QString thumbsFolder()
{
    return QDir::homePath() + QLatin1Char('/');
}

QString dir1Path()
{
    return QDir::homePath();
}

QString mpdMusicDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
}

QString comDevice(int n)
{
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
}

QString mqttNode()
{
    QString node;
    for (const QChar c : QSysInfo::machineHostName().toLower()) {
        if ((c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'-')
            node += c;
    }
    return node.isEmpty() ? QStringLiteral("kavelo") : node;
}
} // namespace Defaults

// Whole decimal numbers only: surrounding blanks are tolerated, a sign is allowed.
static std::optional<qlonglong> toInteger(const QString &text)
{
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

std::optional<quint8> toByte(const QString &text)
{
    const auto value = toInteger(text);
    if (!value || *value < 0 || *value > std::numeric_limits<quint8>::max())
        return std::nullopt;
    return static_cast<quint8>(*value);
}

std::optional<qint16> toInt16(const QString &text)
{
    const auto value = toInteger(text);
    if (!value || *value < std::numeric_limits<qint16>::min() ||
        *value > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return static_cast<qint16>(*value);
}

std::optional<quint16> toPort(const QString &text)
{
    const auto value = toInteger(text);
    if (!value || *value < 0 || *value > std::numeric_limits<quint16>::max())
        return std::nullopt;
    return static_cast<quint16>(*value);
}

std::optional<bool> toBoolean(const QString &text)
{
    const QString word = text.trimmed();
    if (word.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (word.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    if (const auto integer = toInteger(word))
        return *integer != 0;
    bool ok = false;
    const double number = word.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return std::nullopt;
    return number != 0.0;
}

QString numberText(int value)
{
    return QString::number(value);
}

QString booleanText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

template <typename T, typename Convert>
static T readConverted(const SettingsStore &store, const QString &key, const QString &defaultValue,
                       Convert convert)
{
    if (const auto value = convert(readSetting(store, key, defaultValue)))
        return *value;
    return convert(defaultValue).value_or(T{});
}

quint8 readByte(const SettingsStore &store, const QString &key, const QString &defaultValue)
{
    return readConverted<quint8>(store, key, defaultValue, toByte);
}

qint16 readInt16(const SettingsStore &store, const QString &key, const QString &defaultValue)
{
    return readConverted<qint16>(store, key, defaultValue, toInt16);
}

bool readBoolean(const SettingsStore &store, const QString &key, const QString &defaultValue)
{
    return readConverted<bool>(store, key, defaultValue, toBoolean);
}
