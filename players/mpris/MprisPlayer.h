// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "players/PlayerBackend.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QVariant>

#include <optional>

// Drives a media player that speaks MPRIS 2 on the session bus.
//
// The players' bus names are listed once; from then on the bus tells of every
// player that comes or goes, so one that quits, restarts or starts after
// Kavelo is followed without asking the bus on every call. The player to drive
// is chosen once and kept until it leaves the bus. Every bus call gives up
// after kPlayerTimeoutMs. Lives on the thread that calls it, whose event loop
// brings the bus's news.
//
// A playlist replaces the player's list: where the player's list can be
// edited over the bus it is emptied first, since OpenUri adds to it on some
// players; a player whose list cannot be, but whose own program replaces the
// list of its running instance, is handed the playlist that way.
//
// OpenUri, Shuffle and the track list are optional in MPRIS: the chosen
// player's interface is looked at once, when it is chosen. A player without
// OpenUri is handed the playlist through its own desktop entry, as the desktop
// would open a file with it; one without Shuffle says so through hasShuffle().
class MprisPlayer : public QObject, public PlayerBackend
{
    Q_OBJECT

public:
    // preferredPlayer is a bus-name suffix ("vlc", "mpv"); empty picks the
    // player that is playing, else the first found.
    explicit MprisPlayer(const QString &preferredPlayer = {},
                         const QDBusConnection &bus = QDBusConnection::sessionBus());
    ~MprisPlayer() override;

    bool prepareLoad() override;
    bool play() override;
    std::optional<QString> getCurrentSong() override;
    bool findPlayer() override;
    bool toggleShuffle() override;
    bool pause() override;
    bool nextTrack() override;
    bool previousTrack() override;
    bool back5Seconds() override;
    std::optional<bool> getShuffle() override;
    std::optional<QString> getCurrentTitle() override;
    bool hasShuffle() override;

    // True when a player to drive is on the bus; asks nobody, says nothing.
    bool hasPlayer() const { return !players_.isEmpty(); }
    // The bus name of the player chosen to drive, "" while none is.
    QString serviceName() const { return service_; }

private slots:
    void nameOwnerChanged(const QString &name, const QString &oldOwner, const QString &newOwner);

protected:
    bool loadPlaylistFile(const QFileInfo &file) override;
    bool setVolumeLevel(int level) override;

private:
    // What the chosen player offers of the optional parts.
    struct Abilities
    {
        bool openUri = true;
        bool shuffle = true;
        bool trackList = true;
    };

    bool isCandidate(const QString &name) const;
    QString chooseService();
    QString playbackStatus(const QString &service);
    void learnAbilities();
    void describeAgain();
    Abilities abilities();
    bool replaceList(const QString &file);
    std::optional<bool> canEditTracks();
    bool emptyTrackList();
    bool openUri(const QString &file);
    std::optional<QString> desktopEntry();
    bool replaceByProgram(const QString &program, const QStringList &arguments);
    bool handOver(const QString &program, const QStringList &arguments, qint64 *pid = nullptr);
    bool openWithDesktopEntry(const QString &desktopEntry, const QString &file);

    QDBusMessage call(const QDBusMessage &message);
    bool callPlayer(const QString &method, const QVariantList &args = {});
    std::optional<QVariant> property(const QString &name, const char *what,
                                     const QString &interface = {});
    bool setProperty(const QString &name, const QVariant &value, const char *what);
    bool requirePlayer(const char *what);
    bool requireShuffle(const char *what);

    QString preferred_;
    QDBusConnection bus_;
    bool watching_ = false;
    QSet<QString> players_; // the candidates' bus names on the bus now
    QString service_;
    std::optional<Abilities> abilities_;  // of service_, once its answer was complete
    std::optional<QString> desktopEntry_; // of service_, once it answered
    QTimer describeAgain_;                // while service_ is still setting up
    int describeTries_ = 0;
};
