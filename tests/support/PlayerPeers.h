// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The real programs the player tests talk to, each started and stopped by the
// test itself: a private D-Bus session, mpv with its MPRIS plugin, Audacious,
// VLC, Strawberry, and MPD.

#include "TestFiles.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>

#include <mpd/status.h>

struct mpd_connection;

// A short mono WAV file, 8 kHz, of a quiet tone; with a title tag when one is given.
bool writeWav(const QString &path, int seconds, const QString &title = {});
// A TCP port of 127.0.0.1 that nobody listens on at the moment.
quint16 freeLoopbackPort();

// Sends a signal to a running process (SIGSTOP freezes it, SIGCONT wakes it).
void signalProcess(const QProcess &process, int signal);

// Whether a program is on the PATH.
bool installed(const QString &program);

// Whether a service owns its name on the session bus.
bool onBus(const QString &service);

// A program that a test starts and that ends with it; kill() wakes a frozen
// one (SIGSTOP) first.
class PeerProcess
{
public:
    ~PeerProcess() { kill(); }
    void kill();
    QProcess &process() { return process_; }

protected:
    // Starts the program; by default its standard error goes to the test's.
    bool launch(const QString &program, const QStringList &arguments,
                QProcess::ProcessChannelMode mode = QProcess::ForwardedErrorChannel);
    // Waits until the program owns the MPRIS name `service` on the session bus
    // and answers there as fast as the program under test waits for it (a
    // player takes its name a moment before it has time for callers); false
    // when it ended first or took longer than 10 s.
    bool waitForBusName(const QString &service);
    QProcess process_;
};

// A private session bus. Start it before the first use of QDBusConnection::sessionBus():
// it points DBUS_SESSION_BUS_ADDRESS of this process (and so of every child) at itself.
class SessionBus : public PeerProcess
{
public:
    enum class Users
    {
        ThisOne,
        Any // for a player that runs as another user (VLC refuses root)
    };
    bool start(Users users = Users::ThisOne);
    QString address() const { return address_; }

private:
    QString address_;
    QTemporaryDir config_;
};

// dbus-monitor on a bus, for the method calls that one connection sends.
class BusMonitor : public PeerProcess
{
public:
    // Starts it and waits until it monitors.
    bool start(const QString &busAddress, const QString &sender);
    // The methods called so far, in order.
    QStringList calls();

private:
    QByteArray seen_;
};

// A player on the current session bus, whose list the test reads its own way,
// never through the program under test.
class MprisPeer : public PeerProcess
{
public:
    virtual ~MprisPeer() = default;
    virtual bool start() = 0; // and waits until its MPRIS name is on the bus
    // The songs of the player's list, in order, by their local paths.
    virtual QStringList playlist() = 0;
};

// mpv, idle, without sound or video, with the MPRIS plugin, on the current session bus.
// What it does is asked and set on its own control socket, not through MPRIS.
class Mpv : public MprisPeer
{
public:
    static const QString service;
    static QString mprisPlugin(); // "" when the plugin is not installed
    explicit Mpv(const QString &ipcSocket) : ipcSocket_(ipcSocket) {}
    bool start() override;
    QStringList playlist() override;

    // True when mpv carried the command out.
    bool command(const QJsonArray &command);
    QVariant property(const QString &name);
    // "Playing", "Paused" or "Stopped" as mpv itself has it: its MPRIS plugin
    // keeps saying "Stopped" after a stop until the pause state changes.
    QString state();

private:
    // mpv's answer to the command; empty when none came.
    QJsonObject request(const QJsonArray &command);

    QString ipcSocket_;
};

// Audacious without a window (-H), with its MPRIS plugin, on the current
// session bus, its settings in a home folder of its own. It plays in real time
// into SDL's silent driver: its file writer writes a song out at once, so the
// song would be over before a key reached it.
class Audacious : public MprisPeer
{
public:
    static const QString service;
    explicit Audacious(const QString &home) : home_(home) {}
    bool start() override;
    QStringList playlist() override; // as its own audtool reads it

private:
    QDir home_;
};

// VLC without an interface, video or sound, its settings in a home folder of
// its own. VLC refuses to run as root: a test that runs as root has it run as
// the user "nobody", so the bus must let other users in (SessionBus::Users::Any)
// and its songs must be readable by everyone.
class Vlc : public MprisPeer
{
public:
    static const QString service;
    explicit Vlc(const QString &home) : home_(home) {}
    bool start() override;
    // Its track list: a playlist file it has not opened yet stands in it as itself.
    QStringList playlist() override;

private:
    QDir home_;
};

// Strawberry offscreen, its settings and its collection in a home folder of its
// own. It plays in real time into the silent sink it falls back on. It runs once
// for each user: a second start, with the same temporary folder, hands its
// arguments to the one that runs. It leaves the covers of the songs it played
// in the temporary folder.
class Strawberry : public MprisPeer
{
public:
    static const QString service;
    explicit Strawberry(const QString &home) : home_(home) {}
    // Asked to quit: killed, it would leave behind the shared memory by which
    // it finds its running instance, and a later one could take that for a
    // Strawberry that still runs.
    ~Strawberry();
    bool start() override;
    // As it keeps its list in its database, a second or so after a change:
    // its MPRIS track list is always empty.
    QStringList playlist() override;

private:
    QDir home_;
};

// An MPD of the test's own: its music folder, playlist folder and socket live
// in a temporary folder; it plays into a null output with a software mixer.
// It lets idle clients go after `idleSeconds` (0: MPD's own default). With a
// password it also listens on a free TCP port of 127.0.0.1, where a client may
// do nothing before it gives the password; the socket lets everyone do all.
class MpdServer : public PeerProcess
{
public:
    explicit MpdServer(const QString &folder, int idleSeconds = 0, const QString &password = {});
    ~MpdServer() { kill(); }

    bool start();          // starts it and waits until its socket answers
    bool updateDatabase(); // scans the music folder and waits until the scan ends
    void kill();

    QString socketPath() const;
    quint16 port() const { return port_; } // 0 without a password
    QString musicFolder() const;
    // What MPD logged so far, its clients coming and going included.
    QString log() const;

    // A connection of the test's own, to watch and set MPD's state.
    mpd_connection *observer();
    // Stops, empties the queue and turns shuffle off.
    bool reset();
    // Puts songs of the music folder in the queue, in place of what it held,
    // and plays the one at `position`.
    bool play(const QStringList &songs, int position = 0);
    // The songs of MPD's queue, in order, by their URIs.
    QStringList queue();

    // One value of MPD's status; `otherwise` when MPD does not answer.
    template <typename T> T status(T (*get)(const mpd_status *), T otherwise)
    {
        const Status now = readStatus();
        return now ? get(now.get()) : otherwise;
    }
    mpd_state state() { return status(mpd_status_get_state, MPD_STATE_UNKNOWN); }
    int volume() { return status(mpd_status_get_volume, -1); }

private:
    // Asked on a connection of its own: one kept open could have been let go by
    // an MPD that ends idle clients. Null when MPD does not answer.
    using Status = std::unique_ptr<mpd_status, void (*)(mpd_status *)>;
    Status readStatus();

    QDir folder_;
    quint16 port_ = 0;
    mpd_connection *observer_ = nullptr;
};
