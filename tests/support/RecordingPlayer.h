// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/PlayerControl.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// A player component that records every call, in order, as "name" or
// "name(argument)", and answers from its public fields. An operation named in
// `failing` returns false or no value, and changes no state.
// Behind a PlayerSession its calls run on the session's thread: set the fields
// before the calls are posted, read them once the session is idle.
class RecordingPlayer : public PlayerControl
{
public:
    bool running = true;
    bool loadStartsPlayer = false; // loading a playlist starts a stopped player
    bool shuffle = false;
    bool shuffleMode = true; // what hasShuffle() says
    QString currentSong;
    qint16 volume = -1; // last level set, -1 before any
    QSet<QString> failing;

    QStringList calls;
    std::function<void(const QString &call)> onCall; // sees every call as it is recorded

    // The player starts or stops between calls, and says so.
    void setRunning(bool isRunning)
    {
        running = isRunning;
        reportRunning(isRunning);
    }

    // The calls without the queries that only ask for state.
    QStringList actions() const
    {
        QStringList result;
        for (const QString &call : calls) {
            if (call != QLatin1String("findPlayer") && call != QLatin1String("getShuffle") &&
                call != QLatin1String("getCurrentSong"))
                result.append(call);
        }
        return result;
    }

    bool prepareLoad() override { return record(QStringLiteral("prepareLoad")); }
    bool play() override { return record(QStringLiteral("play")); }
    bool setVolume(qint16 level) override
    {
        volume = level;
        return record(QStringLiteral("setVolume"), QString::number(level));
    }
    bool loadPlaylist(const QString &path) override
    {
        if (loadStartsPlayer && !failing.contains(QStringLiteral("loadPlaylist")))
            setRunning(true);
        return record(QStringLiteral("loadPlaylist"), path);
    }
    std::optional<QString> getCurrentSong() override
    {
        return answer(QStringLiteral("getCurrentSong"), currentSong);
    }
    bool findPlayer() override { return record(QStringLiteral("findPlayer")) && running; }
    bool toggleShuffle() override
    {
        if (!failing.contains(QStringLiteral("toggleShuffle")))
            shuffle = !shuffle;
        return record(QStringLiteral("toggleShuffle"));
    }
    bool pause() override { return record(QStringLiteral("pause")); }
    bool nextTrack() override { return record(QStringLiteral("nextTrack")); }
    bool previousTrack() override { return record(QStringLiteral("previousTrack")); }
    bool back5Seconds() override { return record(QStringLiteral("back5Seconds")); }
    bool hasShuffle() override { return shuffleMode; }
    std::optional<bool> getShuffle() override
    {
        return answer(QStringLiteral("getShuffle"), shuffle);
    }

private:
    template <typename T> std::optional<T> answer(const QString &name, const T &value)
    {
        if (!record(name))
            return std::nullopt;
        return value;
    }
    bool record(const QString &name) { return log(name, name); }
    bool record(const QString &name, const QString &argument)
    {
        return log(name, name + QLatin1Char('(') + argument + QLatin1Char(')'));
    }
    bool log(const QString &name, const QString &call)
    {
        calls.append(call);
        if (onCall)
            onCall(call);
        return !failing.contains(name);
    }
};
