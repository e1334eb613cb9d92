// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <utility>

// How long one exchange with a player may take before it is given up: a bus
// call, an MPD connection and its greeting, or one MPD command.
constexpr int kPlayerTimeoutMs = 500;

// The player component the main window drives.
//
// Every operation runs on the player session's thread and may block there:
// each exchange with the player waits at most kPlayerTimeoutMs before it gives
// up. An operation that fails says so (false, or no value) and has warned on
// stderr why; the caller skips it and goes on. No operation throws.
class PlayerControl
{
public:
    virtual ~PlayerControl() = default;

    // Stops what plays, right before a new playlist is loaded. False when the
    // player did not answer or refused.
    virtual bool prepareLoad() = 0;
    // Starts playback; a player that plays already is left alone. False when
    // the player did not answer or refused.
    virtual bool play() = 0;
    // Sets the player's volume to `level` out of 255. A level outside 0..255
    // (a stored volume may be one) drives the player to the nearer end. False
    // when the player did not answer or refused.
    virtual bool setVolume(qint16 level) = 0;
    // Makes the playlist file at `path` the player's list. The path is taken as
    // the key has it: empty, or naming no file, fails without asking the
    // player. With no player running, the load may start one. False when the
    // file was refused or the player did not take it.
    virtual bool loadPlaylist(const QString &path) = 0;
    // The song that plays now, as a playlist line: a local path, or a URL when
    // the song is not a local file; "" when nothing plays. Nothing when the
    // player did not answer or the song has no path here.
    virtual std::optional<QString> getCurrentSong() = 0;
    // Whether the player runs. False too when that cannot be told: a player
    // that cannot be asked counts as not running.
    virtual bool findPlayer() = 0;
    // Switches shuffle to its opposite. False when the player did not answer,
    // refused, or has no shuffle mode.
    virtual bool toggleShuffle() = 0;
    // Pauses, or resumes a paused player: the remote has no resume key. False
    // when the player did not answer or refused.
    virtual bool pause() = 0;
    // Moves to the next song. False when the player did not answer or refused.
    virtual bool nextTrack() = 0;
    // Moves to the previous song. False when the player did not answer or refused.
    virtual bool previousTrack() = 0;
    // Moves playback back five seconds, to the song's start at most. False
    // when nothing plays or the player did not answer.
    virtual bool back5Seconds() = 0;
    // Whether shuffle is on. Nothing when the player did not answer or has no
    // shuffle mode.
    virtual std::optional<bool> getShuffle() = 0;

    // Beyond the twelve: the title tag of the song that plays now, for a
    // notification; "" when the song has none. Nothing when the player cannot tell.
    virtual std::optional<QString> getCurrentTitle() { return std::nullopt; }
    // Whether the player has a shuffle mode at all; some MPRIS players have
    // none. True while nothing says otherwise. May ask the player.
    virtual bool hasShuffle() { return true; }

    // Hears of the player coming and going between calls (a player leaving the
    // bus, MPD hanging up), so nobody has to ask the player to know. The call
    // comes on whichever thread noticed; it must not block.
    void onRunningChanged(std::function<void(bool running)> changed)
    {
        runningChanged_ = std::move(changed);
    }

protected:
    void reportRunning(bool running) const
    {
        if (runningChanged_)
            runningChanged_(running);
    }

private:
    std::function<void(bool running)> runningChanged_;
};

// A player that hands every call to the one `target()` names at the moment of
// the call; what it adds of its own it overrides.
class ForwardingPlayer : public PlayerControl
{
public:
    bool prepareLoad() override { return target().prepareLoad(); }
    bool play() override { return target().play(); }
    bool setVolume(qint16 level) override { return target().setVolume(level); }
    bool loadPlaylist(const QString &path) override { return target().loadPlaylist(path); }
    std::optional<QString> getCurrentSong() override { return target().getCurrentSong(); }
    bool findPlayer() override { return target().findPlayer(); }
    bool toggleShuffle() override { return target().toggleShuffle(); }
    bool pause() override { return target().pause(); }
    bool nextTrack() override { return target().nextTrack(); }
    bool previousTrack() override { return target().previousTrack(); }
    bool back5Seconds() override { return target().back5Seconds(); }
    std::optional<bool> getShuffle() override { return target().getShuffle(); }
    std::optional<QString> getCurrentTitle() override { return target().getCurrentTitle(); }
    bool hasShuffle() override { return target().hasShuffle(); }

protected:
    virtual PlayerControl &target() = 0;
};
