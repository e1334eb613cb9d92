// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

// The MPRIS players on the session bus now, each by its bus-name suffix
// ("vlc", the part the setting "mprisPlayer" names) and by the name it gives
// itself (its Identity, "VLC media player"), followed as players come and go.
// It never waits for the bus: names and identities come in answers to calls
// that it does not wait for, so a window may hold it.
class MprisPlayerList : public QObject
{
    Q_OBJECT

public:
    struct Player
    {
        QString suffix;
        QString identity; // "" until the player has told it
    };

    explicit MprisPlayerList(const QDBusConnection &bus = QDBusConnection::sessionBus(),
                             QObject *parent = nullptr);
    ~MprisPlayerList() override;

    // In the order of their names as a user reads them.
    QList<Player> players() const;

signals:
    void changed();

private slots:
    void nameOwnerChanged(const QString &name, const QString &oldOwner, const QString &newOwner);

private:
    void add(const QString &name);

    QDBusConnection bus_;
    bool watching_ = false;
    QMap<QString, QString> identities_; // by bus-name suffix
};
