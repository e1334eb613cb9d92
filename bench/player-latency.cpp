// SPDX-License-Identifier: GPL-3.0-or-later
// player-latency: what a key press costs a user, beside what other ways of
// sending the same command cost, on the same player in the same run.
//
// Kavelo runs as a user runs it: the real build/kavelo, offscreen, or the
// service build/kavelod (the last argument chooses), with its
// settings file in a throw-away XDG_CONFIG_HOME that points port 5 at a
// pseudo-terminal of this program's own and chooses a private MPD, then mpv
// with its MPRIS plugin on a private session bus. Nothing of Kavelo's insides is
// used: only the program, its settings file and the adapter's frames.
//
// Each press is timed from the moment its command starts (Kavelo: the frame's
// second byte written; an anchor: just before its process is spawned or its
// protocol command is sent) to the moment the player itself announces the
// change to a watcher of this program's own, on a connection of its own: MPD's
// idle command, mpv's property observation on its control socket. Each press
// waits for its change; then the bench lets the pace pass, so that every frame
// lands in a fresh receive cycle (Kavelo throws away what arrived while it
// worked). The contenders take turns pair by pair (up, then down, back to where
// they began), so that load from elsewhere on the machine falls on all alike.
// One pair each goes first as a warm-up and is not counted.
//
// Usage: player-latency [build-dir] [presses] [pace-ms] [kavelo|kavelod] [mqtt]
//        (defaults: the parent of this program's folder, 200, 40, kavelo)
// With "mqtt", Kavelo also hands every key to a private MQTT broker, as a house
// with a home-automation hub has it: compare the ratios to mpc with and without.

#include "BenchPty.h"
#include "MosquittoBroker.h"
#include "PlayerPeers.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <mpd/client.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {
// The broker's keys when the bench runs with one; empty without.
QString houseSettings;
} // namespace

namespace {
using Clock = std::chrono::steady_clock;

constexpr int changeTimeoutMs = 3000;

double millis(Clock::duration span)
{
    return std::chrono::duration<double, std::milli>(span).count();
}

// Lets the event loop run for `ms`.
void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// What the player announced, and when.
struct Change
{
    Clock::time_point at;
    double volume = -1; // in the player's own unit; -1: the volume did not change
    int song = -1;      // position in the queue; -1: the song did not change
};

// Hands the watcher thread's changes to the main thread.
class ChangeInbox : public QObject
{
public:
    void post(const Change &change)
    {
        QMetaObject::invokeMethod(
            this, [this, change] { arrived(change); }, Qt::QueuedConnection);
    }

    // The time of the first change at or after `since` that `matches`; nothing
    // when none came within the timeout.
    std::optional<Clock::time_point> waitFor(Clock::time_point since,
                                             const std::function<bool(const Change &)> &matches)
    {
        std::optional<Clock::time_point> seen;
        QEventLoop loop;
        check_ = [&] {
            while (!pending_.empty() && !seen) {
                const Change change = pending_.front();
                pending_.pop_front();
                if (change.at >= since && matches(change))
                    seen = change.at;
            }
            if (seen)
                loop.quit();
        };
        check_();
        if (!seen) {
            QTimer::singleShot(changeTimeoutMs, &loop, &QEventLoop::quit);
            loop.exec();
        }
        check_ = nullptr;
        return seen;
    }

private:
    void arrived(const Change &change)
    {
        pending_.push_back(change);
        if (check_)
            check_();
    }

    std::deque<Change> pending_;
    std::function<void()> check_;
};

// Starts a program found on PATH with its output thrown away; 0 when it did not start.
class Spawn
{
public:
    explicit Spawn(std::vector<std::string> args) : args_(std::move(args))
    {
        for (std::string &arg : args_)
            argv_.push_back(arg.data());
        argv_.push_back(nullptr);
        posix_spawn_file_actions_init(&actions_);
        posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions_, STDOUT_FILENO, STDERR_FILENO);
    }
    ~Spawn() { posix_spawn_file_actions_destroy(&actions_); }
    Spawn(const Spawn &) = delete;
    Spawn &operator=(const Spawn &) = delete;

    pid_t start()
    {
        pid_t pid = 0;
        return posix_spawnp(&pid, argv_[0], &actions_, nullptr, argv_.data(), environ) == 0 ? pid
                                                                                            : 0;
    }

    // Waits for the process to end; true when it ended well.
    static bool reap(pid_t pid)
    {
        if (pid <= 0)
            return false;
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0) {
            if (errno != EINTR)
                return false;
        }
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

private:
    std::vector<std::string> args_;
    std::vector<char *> argv_;
    posix_spawn_file_actions_t actions_;
};

// One way of making the change: Kavelo through the pseudo-terminal, or an anchor.
struct Contender
{
    using Start = std::function<Clock::time_point(bool up, double base)>;
    using Finish = std::function<bool()>;

    Contender(
        std::string name, std::string how, Start start, Finish finish = [] { return true; })
        : name(std::move(name)), how(std::move(how)), start(std::move(start)),
          finish(std::move(finish))
    {
    }

    std::string name;
    std::string how; // what a press does, in words
    // Starts the up or the down command, from the value `base`; returns the
    // moment it is timed from.
    Start start;
    // Runs once the change was seen (or not): reaps a process, reads an answer.
    Finish finish;
    std::vector<double> latenciesMs;
};

// A press of Kavelo's remote: the frame's first byte alone, then the second.
Contender kaveloPressing(int master, RemoteKey up, RemoteKey down)
{
    return {"Kavelo", std::string("\"") + up.name + "\" / \"" + down.name + "\" on the port",
            [master, up, down](bool isUp, double) {
                const RemoteKey &key = isUp ? up : down;
                writeByte(master, key.first);
                pause(byteGapMs);
                const auto written = Clock::now();
                writeByte(master, key.second);
                return written;
            }};
}

// An anchor that starts a whole process per press.
Contender spawning(const std::string &name, const std::string &how, std::vector<std::string> up,
                   std::vector<std::string> down)
{
    auto upCommand = std::make_shared<Spawn>(std::move(up));
    auto downCommand = std::make_shared<Spawn>(std::move(down));
    auto running = std::make_shared<pid_t>(0);
    return {name, how + ", a process per press",
            [=](bool isUp, double) {
                const auto started = Clock::now();
                *running = (isUp ? upCommand : downCommand)->start();
                return started;
            },
            [running] { return Spawn::reap(std::exchange(*running, 0)); }};
}

struct Figures
{
    double median, p99, min, max;
};

// Nearest rank: of 200 presses, p99 is the third-slowest.
Figures figuresOf(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double p) {
        return ms.at(static_cast<std::size_t>(std::ceil(p * double(ms.size())) - 1));
    };
    return {at(0.5), at(0.99), ms.front(), ms.back()};
}

// Presses of several contenders that move one value of the player up and back down.
struct Series
{
    std::string title;
    std::function<double(const Change &)> read; // the value announced; < 0: not part of it
    std::function<double()> current;            // the value now, asked of the player
    std::vector<Contender> contenders;
};

// Runs `pairs` rounds after a warm-up round; false when a press brought no change.
// Each pair starts from the value the player reports before it, goes up and
// comes back to it.
bool run(Series &series, ChangeInbox &inbox, int pairs, int paceMs)
{
    const auto press = [&](Contender &contender, bool up, double base, bool counted) {
        const auto matches = [&](const Change &change) {
            const double value = series.read(change);
            if (value < 0)
                return false;
            if (!counted) // the warm-up takes any change: the player may start elsewhere
                return true;
            return up ? value > base + 0.01 : std::abs(value - base) <= 0.01;
        };
        const auto since = contender.start(up, base);
        const auto seen = inbox.waitFor(since, matches);
        const bool finished = contender.finish();
        if (!seen || !finished) {
            std::fprintf(stderr, "player-latency: %s: %s (%s): a press %s\n", series.title.c_str(),
                         contender.name.c_str(), contender.how.c_str(),
                         seen ? "failed" : "brought no change within 3 s");
            return false;
        }
        if (counted)
            contender.latenciesMs.push_back(millis(*seen - since));
        pause(paceMs);
        return true;
    };
    for (int round = -1; round < pairs; ++round) {
        for (Contender &contender : series.contenders) {
            const double base = series.current();
            if (base < 0 || !press(contender, true, base, round >= 0) ||
                !press(contender, false, base, round >= 0))
                return false;
        }
    }
    std::printf("%s, %d presses each:\n", series.title.c_str(), 2 * pairs);
    for (const Contender &contender : series.contenders) {
        const Figures f = figuresOf(contender.latenciesMs);
        std::printf("  %-9s median %7.3f ms  p99 %7.3f ms  (min %6.3f, max %7.3f)  %s\n",
                    contender.name.c_str(), f.median, f.p99, f.min, f.max, contender.how.c_str());
    }
    const double kavelo = figuresOf(series.contenders.front().latenciesMs).p99;
    for (std::size_t i = 1; i < series.contenders.size(); ++i) {
        std::printf("  Kavelo p99 / %s p99 = %.2f\n", series.contenders[i].name.c_str(),
                    kavelo / figuresOf(series.contenders[i].latenciesMs).p99);
    }
    std::fflush(stdout);
    return true;
}

void verdict(const char *target, bool met)
{
    std::printf("  target %s: %s\n", target, met ? "met" : "MISSED");
}

// The real program, as a user starts it, with a settings file of its own.
class Kavelo
{
public:
    Kavelo(const QString &binary, const QString &folder) : binary_(binary), folder_(folder) {}
    ~Kavelo()
    {
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }

    // Writes the settings file, starts Kavelo and waits until it holds `device`.
    bool start(const QString &device, const QString &playerSettings)
    {
        const QString config = folder_.filePath(QStringLiteral("config"));
        QDir().mkpath(config);
        QFile ini(config + QStringLiteral("/rarozavE.ini"));
        if (!ini.open(QIODevice::WriteOnly))
            return false;
        ini.write(QStringLiteral("[Startup]\ncomDevice5=%1\nvolume=125\nvolSteps=5\n%2")
                      .arg(device, playerSettings + houseSettings)
                      .toLocal8Bit());
        ini.close();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.setStandardOutputFile(folder_.filePath(QStringLiteral("kavelo.log")));
        process_.start(binary_, {});
        if (!process_.waitForStarted(5000))
            return failed("did not start");
        const QDeadlineTimer deadline(20000);
        while (!holds(device)) {
            if (deadline.hasExpired() || process_.state() != QProcess::Running)
                return failed("never opened " + device);
            pause(20);
        }
        // Past the port's opening, the start ends by throwing away what has arrived.
        pause(300);
        return true;
    }

private:
    bool holds(const QString &device) const
    {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(process_.processId()));
        for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
            if (fd.symLinkTarget() == device)
                return true;
        }
        return false;
    }

    bool failed(const QString &why)
    {
        std::fprintf(stderr, "player-latency: %s %s\n", qPrintable(binary_), qPrintable(why));
        QFile log(folder_.filePath(QStringLiteral("kavelo.log")));
        if (log.open(QIODevice::ReadOnly))
            std::fprintf(stderr, "%s", log.readAll().constData());
        return false;
    }

    QString binary_;
    QDir folder_;
    QProcess process_;
};

const QStringList songs{QStringLiteral("one.wav"), QStringLiteral("two.wav"),
                        QStringLiteral("three.wav")};

struct Run
{
    QString kavelo;
    int master;
    QString device;
    int pairs;
    int paceMs;
    ChangeInbox &inbox;
};

bool benchMpd(const Run &bench, const QString &folder)
{
    MpdServer mpd(folder);
    for (const QString &song : songs)
        writeWav(mpd.musicFolder() + QLatin1Char('/') + song, 120);
    if (!mpd.start() || !mpd.updateDatabase()) {
        std::fprintf(stderr, "player-latency: MPD did not start\n");
        return false;
    }
    if (!mpd.play(songs)) {
        std::fprintf(stderr, "player-latency: MPD does not play\n");
        return false;
    }
    const QByteArray socket = mpd.socketPath().toUtf8();

    std::thread watcher([&socket, &inbox = bench.inbox] {
        mpd_connection *c = mpd_connection_new(socket.constData(), 0, 5000);
        while (mpd_connection_get_error(c) == MPD_ERROR_SUCCESS) {
            const auto events = mpd_run_idle_mask(c, mpd_idle(MPD_IDLE_PLAYER | MPD_IDLE_MIXER));
            Change change{Clock::now()};
            mpd_status *status = events ? mpd_run_status(c) : nullptr;
            if (!status)
                break;
            if (events & MPD_IDLE_MIXER)
                change.volume = mpd_status_get_volume(status);
            if (events & MPD_IDLE_PLAYER)
                change.song = mpd_status_get_song_pos(status);
            mpd_status_free(status);
            inbox.post(change);
        }
        mpd_connection_free(c);
    });

    // A client that keeps its connection open, as a daemon of its own would.
    mpd_connection *client = mpd_connection_new(socket.constData(), 0, 5000);
    const auto protocol = [client](const char *how, std::function<bool(bool, double)> send) {
        return Contender{"protocol", std::string(how) + ", one connection kept open",
                         [send](bool up, double base) {
                             const auto sent = Clock::now();
                             send(up, base);
                             return sent;
                         },
                         [client] { return mpd_response_finish(client); }};
    };
    const std::string host = "--host=" + socket.toStdString();

    Kavelo kavelo(bench.kavelo, folder);
    bool ok = kavelo.start(bench.device,
                           QStringLiteral("player=mpd\nmpdHost=%1\n").arg(mpd.socketPath())) &&
              mpd_connection_get_error(client) == MPD_ERROR_SUCCESS;
    if (ok) {
        Series volume{"MPD, volume up/down -> idle mixer",
                      [](const Change &c) { return c.volume; },
                      [&mpd] { return double(mpd.volume()); },
                      {kaveloPressing(bench.master, brightKey, dimKey),
                       spawning("mpc", "mpc volume +1 / -1", {"mpc", host, "volume", "+1"},
                                {"mpc", host, "volume", "-1"}),
                       protocol("setvol", [client](bool up, double base) {
                           return mpd_send_set_volume(client, unsigned(base) + (up ? 1 : 0));
                       })}};
        ok = run(volume, bench.inbox, bench.pairs, bench.paceMs);
        if (ok) {
            const double kaveloP99 = figuresOf(volume.contenders[0].latenciesMs).p99;
            verdict("Kavelo p99 <= 1.0 ms", kaveloP99 <= 1.0);
            verdict("Kavelo p99 <= 1/3 of mpc's p99",
                    kaveloP99 <= figuresOf(volume.contenders[1].latenciesMs).p99 / 3);
        }
    }
    if (ok) {
        Series songChange{
            "MPD, next/previous song -> idle player",
            [](const Change &c) { return double(c.song); },
            [&mpd] { return double(mpd.status(mpd_status_get_song_pos, -1)); },
            {kaveloPressing(bench.master, nextKey, previousKey),
             spawning("mpc", "mpc next / prev", {"mpc", host, "next"}, {"mpc", host, "prev"}),
             protocol("next/previous", [client](bool up, double) {
                 return up ? mpd_send_next(client) : mpd_send_previous(client);
             })}};
        ok = run(songChange, bench.inbox, bench.pairs, bench.paceMs);
    }
    mpd_connection_free(client);
    mpd.kill(); // ends the watcher's idle
    watcher.join();
    return ok;
}

// mpv's JSON control socket as the watcher thread reads it: line by line, with
// blocking reads and no event loop.
class MpvSocket
{
public:
    explicit MpvSocket(const QString &path)
    {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = path.toLocal8Bit();
        std::copy_n(name.constData(), std::min<qsizetype>(name.size(), sizeof address.sun_path - 1),
                    address.sun_path);
        if (::connect(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~MpvSocket()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

    bool send(const QJsonArray &command)
    {
        const QByteArray line = QJsonDocument(QJsonObject{{QStringLiteral("command"), command}})
                                    .toJson(QJsonDocument::Compact) +
                                '\n';
        return ::write(fd_, line.constData(), size_t(line.size())) == line.size();
    }

    // The next line mpv sends; nothing once the socket closes.
    std::optional<QJsonObject> readLine()
    {
        qsizetype end;
        while ((end = buffer_.indexOf('\n')) < 0) {
            char chunk[4096];
            const ssize_t got = ::read(fd_, chunk, sizeof chunk);
            if (got <= 0)
                return std::nullopt;
            buffer_.append(chunk, got);
        }
        const QByteArray line = buffer_.left(end);
        buffer_.remove(0, end + 1);
        return QJsonDocument::fromJson(line).object();
    }

private:
    int fd_ = -1;
    QByteArray buffer_;
};

bool benchMpv(const Run &bench, const QString &folder)
{
    QDir().mkpath(folder);
    const QString playlist = folder + QStringLiteral("/list.m3u");
    QFile list(playlist);
    if (!list.open(QIODevice::WriteOnly))
        return false;
    for (const QString &song : songs) {
        writeWav(folder + QLatin1Char('/') + song, 120);
        list.write(folder.toUtf8() + '/' + song.toUtf8() + '\n');
    }
    list.close();

    const QString control = folder + QStringLiteral("/mpv-control");
    Mpv mpv(control);
    if (!mpv.start()) {
        std::fprintf(stderr, "player-latency: mpv did not start\n");
        return false;
    }
    if (!mpv.command({QStringLiteral("loadlist"), playlist})) {
        std::fprintf(stderr, "player-latency: mpv's control socket does not answer\n");
        return false;
    }

    MpvSocket watch(control);
    watch.send({QStringLiteral("observe_property"), 1, QStringLiteral("volume")});
    std::thread watcher([&watch, &inbox = bench.inbox] {
        while (const auto line = watch.readLine()) {
            Change change{Clock::now()};
            if (line->value(QStringLiteral("event")).toString() != QLatin1String("property-change"))
                continue;
            change.volume = line->value(QStringLiteral("data")).toDouble(-1);
            inbox.post(change);
        }
    });

    Kavelo kavelo(bench.kavelo, folder);
    bool ok = kavelo.start(bench.device, QStringLiteral("player=mpris\nmprisPlayer=mpv\n"));
    if (ok) {
        Series volume{"mpv over MPRIS, volume up/down -> mpv's volume property",
                      [](const Change &c) { return c.volume; },
                      [&mpv] { return mpv.property(QStringLiteral("volume")).toDouble(); },
                      {kaveloPressing(bench.master, brightKey, dimKey),
                       spawning("playerctl", "playerctl --player=mpv volume 0.02+ / 0.02-",
                                {"playerctl", "--player=mpv", "volume", "0.02+"},
                                {"playerctl", "--player=mpv", "volume", "0.02-"})}};
        ok = run(volume, bench.inbox, bench.pairs, bench.paceMs);
        if (ok) {
            verdict("Kavelo p99 <= 1/4 of playerctl's p99",
                    figuresOf(volume.contenders[0].latenciesMs).p99 <=
                        figuresOf(volume.contenders[1].latenciesMs).p99 / 4);
        }
    }
    mpv.kill(); // closes the control socket, which ends the watcher
    watcher.join();
    return ok;
}
} // namespace

int main(int argc, char *argv[])
{
    // A session bus of its own, for mpv, Kavelo and playerctl alike.
    SessionBus bus;
    const bool haveBus = bus.start();
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString build =
        QDir(args.value(1, app.applicationDirPath() + QStringLiteral("/.."))).absolutePath();
    const int presses = std::max(2, args.value(2, QStringLiteral("200")).toInt());
    const int paceMs = std::max(0, args.value(3, QStringLiteral("40")).toInt());
    const QString program = args.value(4, QStringLiteral("kavelo"));
    const bool mqtt = args.value(5) == QLatin1String("mqtt");

    BenchPty pty;
    QTemporaryDir folder;
    if (!pty.isOpen() || !folder.isValid())
        return 2;
    ChangeInbox inbox;
    const Run bench{build + QLatin1Char('/') + program,
                    pty.master(),
                    QString::fromLocal8Bit(pty.device()),
                    presses / 2,
                    paceMs,
                    inbox};

    std::unique_ptr<MosquittoBroker> broker;
    if (mqtt) {
        broker =
            std::make_unique<MosquittoBroker>(folder.filePath(QStringLiteral("broker")),
                                              QStringLiteral("kavelo"), QStringLiteral("bench"));
        if (!broker->start()) {
            std::fprintf(stderr, "player-latency: mosquitto did not start\n");
            return 2;
        }
        houseSettings = QStringLiteral("mqttHost=127.0.0.1\nmqttPort=%1\nmqttUser=kavelo\n"
                                       "mqttPassword=bench\nmqttNode=bench\n")
                            .arg(broker->port());
    }
    std::printf("command: %s %s %d %d %s%s\n", qPrintable(args.value(0)), qPrintable(build),
                presses, paceMs, qPrintable(program), mqtt ? " mqtt" : "");
    std::printf("from the start of a command (Kavelo: the frame's second byte written to %s) to "
                "the player's announcement of the change; %d ms between presses; settings in %s\n",
                pty.device(), paceMs, qPrintable(folder.path()));
    std::fflush(stdout);

    bool ok = benchMpd(bench, folder.filePath(QStringLiteral("mpd")));
    if (haveBus && !Mpv::mprisPlugin().isEmpty()) {
        ok = benchMpv(bench, folder.filePath(QStringLiteral("mpv"))) && ok;
    } else {
        std::printf("mpv: skipped (%s)\n", haveBus ? "the mpv-mpris plugin is not installed"
                                                   : "dbus-daemon did not start");
    }
    return ok ? 0 : 1;
}
