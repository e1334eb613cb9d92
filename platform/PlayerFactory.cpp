#include "PlayerFactory.h"

namespace {
// Stands in until a real backend is chosen: every operation fails.
class NoPlayer : public PlayerControl
{
public:
    bool prepareLoad() override { return false; }
    bool play() override { return false; }
    bool setVolume(qint16) override { return false; }
    bool loadPlaylist(const QString &) override { return false; }
    bool getCurrentSong(QString &) override { return false; }
    bool findPlayer(qint32 &) override { return false; }
    bool toggleShuffle() override { return false; }
    bool pause() override { return false; }
    bool nextTrack() override { return false; }
    bool previousTrack() override { return false; }
    bool back5Seconds() override { return false; }
    bool getShuffle(qint16 &) override { return false; }
};
} // namespace

std::unique_ptr<PlayerControl> createPlayer(const SettingsStore &)
{
    return std::make_unique<NoPlayer>();
}
