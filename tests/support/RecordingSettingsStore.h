// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MemorySettingsStore.h"

#include <QStringList>

#include <functional>

// A settings store in memory that records every access, in order, as
// "read(key)" or "write(key=value)".
class RecordingSettingsStore : public MemorySettingsStore
{
public:
    mutable QStringList accesses;
    std::function<void(const QString &access)> onAccess; // sees every access as it happens

    std::optional<QString> value(const QString &key) const override
    {
        log(QStringLiteral("read(") + key + QLatin1Char(')'));
        return MemorySettingsStore::value(key);
    }
    void setValue(const QString &key, const QString &value) override
    {
        log(QStringLiteral("write(") + key + QLatin1Char('=') + value + QLatin1Char(')'));
        MemorySettingsStore::setValue(key, value);
    }

    QStringList reads() const { return accesses.filter(QStringLiteral("read(")); }

private:
    void log(const QString &access) const
    {
        accesses.append(access);
        if (onAccess)
            onAccess(access);
    }
};
