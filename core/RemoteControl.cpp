// SPDX-License-Identifier: GPL-3.0-or-later
#include "RemoteControl.h"

#include "FrameDecoder.h"
#include "KeyBinding.h"
#include "Logging.h"
#include "PlayerSession.h"
#include "Settings.h"
#include "SettingsModel.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {
constexpr int kMaxVolume = 255;
constexpr int kMinVolume = 0;
constexpr int kPauseGuardMs = 800;
// How long a player takes to move to the next song before it is asked which
// one that is.
constexpr int kSongSettleMs = 250;

// A shuffle state that cannot be read is left alone: toggling blindly could
// switch shuffle the wrong way.
void shuffleOn(PlayerControl &player)
{
    if (player.getShuffle() == false)
        player.toggleShuffle();
}

void shuffleOff(PlayerControl &player)
{
    if (player.getShuffle() == true)
        player.toggleShuffle();
}

// A song as a notification names it: its title tag, else its file name.
QString songName(const QString &song)
{
    return QFileInfo(song).fileName();
}

QString titleOrFileName(PlayerControl &player)
{
    const std::optional<QString> title = player.getCurrentTitle();
    if (title && !title->isEmpty())
        return *title;
    return songName(player.getCurrentSong().value_or(QString()));
}
} // namespace

RemoteControl::RemoteControl(SettingsModel &settings, RemoteView &view, PlayerSession &session)
    : settings_(settings), view_(view), session_(session)
{
    QElapsedTimer started;
    started.start();
    clock_ = [started] { return started.elapsed(); };
    QObject::connect(&runner_, &CommandRunner::failed, &runner_,
                     [this](const QString &program, const QString &reason) {
                         view_.showCommand(
                             QStringLiteral("cannot run %1: %2").arg(program, reason));
                     });
}

// The playlists, the house code, the thumbs files and the volume step are read
// from the settings when they are used, so a change in the setup window or in
// the file applies from the next key press.
void RemoteControl::getOptions()
{
    optLower = settings_.bankLower();
    vol = settings_.volume();
    session_.post([level = vol](PlayerControl &player) { player.setVolume(level); });
}

// Every frame is shown; the action line is emptied and the key acts at the
// first frame of a press, so a burst shows its action once. A key is green
// when it does something, or when it is a key of the chosen house code and
// bank that the key map leaves alone.
void RemoteControl::handleFrame(const QByteArray &received)
{
    if (received.size() < 2)
        return;
    const DecodedFrame frame = decodeFrame(received, settings_.houseCode(), settings_, optLower);
    if (frame.verdict == DecodedFrame::Verdict::Dropped) {
        view_.showCommand(QString());
        return;
    }
    const Presses::Frame press = presses_.feed(received, clock_());
    if (press.kind == Presses::Frame::Kind::Press)
        view_.showCommand(QString());

    const QString name = frame.key.name();
    const KeyMap &map = settings_.bindings();
    const auto bound = map.bindings.constFind(name);
    KeyBinding binding;
    if (bound != map.bindings.constEnd())
        binding = *bound;
    else if (frame.verdict == DecodedFrame::Verdict::Accepted && frame.command)
        binding = KeyBinding::forAction(*frame.command);
    const bool accepted = bound != map.bindings.constEnd()
                              ? bound->kind != KeyBinding::Kind::None
                              : frame.verdict == DecodedFrame::Verdict::Accepted;
    view_.showFrame(frame.text);
    view_.highlightFrame(accepted);

    switch (press.kind) {
    case Presses::Frame::Kind::Press:
        view_.pressed(frame.key);
        act(binding, frame.key);
        break;
    case Presses::Frame::Kind::Repeat:
        if (binding.actsOnRepeat(press.heldMs))
            act(binding, frame.key);
        break;
    case Presses::Frame::Kind::Stuck:
        view_.showCommand(QStringLiteral("%1 held too long: ignored until released").arg(name));
        qCWarning(lcKeys, "%s has repeated for over %lld s: ignored until it is released",
                  qPrintable(name), Presses::kStuckAfterMs / 1000);
        break;
    case Presses::Frame::Kind::Flood:
        break;
    }
}

void RemoteControl::act(const KeyBinding &binding, const X10Key &key)
{
    switch (binding.kind) {
    case KeyBinding::Kind::Action:
        dispatch(binding.action);
        break;
    case KeyBinding::Kind::Run:
        view_.showCommand(QStringLiteral("run ") + joinCommandLine(binding.program));
        runner_.run(binding.program, key.name());
        break;
    case KeyBinding::Kind::None:
        break;
    }
}

void RemoteControl::dispatch(Command command)
{
    view_.showCommand(QString());

    // The whole load runs as one job, so the player is asked about itself
    // right before and right after the load, as the sequence needs.
    if (command <= Command::LastPlaylist) {
        const QString path =
            settings_.playlist(quint8(command) - quint8(Command::FirstPlaylist) + 1);
        session_.post([path](PlayerControl &player) {
            if (player.findPlayer())
                player.prepareLoad();
            player.loadPlaylist(path);
            if (player.findPlayer())
                player.play();
        });
        view_.showCommand(path);
        if (!path.isEmpty())
            announce(QStringLiteral("playlist"), QFileInfo(path).completeBaseName());
        return;
    }

    if (command > Command::VolumeDown || !session_.running())
        return;

    switch (command) {
    case Command::Pause:
        if (timeOver == 0) {
            view_.showCommand(QStringLiteral("wait"));
            return;
        }
        timeOver = 0;
        view_.startPauseGuard(kPauseGuardMs);
        session_.post([](PlayerControl &player) { player.pause(); });
        view_.showCommand(QStringLiteral("pause"));
        announce(QStringLiteral("pause / play"));
        break;
    case Command::Back5Seconds:
        session_.post([](PlayerControl &player) { player.back5Seconds(); });
        view_.showCommand(QStringLiteral("go back 5 sec"));
        break;
    case Command::Previous:
        session_.post([](PlayerControl &player) { player.previousTrack(); });
        view_.showCommand(QStringLiteral("previous"));
        announceSong(QStringLiteral("previous"));
        break;
    case Command::Advance:
        session_.post([](PlayerControl &player) { player.nextTrack(); });
        view_.showCommand(QStringLiteral("advance"));
        announceSong(QStringLiteral("advance"));
        break;
    case Command::ThumbsUp:
        // A song the player could not report is not added: an empty or stale
        // entry would end up in the playlist file.
        session_.ask<std::optional<QString>>(
            &PlayerControl::getCurrentSong, [this](std::optional<QString> song) {
                if (!song)
                    return;
                view_.addThumbsUp(*song);
                announce(QStringLiteral("thumbs up"), songName(*song));
            });
        view_.showCommand(QStringLiteral("add to Thumbs Up List"));
        break;
    case Command::ThumbsDown:
        // One job, so the song is known before the player moves on from it.
        session_.ask<std::optional<QString>>(
            [](PlayerControl &player) {
                const std::optional<QString> song = player.getCurrentSong();
                player.nextTrack();
                return song;
            },
            [this](std::optional<QString> song) {
                if (!song)
                    return;
                view_.addThumbsDown(*song);
                announce(QStringLiteral("thumbs down"), songName(*song));
            });
        view_.showCommand(QStringLiteral("add to Thumbs Down List"));
        break;
    case Command::ShuffleOn:
    case Command::ShuffleOff: {
        const bool on = command == Command::ShuffleOn;
        const bool hasShuffle = session_.hasShuffle();
        view_.showCommand(!hasShuffle ? QStringLiteral("player has no shuffle")
                          : on        ? QStringLiteral("player shuffle on")
                                      : QStringLiteral("player shuffle off"));
        // Play, the key's other half, runs either way.
        session_.post([on, hasShuffle](PlayerControl &player) {
            if (hasShuffle && on)
                shuffleOn(player);
            else if (hasShuffle)
                shuffleOff(player);
            player.play();
        });
        break;
    }
    case Command::VolumeUp:
        changeVolume(+1);
        view_.showCommand(QStringLiteral("vol up"));
        break;
    case Command::VolumeDown:
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

// Up is capped at 255 and down floored at 0; a stored level outside that range
// is only pulled in by the bound it moves towards.
void RemoteControl::changeVolume(int direction)
{
    const int step = settings_.volStep();
    if (direction > 0)
        vol = static_cast<qint16>(std::min(vol + step, kMaxVolume));
    else
        vol = static_cast<qint16>(std::max(vol - step, kMinVolume));
    // The player hears of the step before the file is written: a write may
    // wait for the disk, the player should not.
    session_.post([level = vol](PlayerControl &player) { player.setVolume(level); });
    settings_.setValue(Keys::volume, numberText(vol));
    const int percent =
        int(std::lround(std::clamp<int>(vol, kMinVolume, kMaxVolume) * 100.0 / kMaxVolume));
    announce(QStringLiteral("volume"), QStringLiteral("%1 %").arg(percent));
}

void RemoteControl::announce(const QString &summary, const QString &body)
{
    if (settings_.notify())
        view_.announce(summary, body);
}

// The new song is asked for a moment after the key, once the player has moved
// on; nothing is asked while notifications are off.
void RemoteControl::announceSong(const QString &summary)
{
    if (!settings_.notify())
        return;
    QTimer::singleShot(kSongSettleMs, &session_, [this, summary] {
        session_.ask<QString>(titleOrFileName,
                              [this, summary](QString body) { announce(summary, body); });
    });
}
