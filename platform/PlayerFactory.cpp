#include "PlayerFactory.h"
#include "core/Logging.h"

#include "MpdPlayer.h"
#include "MprisPlayer.h"
#include "core/Settings.h"
#include "core/SettingsStore.h"

namespace {
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
} // namespace

std::unique_ptr<PlayerControl> createPlayer(const SettingsStore &store)
{
    const QString kind =
        readSetting(store, Keys::player, QStringLiteral("auto")).trimmed().toLower();
    const QString preferredMpris = readSetting(store, Keys::mprisPlayer, QString());
    const QString mpdHost = readSetting(store, Keys::mpdHost, QString());
    bool portIsNumber = false;
    unsigned mpdPort =
        readSetting(store, Keys::mpdPort, QStringLiteral("0")).trimmed().toUInt(&portIsNumber);
    if (!portIsNumber || mpdPort > 65535) {
        qCWarning(lcPlayer, "the setting mpdPort is not a port number; using MPD's default port");
        mpdPort = 0;
    }
    const QString mpdMusicDir = readSetting(store, Keys::mpdMusicDir, Defaults::mpdMusicDir());

    if (kind == QLatin1String("mpris"))
        return std::make_unique<MprisPlayer>(preferredMpris);
    if (kind == QLatin1String("mpd"))
        return std::make_unique<MpdPlayer>(mpdHost, mpdPort, mpdMusicDir);
    if (kind != QLatin1String("auto") && !kind.isEmpty())
        qCWarning(lcPlayer).noquote() << QStringLiteral("unknown player \"%1\" in the settings; "
                                                        "choosing the player automatically")
                                             .arg(kind);
    return std::make_unique<AutoPlayer>(preferredMpris, mpdHost, mpdPort, mpdMusicDir);
}
