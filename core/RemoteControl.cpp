// SPDX-License-Identifier: GPL-3.0-or-later
#include "RemoteControl.h"

#include "FrameDecoder.h"
#include "HouseLink.h"
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
                         showCommand(QStringLiteral("cannot run %1: %2").arg(program, reason));
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

namespace {
// How long a key is held before the house hears that it is held.
constexpr qint64 kHoldMs = 1000;

QString actionOf(const KeyBinding &binding)
{
    switch (binding.kind) {
    case KeyBinding::Kind::Action:
        return actionName(binding.action);
    case KeyBinding::Kind::Run:
        return QStringLiteral("run");
    case KeyBinding::Kind::None:
        break;
    }
    return {};
}

// The two bytes a receiver hands on for `key`.
QByteArray frameOf(const X10Key &key)
{
    const char house = char(key.house << 4);
    return QByteArray(1, char(house | char(key.function))) + char(house | char(key.unit));
}
} // namespace

// What a decoded key does: its binding in the key map, or else its own
// meaning in the chosen house code and bank. Green when it does something,
// or when it is a key of the house code and bank that the map leaves alone.
RemoteControl::Meaning RemoteControl::meaningOf(const DecodedFrame &frame) const
{
    Meaning meaning;
    const KeyMap &map = settings_.bindings();
    const auto bound = map.bindings.constFind(frame.key.name());
    if (bound != map.bindings.constEnd()) {
        meaning.binding = *bound;
        meaning.accepted = bound->kind != KeyBinding::Kind::None;
    } else {
        meaning.accepted = frame.verdict == DecodedFrame::Verdict::Accepted;
        if (meaning.accepted && frame.command)
            meaning.binding = KeyBinding::forAction(*frame.command);
    }
    return meaning;
}

// Every frame is shown; the action line is emptied and the key acts at the
// first frame of a press, so a burst shows its action once.
void RemoteControl::handleFrame(const QByteArray &received, FrameSource source)
{
    if (received.size() < 2)
        return;
    if (house_ && source == FrameSource::Receiver)
        house_->frameHeard(received.left(2));
    const DecodedFrame frame = decodeFrame(received, settings_.houseCode(), settings_, optLower);
    if (frame.verdict == DecodedFrame::Verdict::Dropped) {
        view_.showCommand(QString());
        return;
    }
    const Presses::Frame press = presses_.feed(received, clock_());
    if (press.kind == Presses::Frame::Kind::Press)
        view_.showCommand(QString());

    const Meaning meaning = meaningOf(frame);
    view_.showFrame(frame.text);
    view_.highlightFrame(meaning.accepted);

    const QString name = frame.key.name();
    switch (press.kind) {
    case Presses::Frame::Kind::Press:
        holdTold_ = false;
        view_.pressed(frame.key);
        act(meaning.binding, frame.key, true);
        tellHouse(frame.key, HouseLink::Event::Press, actionOf(meaning.binding));
        break;
    case Presses::Frame::Kind::Repeat: {
        const bool acts = meaning.binding.actsOnRepeat(press.heldMs);
        if (acts)
            act(meaning.binding, frame.key, true);
        if (!holdTold_ && press.heldMs >= kHoldMs) {
            holdTold_ = true;
            tellHouse(frame.key, HouseLink::Event::Hold,
                      acts ? actionOf(meaning.binding) : QString());
        }
        break;
    }
    case Presses::Frame::Kind::Stuck:
        showCommand(QStringLiteral("%1 held too long: ignored until released").arg(name));
        qCWarning(lcKeys, "%s has repeated for over %lld s: ignored until it is released",
                  qPrintable(name), Presses::kStuckAfterMs / 1000);
        break;
    case Presses::Frame::Kind::Flood:
        break;
    }
}

// As the key or the action would from the remote, except that a key bound to
// a program is refused: only the user's own file and remote may run one.
bool RemoteControl::command(const QString &payload)
{
    const QString text = payload.trimmed();
    QString refusal;
    if (const std::optional<Command> action = actionFromName(text)) {
        showCommand(QString());
        dispatch(*action);
        return true;
    }
    if (const std::optional<X10Key> key = parseKeyName(text)) {
        const DecodedFrame frame =
            decodeFrame(frameOf(*key), settings_.houseCode(), settings_, optLower);
        const Meaning meaning = meaningOf(frame);
        if (meaning.binding.kind != KeyBinding::Kind::Run) {
            showCommand(QString());
            view_.showFrame(frame.text);
            view_.highlightFrame(meaning.accepted);
            act(meaning.binding, *key, false);
            return true;
        }
        refusal =
            QStringLiteral("%1 runs a program, which a command from outside may not do").arg(text);
    } else {
        refusal =
            QStringLiteral("\"%1\" is neither a player action nor a key name").arg(text.left(64));
    }
    if (!refusedCommands_.contains(refusal) && refusedCommands_.size() < 256) {
        refusedCommands_.insert(refusal);
        qCWarning(lcKeys, "command refused: %s", qPrintable(refusal));
    }
    return false;
}

void RemoteControl::act(const KeyBinding &binding, const X10Key &key, bool mayRun)
{
    switch (binding.kind) {
    case KeyBinding::Kind::Action:
        dispatch(binding.action);
        break;
    case KeyBinding::Kind::Run:
        if (!mayRun)
            break;
        showCommand(QStringLiteral("run ") + joinCommandLine(binding.program));
        runner_.run(binding.program, key.name());
        break;
    case KeyBinding::Kind::None:
        break;
    }
}

void RemoteControl::tellHouse(const X10Key &key, HouseLink::Event event, const QString &action)
{
    if (house_)
        house_->keyEvent({key, event, action});
}

// The action line, which the house hears of too.
void RemoteControl::showCommand(const QString &text)
{
    view_.showCommand(text);
    if (house_ && !text.isEmpty())
        house_->actionShown(text);
}

void RemoteControl::dispatch(Command command)
{
    showCommand(QString());

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
        showCommand(path);
        if (!path.isEmpty())
            announce(QStringLiteral("playlist"), QFileInfo(path).completeBaseName());
        return;
    }

    if (command > Command::VolumeDown || !session_.running())
        return;

    switch (command) {
    case Command::Pause:
        if (timeOver == 0) {
            showCommand(QStringLiteral("wait"));
            return;
        }
        timeOver = 0;
        view_.startPauseGuard(kPauseGuardMs);
        session_.post([](PlayerControl &player) { player.pause(); });
        showCommand(QStringLiteral("pause"));
        announce(QStringLiteral("pause / play"));
        break;
    case Command::Back5Seconds:
        session_.post([](PlayerControl &player) { player.back5Seconds(); });
        showCommand(QStringLiteral("go back 5 sec"));
        break;
    case Command::Previous:
        session_.post([](PlayerControl &player) { player.previousTrack(); });
        showCommand(QStringLiteral("previous"));
        announceSong(QStringLiteral("previous"));
        break;
    case Command::Advance:
        session_.post([](PlayerControl &player) { player.nextTrack(); });
        showCommand(QStringLiteral("advance"));
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
        showCommand(QStringLiteral("add to Thumbs Up List"));
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
        showCommand(QStringLiteral("add to Thumbs Down List"));
        break;
    case Command::ShuffleOn:
    case Command::ShuffleOff: {
        const bool on = command == Command::ShuffleOn;
        const bool hasShuffle = session_.hasShuffle();
        showCommand(!hasShuffle ? QStringLiteral("player has no shuffle")
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
        showCommand(QStringLiteral("vol up"));
        break;
    case Command::VolumeDown:
        changeVolume(-1);
        showCommand(QStringLiteral("vol down"));
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
