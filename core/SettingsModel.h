// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "KeyBinding.h"
#include "SettingsStore.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>

#include <optional>

class QFileSystemWatcher;

// The keys of the broker, read together as one value. The host empty means
// no broker.
struct BrokerChoice
{
    QString host;
    quint16 port = 0; // 0: 1883, or 8883 with TLS
    QString user;
    QString password;
    QString caFile; // set: TLS, the broker verified against it
    QString node;
    QString prefix;
    QString discovery; // "" = no discovery

    bool operator==(const BrokerChoice &) const = default;
};

// The keys that choose the player, read together as one value: the settings
// are read on their own thread, and the player is made on another.
struct PlayerChoice
{
    QString player;
    QString mprisPlayer;
    QString mpdHost;
    std::optional<quint16> mpdPort;
    QString mpdMusicDir;

    bool operator==(const PlayerChoice &) const = default;
};

// Every setting of the program, in memory. The store is read once; each change
// is written through to it at once, and a change that another program or a hand
// edit makes to the file is taken in as soon as the file changes. Both windows,
// the dispatch and the serial port read and write their settings here.
//
// Each key has one reader below, with its default and its conversion. Where the
// two windows read a key by different rules, both readers stand side by side.
class SettingsModel : public QObject, public SettingsStore
{
    Q_OBJECT

public:
    explicit SettingsModel(SettingsStore &store, QObject *parent = nullptr);
    ~SettingsModel() override;

    // SettingsStore: answered from memory; a write reaches the store before it returns.
    std::optional<QString> value(const QString &key) const override;
    void setValue(const QString &key, const QString &value) override;
    void reload() override;
    QString fileName() const override;
    QMap<QString, QString> keyMap() const override;
    void setKeyBinding(const QString &key, const std::optional<QString> &value) override;

    // The main window's rules.
    quint8 mainPort() const;        // "comn", default 5
    QString houseCode() const;      // "housecode", default "A"; stored empty means "B"
    bool bankLower() const;         // "bankb": true = unit codes 1-8
    QString thumbsUpFile() const;   // "thumbsup"
    QString thumbsDownFile() const; // "thumbsdown"
    qint16 volume() const;          // "volume", taken as stored when it converts
    quint8 volStep() const;         // "volSteps", 0..255

    // The setup window's rules: a value a control cannot take leaves the control as it is.
    QString setupPort() const;                  // "comn" as text, default "2"
    QString setupHouseCode() const;             // stored empty means "A"
    std::optional<bool> setupBankLower() const; // nothing when it does not convert
    std::optional<qint16> setupVolStep() const; // nothing when it does not convert
    QString tuPath() const;
    QString tdPath() const;
    QString tuFile() const;
    QString tdFile() const;
    QString dir1Path() const;

    // Both windows.
    QString playlist(int n) const; // playlistFile(1..8); empty = none
    QString comDevice(int n) const;

    // The keys this program adds.
    bool notify() const;         // desktop notifications of what a key did
    QString player() const;      // "player", trimmed and in lower case; default "auto"
    QString mprisPlayer() const; // bus-name suffix of the MPRIS player to drive; "" = any
    QString mpdHost() const;     // "" = libmpdclient's default
    // "mpdPort": 0 = libmpdclient's default; nothing when the text is no port number.
    std::optional<quint16> mpdPort() const;
    QString mpdMusicDir() const;
    PlayerChoice playerChoice() const; // the five above
    QString helpHost() const;          // "" = the embedded help site
    BrokerChoice broker() const;       // the mqtt keys
    // "keysFrom" = "mqtt:<node>[,<node>...]": the rooms whose receivers give
    // this one its keys, in place of a serial port; none without it.
    QStringList keysFrom() const;
    // The group [Keys], read; a value that cannot be read is warned of once
    // and leaves its key as it would be without it.
    const KeyMap &bindings() const;

signals:
    // A key changed, by a write of this program or in the file.
    void changed(const QString &key);

private:
    QString text(const QString &key, const QString &defaultValue) const;
    void fileChanged();
    void watchFile();
    void readKeyMap() const;

    SettingsStore &store_;
    mutable QHash<QString, std::optional<QString>> values_;
    mutable std::optional<QMap<QString, QString>> keyValues_;
    mutable KeyMap bindings_;
    mutable QSet<QString> warnedBindings_;
    QFileSystemWatcher *watcher_ = nullptr;
};
