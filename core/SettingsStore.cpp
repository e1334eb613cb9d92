#include "SettingsStore.h"

QString readSetting(const SettingsStore &store, const QString &key, const QString &defaultValue)
{
    return store.value(key).value_or(defaultValue);
}

std::optional<QString> MemorySettingsStore::value(const QString &key) const
{
    const auto it = values.constFind(key);
    if (it == values.constEnd())
        return std::nullopt;
    return *it;
}

void MemorySettingsStore::setValue(const QString &key, const QString &value)
{
    values.insert(key, value);
}
