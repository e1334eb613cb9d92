// SPDX-License-Identifier: GPL-3.0-or-later
#include "IniSettingsStore.h"
#include "core/Logging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString kGroup = QStringLiteral("Startup/");
const QString kKeysGroup = QStringLiteral("Keys");

// The values of the group [Keys] as the file spells them, for each key that
// was not written quoted.
QMap<QString, QString> literalKeyValues(const QString &file)
{
    QFile ini(file);
    QMap<QString, QString> values;
    if (!ini.open(QIODevice::ReadOnly | QIODevice::Text))
        return values;
    bool inKeys = false;
    while (!ini.atEnd()) {
        const QString line = QString::fromUtf8(ini.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inKeys = line == QLatin1Char('[') + kKeysGroup + QLatin1Char(']');
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inKeys || equals <= 0 || line.startsWith(QLatin1Char(';')))
            continue;
        const QString value = line.mid(equals + 1).trimmed();
        if (!value.startsWith(QLatin1Char('"')))
            values.insert(line.left(equals).trimmed(), value);
    }
    return values;
}

// The value as the INI format writes it without quotes; an unquoted value
// that reads back as `value` and is spelt so was written by this program.
QString unquotedIniText(const QString &value)
{
    QString text;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'\\':
        case u'"':
            text += QLatin1Char('\\') + c;
            break;
        case u'\t':
            text += QStringLiteral("\\t");
            break;
        case u'\n':
            text += QStringLiteral("\\n");
            break;
        case u'\r':
            text += QStringLiteral("\\r");
            break;
        default:
            text += c;
        }
    }
    return text;
}
} // namespace

IniSettingsStore::IniSettingsStore()
    : settings_(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("rarozavE"))
{
    reload();
}

QString IniSettingsStore::fileName() const
{
    return settings_.fileName();
}

std::optional<QString> IniSettingsStore::value(const QString &key) const
{
    const QVariant stored = settings_.value(kGroup + key);
    if (!stored.isValid())
        return std::nullopt;
    // An unquoted value with commas, written by hand, reads back as a list.
    if (stored.userType() == QMetaType::QStringList)
        return stored.toStringList().join(QLatin1Char(','));
    return stored.toString();
}

QMap<QString, QString> IniSettingsStore::keyMap() const
{
    QMap<QString, QString> map;
    settings_.beginGroup(kKeysGroup);
    for (const QString &key : settings_.childKeys()) {
        const QVariant stored = settings_.value(key);
        map.insert(key, stored.userType() == QMetaType::QStringList
                            ? stored.toStringList().join(QLatin1Char(','))
                            : stored.toString());
    }
    settings_.endGroup();
    return map;
}

void IniSettingsStore::setKeyBinding(const QString &key, const std::optional<QString> &value)
{
    const QString path = kKeysGroup + QLatin1Char('/') + key;
    if (value)
        settings_.setValue(path, *value);
    else
        settings_.remove(path);
    sync(Access::Write);
}

// Where the INI reading changed what a hand wrote ("run sh -c "a; b"" loses its
// quotes and all after the semicolon), the value is set again as written, so
// that it reads right and is written back quoted, meaning the same.
void IniSettingsStore::adoptHandWrittenBindings()
{
    const QMap<QString, QString> literal = literalKeyValues(settings_.fileName());
    const QMap<QString, QString> read = keyMap();
    bool adopted = false;
    for (auto it = literal.cbegin(); it != literal.cend(); ++it) {
        const QString value = read.value(it.key());
        if (read.contains(it.key()) && value != it.value() &&
            unquotedIniText(value) != it.value()) {
            settings_.setValue(kKeysGroup + QLatin1Char('/') + it.key(), it.value());
            adopted = true;
        }
    }
    if (adopted)
        sync(Access::Write);
}

// A damaged file was noticed when it was read (at start, or by reload()), before
// this write replaces it.
void IniSettingsStore::setValue(const QString &key, const QString &value)
{
    settings_.setValue(kGroup + key, value);
    sync(Access::Write);
}

// The file is read at the first look into it; a damaged one is noticed here.
void IniSettingsStore::reload()
{
    settings_.contains(kGroup + QStringLiteral("comn"));
    sync(Access::Read);
    adoptHandWrittenBindings();
}

// Reads what another process wrote and writes what this one changed. QSettings
// keeps its first error, so the first failure is the one reported.
void IniSettingsStore::sync(Access access) const
{
    keepPrivate(access);
    settings_.sync();
    // A file that belonged to another user (root, who wrote it by hand for the
    // service) is this user's once it has been replaced, and can be closed now.
    if (access == Access::Write)
        keepPrivate(Access::Read);
    if (failureReported_ || settings_.status() == QSettings::NoError)
        return;
    failureReported_ = true;
    const QString file = settings_.fileName();
    if (settings_.status() == QSettings::FormatError) {
        // The next write replaces the file with what could be read of it.
        const QString copy = file + QStringLiteral(".damaged");
        QFile::remove(copy);
        if (QFile::copy(file, copy))
            qCWarning(lcSettings,
                      "the settings file %s is damaged; what cannot be read uses the "
                      "defaults, and the damaged file is kept as %s",
                      qPrintable(file), qPrintable(copy));
        else
            qCWarning(lcSettings,
                      "the settings file %s is damaged; what cannot be read uses the "
                      "defaults",
                      qPrintable(file));
        return;
    }
    qCWarning(lcSettings,
              "cannot read or write the settings file %s; settings are kept in memory "
              "for this run",
              qPrintable(file));
}

// QSettings makes a new file as open as the umask lets it, and replaces an
// existing one by a temporary file that takes the old one's mode. So a file
// made private here, before the first write, stays private through every
// write after it, and is never open to others, not even for a moment.
void IniSettingsStore::keepPrivate(Access access) const
{
    const QString file = settings_.fileName();
    const QByteArray path = QFile::encodeName(file);
    struct stat info = {};
    if (::stat(path.constData(), &info) != 0) {
        if (errno != ENOENT || access == Access::Read)
            return;
        QDir().mkpath(QFileInfo(file).absolutePath());
        const int made =
            ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (made >= 0)
            ::close(made);
        return;
    }
    const mode_t mode = info.st_mode & 07777;
    if (!S_ISREG(info.st_mode) || (mode & (S_IRWXG | S_IRWXO)) == 0)
        return;
    const mode_t closed = mode & S_IRWXU;
    const int failure = ::chmod(path.constData(), closed) == 0 ? 0 : errno;
    if (failure == 0) {
        qCWarning(lcSettings,
                  "the settings file %s, which holds passwords, was open to other users "
                  "(mode %04o); it is now its owner's alone (mode %04o)",
                  qPrintable(file), unsigned(mode), unsigned(closed));
        return;
    }
    if (privacyFailureReported_)
        return;
    privacyFailureReported_ = true;
    qCWarning(lcSettings,
              "the settings file %s, which holds passwords, is open to other users (mode %04o) "
              "and cannot be made its owner's alone: %s",
              qPrintable(file), unsigned(mode), std::strerror(failure));
}
