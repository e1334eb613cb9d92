// SPDX-License-Identifier: GPL-3.0-or-later
#include "IniSettingsStore.h"
#include "core/Logging.h"

#include <QFile>
#include <QStringList>

namespace {
const QString kGroup = QStringLiteral("Startup/");
}

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

// A damaged file was noticed when it was read (at start, or by reload()), before
// this write replaces it.
void IniSettingsStore::setValue(const QString &key, const QString &value)
{
    settings_.setValue(kGroup + key, value);
    sync();
}

// The file is read at the first look into it; a damaged one is noticed here.
void IniSettingsStore::reload()
{
    settings_.contains(kGroup + QStringLiteral("comn"));
    sync();
}

// Reads what another process wrote and writes what this one changed. QSettings
// keeps its first error, so the first failure is the one reported.
void IniSettingsStore::sync() const
{
    settings_.sync();
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
