// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlayerFactory.h"
#include "core/Logging.h"
#include "core/Settings.h"

#include "core/SettingsModel.h"
#include "players/mpd/MpdPlayer.h"
#include "players/mpris/MprisPlayer.h"

namespace {
unsigned mpdPort(const PlayerChoice &choice)
{
    const std::optional<quint16> port = choice.mpdPort;
    if (!port)
        qCWarning(lcPlayer, "the setting mpdPort is not a port number; using MPD's default port");
    return port.value_or(0);
}

// Drives whichever player runs at the moment of each call: an MPRIS player on
// the session bus if there is one, else MPD. So a player started after Kavelo,
// or a switch from one to the other, needs no restart.
class AutoPlayer : public ForwardingPlayer
{
public:
    AutoPlayer(const QString &preferredMpris, const QString &mpdHost, unsigned mpdPort,
               const QString &mpdMusicDir)
        : mpris_(preferredMpris), mpd_(mpdHost, mpdPort, mpdMusicDir)
    {
        mpris_.onRunningChanged(
            [this](bool running) { reportRunning(running || mpd_.isReachable()); });
        mpd_.onRunningChanged(
            [this](bool running) { reportRunning(running || mpris_.hasPlayer()); });
    }

    bool findPlayer() override { return mpris_.hasPlayer() || mpd_.isReachable(); }

    bool loadPlaylist(const QString &path) override
    {
        // With neither running, the MPRIS side opens the file with the
        // desktop's default application, which starts a player.
        if (mpris_.hasPlayer() || !mpd_.isReachable())
            return mpris_.loadPlaylist(path);
        return mpd_.loadPlaylist(path);
    }

protected:
    PlayerControl &target() override
    {
        if (mpris_.hasPlayer())
            return mpris_;
        return mpd_;
    }

private:
    MprisPlayer mpris_;
    MpdPlayer mpd_;
};

std::unique_ptr<PlayerControl> makeMpris(const PlayerChoice &choice)
{
    return std::make_unique<MprisPlayer>(choice.mprisPlayer);
}

std::unique_ptr<PlayerControl> makeMpd(const PlayerChoice &choice)
{
    return std::make_unique<MpdPlayer>(choice.mpdHost, mpdPort(choice), choice.mpdMusicDir);
}

std::unique_ptr<PlayerControl> makeAuto(const PlayerChoice &choice)
{
    return std::make_unique<AutoPlayer>(choice.mprisPlayer, choice.mpdHost, mpdPort(choice),
                                        choice.mpdMusicDir);
}
} // namespace

std::unique_ptr<PlayerControl> createPlayer(const PlayerChoice &choice)
{
    // The values of the setting "player", and the backend each stands for.
    const struct
    {
        const QString &name;
        std::unique_ptr<PlayerControl> (*make)(const PlayerChoice &);
    } backends[] = {
        {PlayerKinds::automatic, makeAuto},
        {PlayerKinds::mpris, makeMpris},
        {PlayerKinds::mpd, makeMpd},
    };
    const QString &kind = choice.player;
    for (const auto &backend : backends) {
        if (kind == backend.name)
            return backend.make(choice);
    }
    qCWarning(lcPlayer).noquote()
        << QStringLiteral("unknown player \"%1\" in the settings; choosing the player "
                          "automatically")
               .arg(kind);
    return makeAuto(choice);
}
