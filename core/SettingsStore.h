// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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

    // Takes in what another program or a hand edit changed since the last read.
    virtual void reload() {}
    // The file behind the store, "" when it lives in memory only.
    virtual QString fileName() const { return {}; }
};

// The one way to read a setting: the stored string, or the default when missing.
QString readSetting(const SettingsStore &store, const QString &key, const QString &defaultValue);
