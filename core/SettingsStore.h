// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMap>
#include <QString>

#include <optional>

// The per-user settings store: string values under the "Startup" section of
// application "rarozavE". A missing key and an empty value are different things.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;

    // The stored string, or nothing when the key was never written.
    virtual std::optional<QString> value(const QString &key) const = 0;
    virtual void setValue(const QString &key, const QString &value) = 0;

    // The key map, the group [Keys] of the same file: key name and value.
    virtual QMap<QString, QString> keyMap() const { return {}; }
    // Writes one key of the key map; nothing removes it.
    virtual void setKeyBinding(const QString &key, const std::optional<QString> &value)
    {
        Q_UNUSED(key);
        Q_UNUSED(value);
    }

    // Takes in what another program or a hand edit changed since the last read.
    virtual void reload() {}
    // The file behind the store, "" when it lives in memory only.
    virtual QString fileName() const { return {}; }
};

// The one way to read a setting: the stored string, or the default when missing.
QString readSetting(const SettingsStore &store, const QString &key, const QString &defaultValue);
