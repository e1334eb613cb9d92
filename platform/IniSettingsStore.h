#pragma once

#include "core/SettingsStore.h"

#include <QSettings>

// The settings store on disk: $XDG_CONFIG_HOME/rarozavE.ini, group [Startup].
// Every write reaches the file at once; every read sees what another process wrote.
class IniSettingsStore : public SettingsStore
{
public:
    IniSettingsStore();

    std::optional<QString> value(const QString &key) const override;
    void setValue(const QString &key, const QString &value) override;

    QString fileName() const;

private:
    mutable QSettings settings_;
};
