// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/SettingsStore.h"

#include <QSettings>

// The settings store on disk: $XDG_CONFIG_HOME/rarozavE.ini, group [Startup].
// Every write reaches the file at once. Reads come from memory: reload() takes in
// what another process or a hand edit wrote.
// A file that cannot be read or written never stops the program: what cannot be
// read falls back to the defaults, what cannot be written is kept in memory, and
// the first failure is reported once on stderr.
//
// The key map, group [Keys], holds command lines, whose quotes, commas,
// semicolons and backslashes the INI format would read as its own: a value
// written by hand is taken literally, as a user reads it, and kept so when
// the file is written again. A damaged file is copied aside
// to "<file>.damaged" before it is written again.
//
// The file holds passwords (MPD's in mpdHost, the broker's in mqttPassword):
// only its owner may read or write it. A new file is made so before anything
// is written into it, and a file found open to its group or to others is
// closed to them, at start and before every write, and said once each time.
class IniSettingsStore : public SettingsStore
{
public:
    IniSettingsStore();

    std::optional<QString> value(const QString &key) const override;
    void setValue(const QString &key, const QString &value) override;
    QMap<QString, QString> keyMap() const override;
    void setKeyBinding(const QString &key, const std::optional<QString> &value) override;
    void reload() override;
    QString fileName() const override;

private:
    enum class Access
    {
        Read,
        Write
    };
    void sync(Access access) const;
    void keepPrivate(Access access) const;
    void adoptHandWrittenBindings();

    mutable QSettings settings_;
    mutable bool failureReported_ = false;
    mutable bool privacyFailureReported_ = false;
};
