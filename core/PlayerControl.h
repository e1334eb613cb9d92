#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <utility>

// The player component the main window drives. Every operation returns false
// when it failed; the caller skips a failed operation and goes on.
class PlayerControl
{
public:
    virtual ~PlayerControl() = default;

    virtual bool prepareLoad() = 0;
    virtual bool play() = 0;
    virtual bool setVolume(qint16 level) = 0; // 0..255
    virtual bool loadPlaylist(const QString &path) = 0;
    virtual bool getCurrentSong(QString &song) = 0;
    virtual bool findPlayer(qint32 &running) = 0; // non-zero when the player runs
    virtual bool toggleShuffle() = 0;
    virtual bool pause() = 0;
    virtual bool nextTrack() = 0;
    virtual bool previousTrack() = 0;
    virtual bool back5Seconds() = 0;
    virtual bool getShuffle(qint16 &shuffle) = 0; // -1 on, 0 off

    // Beyond the twelve: the title tag of the song that plays now, for a
    // notification; "" when the song has none. False when the player cannot tell.
    virtual bool getCurrentTitle(QString &title)
    {
        title.clear();
        return false;
    }
    // Whether the player has a shuffle mode at all; some MPRIS players have none.
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
