// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/SettingsStore.h"

#include <QHash>

// A settings store that lives in memory only: the seam for tests of the core.
class MemorySettingsStore : public SettingsStore
{
public:
    std::optional<QString> value(const QString &key) const override
    {
        const auto it = values.constFind(key);
        if (it == values.constEnd())
            return std::nullopt;
        return *it;
    }
    void setValue(const QString &key, const QString &value) override { values.insert(key, value); }
    QMap<QString, QString> keyMap() const override { return keys; }
    void setKeyBinding(const QString &key, const std::optional<QString> &value) override
    {
        if (value)
            keys.insert(key, *value);
        else
            keys.remove(key);
    }

    QHash<QString, QString> values;
    QMap<QString, QString> keys; // the group [Keys]
};
