// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/Settings.h"
#include "players/PlayerBackend.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QSocketNotifier;
struct mpd_connection;

// Drives a Music Player Daemon over one connection that stays open.
//
// When MPD closes it (its idle timeout, a restart), it is opened again once:
// as soon as the hang-up is seen, or else by the next call. While MPD is away
// it is looked for about once a second. Every exchange gives up after
// kPlayerTimeoutMs. Lives on the thread that calls it, whose event loop sees the
// hang-up and runs the retries.
class MpdPlayer : public PlayerBackend
{
public:
    // An empty host and port 0 use libmpdclient's defaults (MPD_HOST, MPD_PORT,
    // then the local socket or localhost:6600). A host may be a socket path, and
    // may start with "password@", as MPD_HOST may. Over TCP, MPD knows songs only
    // by their names in its music folder, which `musicFolder` is on this machine.
    explicit MpdPlayer(const QString &host = {}, unsigned port = 0,
                       const QString &musicFolder = Defaults::mpdMusicDir());
    ~MpdPlayer() override;

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

    // Whether MPD answers; says nothing on stderr. Costs nothing while connected.
    bool isReachable();

protected:
    bool loadPlaylistFile(const QFileInfo &file) override;
    bool setVolumeLevel(int level) override;

private:
    // Runs one exchange on the open connection. The step returns false on failure
    // and may explain why in its second argument when MPD itself raised no error.
    using Step = std::function<bool(mpd_connection *, QString &)>;
    bool run(const char *what, const Step &step);
    // A command that MPD only acknowledges.
    bool command(const char *what, bool (*send)(mpd_connection *));
    // The open connection, opened again if MPD hung up; nullptr when MPD does not answer.
    mpd_connection *connection(QString &why);
    bool hungAMomentAgo(QString &why) const;
    void noteFailure(const QElapsedTimer &took);
    void hungUp();
    void lost();
    void drop();
    void setReachable(bool reachable);
    // The name that MPD, reached over TCP, knows a local file by: its path inside
    // the music folder. Nothing when the file lies outside it.
    std::optional<QString> songName(const QString &localPath) const;

    QString host_;
    unsigned port_;
    QString musicFolder_;
    bool overTcp_ = false;         // the open connection is not MPD's local socket
    bool passwordRefused_ = false; // the last attempt to connect was refused
    bool clearBeforeLoad_ = false; // prepareLoad asked the next load to replace the queue
    std::unique_ptr<mpd_connection, void (*)(mpd_connection *)> connection_;
    std::unique_ptr<QSocketNotifier> hangUpWatch_;
    QTimer retry_;
    QDeadlineTimer quietUntil_; // expired: calls go through
};
