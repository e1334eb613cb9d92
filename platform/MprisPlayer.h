#pragma once

#include "core/PlayerControl.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// Drives a media player that speaks MPRIS 2 on the session bus.
//
// The player is looked up again on every call, so one that quits, restarts or
// starts after Kavelo is found without restarting Kavelo. Every bus call gives
// up after half a second, so a hung player never freezes the window.
class MprisPlayer : public PlayerControl
{
public:
    // preferredPlayer is a bus-name suffix ("vlc", "mpv"); empty picks the
    // player that is playing, else the one used last, else the first found.
    explicit MprisPlayer(const QString &preferredPlayer = {},
                         const QDBusConnection &bus = QDBusConnection::sessionBus());

    bool prepareLoad() override;
    bool play() override;
    bool setVolume(qint16 level) override;
    bool loadPlaylist(const QString &path) override;
    bool getCurrentSong(QString &song) override;
    bool findPlayer(qint32 &running) override;
    bool toggleShuffle() override;
    bool pause() override;
    bool nextTrack() override;
    bool previousTrack() override;
    bool back5Seconds() override;
    bool getShuffle(qint16 &shuffle) override;

    // True when a player to drive is on the bus; says nothing on stderr.
    bool hasPlayer();
    // The bus name of the player that the last call used, "" when none.
    QString serviceName() const { return service_; }

private:
    QString chooseService();
    QStringList mprisServices();
    QString playbackStatus(const QString &service);

    QDBusMessage call(const QDBusMessage &message);
    bool callPlayer(const QString &method, const QVariantList &args = {});
    std::optional<QVariant> property(const QString &name, const char *what);
    bool setProperty(const QString &name, const QVariant &value, const char *what);
    bool requirePlayer(const char *what);

    QString preferred_;
    QDBusConnection bus_;
    QString service_;
};
