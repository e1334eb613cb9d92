#include "RemoteControl.h"

#include "FrameDecoder.h"
#include "Settings.h"
#include "SettingsModel.h"

#include <algorithm>

namespace {
constexpr int kMaxVolume = 255;
constexpr int kMinVolume = 0;
constexpr int kPauseGuardMs = 800;

enum Command : quint8
{
    FirstPlaylist = 0,
    LastPlaylist = 7,
    Pause = 8,
    Back5Seconds = 9,
    Previous = 10,
    Advance = 11,
    ThumbsUp = 12,
    ThumbsDown = 13,
    ShuffleOn = 14,
    ShuffleOff = 15,
    VolumeUp = 16,
    VolumeDown = 17,
};

constexpr qint16 kShuffleOn = -1;
constexpr qint16 kShuffleOff = 0;

// Stands in when no player component could be created: every operation fails,
// so every command is skipped the way a failing player is.
class UnavailablePlayer : public PlayerControl
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

RemoteControl::RemoteControl(SettingsModel &settings, RemoteView &view, PlayerFactory createPlayer)
    : settings_(settings), view_(view), createPlayer_(std::move(createPlayer))
{
}

// The playlists, the house code, the thumbs files and the volume step are read
// from the settings when they are used, so a change in the setup window or in
// the file applies from the next key press.
void RemoteControl::getOptions()
{
    optLower = settings_.bankLower();
    vol = settings_.volume();
    player().setVolume(vol);
}

void RemoteControl::handleFrame(const QByteArray &received)
{
    if (received.size() < 2)
        return;
    view_.showCommand(QString());

    const DecodedFrame frame = decodeFrame(received, settings_.houseCode(), settings_, optLower);
    if (frame.verdict == DecodedFrame::Verdict::Dropped)
        return;
    view_.showFrame(frame.text);
    view_.highlightFrame(frame.colour());
    if (frame.verdict == DecodedFrame::Verdict::Accepted && frame.command)
        dispatch(*frame.command);
}

void RemoteControl::dispatch(quint8 command)
{
    view_.showCommand(QString());

    if (command <= LastPlaylist) {
        const QString path = settings_.playlist(command - FirstPlaylist + 1);
        if (playerRunning())
            player().prepareLoad();
        player().loadPlaylist(path);
        view_.showCommand(path);
        if (playerRunning())
            player().play();
        return;
    }

    if (command > VolumeDown || !playerRunning())
        return;

    switch (command) {
    case Pause:
        if (timeOver == 0) {
            view_.showCommand(QStringLiteral("wait"));
            return;
        }
        timeOver = 0;
        view_.startPauseGuard(kPauseGuardMs);
        player().pause();
        view_.showCommand(QStringLiteral("pause"));
        break;
    case Back5Seconds:
        player().back5Seconds();
        view_.showCommand(QStringLiteral("go back 5 sec"));
        break;
    case Previous:
        player().previousTrack();
        view_.showCommand(QStringLiteral("previous"));
        break;
    case Advance:
        player().nextTrack();
        view_.showCommand(QStringLiteral("advance"));
        break;
    case ThumbsUp: {
        // A song the player could not report is not added: an empty or stale
        // entry would end up in the playlist file.
        QString song;
        if (player().getCurrentSong(song))
            view_.addThumbsUp(song);
        view_.showCommand(QStringLiteral("add to Thumbs Up List"));
        break;
    }
    case ThumbsDown: {
        QString song;
        if (player().getCurrentSong(song))
            view_.addThumbsDown(song);
        view_.showCommand(QStringLiteral("add to Thumbs Down List"));
        player().nextTrack();
        break;
    }
    case ShuffleOn:
        view_.showCommand(QStringLiteral("player shuffle on"));
        shuffleOn();
        player().play();
        break;
    case ShuffleOff:
        view_.showCommand(QStringLiteral("player shuffle off"));
        shuffleOff();
        player().play();
        break;
    case VolumeUp:
        changeVolume(+1);
        view_.showCommand(QStringLiteral("vol up"));
        break;
    case VolumeDown:
        changeVolume(-1);
        view_.showCommand(QStringLiteral("vol down"));
        break;
    default:
        break;
    }
}

void RemoteControl::endPauseGuard()
{
    timeOver = 1;
}

PlayerControl &RemoteControl::player()
{
    if (!player_ && createPlayer_)
        player_ = createPlayer_();
    if (!player_)
        player_ = std::make_unique<UnavailablePlayer>();
    return *player_;
}

bool RemoteControl::playerRunning()
{
    qint32 running = 0;
    if (!player().findPlayer(running))
        return false;
    return running != 0;
}

// A shuffle state that cannot be read is left alone: toggling blindly could
// switch shuffle the wrong way.
void RemoteControl::shuffleOn()
{
    qint16 shuffle = kShuffleOff;
    if (player().getShuffle(shuffle) && shuffle == kShuffleOff)
        player().toggleShuffle();
}

void RemoteControl::shuffleOff()
{
    qint16 shuffle = kShuffleOff;
    if (player().getShuffle(shuffle) && shuffle == kShuffleOn)
        player().toggleShuffle();
}

// Up is capped at 255 and down floored at 0; a stored level outside that range
// is only pulled in by the bound it moves towards.
void RemoteControl::changeVolume(int direction)
{
    const int step = settings_.volStep();
    if (direction > 0)
        vol = static_cast<qint16>(std::min(vol + step, kMaxVolume));
    else
        vol = static_cast<qint16>(std::max(vol - step, kMinVolume));
    // The player first: the file write must not delay the key.
    player().setVolume(vol);
    settings_.setValue(Keys::volume, numberText(vol));
}
