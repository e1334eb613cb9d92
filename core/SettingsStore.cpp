// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsStore.h"

QString readSetting(const SettingsStore &store, const QString &key, const QString &defaultValue)
{
    return store.value(key).value_or(defaultValue);
}
