// player-latency: how long a key press takes from the adapter's second byte to
// the moment the player itself reports the change. The real main window runs
// offscreen on a pseudo-terminal of its own with the real player backends; the
// program starts a private MPD and, when mpv and its MPRIS plugin are
// installed, an mpv on a private session bus.
//
// Each player gets two series of key presses: next/previous song in turn
// ("A4 off", "A3 off") and volume up/down in turn ("A bright", "A dim"). A
// watcher thread with a connection of its own to the player timestamps each
// change the moment the player announces it: MPD's idle command, mpv's
// property observation on its control socket.
//
// Usage: player-latency [presses]   (default 200 per series)

#include "BenchPty.h"
#include "PlayerPeers.h"

#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "core/SettingsStore.h"
#include "mainwindow/Tarrow.h"
#include "platform/PlayerFactory.h"
#include "platform/SerialComm.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>

#include <mpd/client.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

// What the player announced, and when.
struct Change
{
    Clock::time_point at;
    int songPosition = -1; // -1: not part of this change
    double volume = -1;    // in the player's own unit; -1: not part of this change
};

// Hands the watcher thread's changes to the main thread, where the key press
// that waits for one is told about it.
class ChangeInbox : public QObject
{
public:
    void post(const Change &change)
    {
        QMetaObject::invokeMethod(
            this, [this, change] { deliver(change); }, Qt::QueuedConnection);
    }

    // Makes the press, then waits for a change that `matches`; its time, or
    // nothing after the timeout.
    std::optional<Clock::time_point> waitFor(const std::function<bool(const Change &)> &matches,
                                             const std::function<void()> &press, int timeoutMs)
    {
        QEventLoop loop;
        std::optional<Clock::time_point> seen;
        waiting_ = [&](const Change &change) {
            if (matches(change)) {
                seen = change.at;
                loop.quit();
            }
        };
        QTimer::singleShot(0, press);
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        loop.exec();
        waiting_ = nullptr;
        return seen;
    }

private:
    void deliver(const Change &change)
    {
        if (waiting_)
            waiting_(change);
    }

    std::function<void(const Change &)> waiting_;
};

double percentile(const std::vector<double> &sorted, double p)
{
    const auto index = static_cast<std::size_t>(p * double(sorted.size() - 1) + 0.5);
    return sorted.at(index);
}

// A remote key as the adapter sends it: function byte, then house and unit.
struct Key
{
    const char *name;
    unsigned char first;
    unsigned char second;
};
constexpr Key next{"A4 off", 0x03, 0x03};
constexpr Key previous{"A3 off", 0x03, 0x02};
constexpr Key bright{"A bright", 0x05, 0x00};
constexpr Key dim{"A dim", 0x04, 0x00};

// A series of presses of two keys in turn; press i expects `expected(i)` of the player.
struct Series
{
    const char *title;
    Key keys[2];
    std::function<bool(int, const Change &)> expected;
};

class Bench
{
public:
    Bench(int master, ChangeInbox &inbox, int presses)
        : master_(master), inbox_(inbox), presses_(presses)
    {
    }

    // Runs one series; prints its figures; false when a press got no answer.
    bool run(const char *player, const Series &series)
    {
        std::vector<double> latenciesMs;
        for (int i = 0; i < presses_; ++i) {
            const Key &key = series.keys[i % 2];
            Clock::time_point written = Clock::time_point::max();
            const auto press = [&] {
                // The first byte arrives alone, as it does at 4800 baud.
                writeByte(master_, key.first);
                QTimer::singleShot(2, [&] {
                    written = Clock::now();
                    writeByte(master_, key.second);
                });
            };
            const auto matches = [&](const Change &change) {
                return change.at >= written && series.expected(i, change);
            };
            const auto seen = inbox_.waitFor(matches, press, 3000);
            if (!seen) {
                std::fprintf(stderr, "player-latency: %s: press %d (%s) brought no change\n",
                             player, i, key.name);
                return false;
            }
            latenciesMs.push_back(
                std::chrono::duration<double, std::milli>(*seen - written).count());
        }
        std::sort(latenciesMs.begin(), latenciesMs.end());
        std::printf("  %-4s %-36s median %7.3f ms  p99 %7.3f ms  min %7.3f ms  max %7.3f ms\n",
                    player, series.title, percentile(latenciesMs, 0.5),
                    percentile(latenciesMs, 0.99), latenciesMs.front(), latenciesMs.back());
        std::fflush(stdout);
        return true;
    }

private:
    int master_;
    ChangeInbox &inbox_;
    int presses_;
};

// The main window on the pseudo-terminal, with the player that `store` chooses.
std::unique_ptr<Tarrow> openWindow(MemorySettingsStore &store, const char *device)
{
    store.values.insert(Keys::comDevice(5), QString::fromLocal8Bit(device));
    store.values.insert(Keys::volume, QStringLiteral("125"));
    store.values.insert(Keys::volSteps, QStringLiteral("5"));
    // The settings live as long as the benchmark.
    static std::vector<std::unique_ptr<SettingsModel>> models;
    SettingsModel &settings = *models.emplace_back(std::make_unique<SettingsModel>(store));
    auto window =
        std::make_unique<Tarrow>(settings, [&settings] { return createPlayer(settings); });
    window->load();
    if (!window->Comm1->portOpen())
        return nullptr;
    return window;
}

void writeSongs(const QString &folder, const QStringList &names)
{
    for (const QString &name : names)
        writeWav(folder + QLatin1Char('/') + name, 120);
}

const QStringList songs{QStringLiteral("one.wav"), QStringLiteral("two.wav"),
                        QStringLiteral("three.wav")};

// MPD: volume in percent, of level * 100 / 255.
bool benchMpd(const QString &folder, int master, const char *device, ChangeInbox &inbox,
              int presses)
{
    MpdServer mpd(folder);
    writeSongs(mpd.musicFolder(), songs);
    if (!mpd.start() || !mpd.updateDatabase()) {
        std::fprintf(stderr, "player-latency: MPD did not start\n");
        return false;
    }
    mpd_connection *setup = mpd.observer();
    for (const QString &song : songs)
        mpd_run_add(setup, song.toUtf8().constData());
    if (!mpd_run_play_pos(setup, 0)) {
        std::fprintf(stderr, "player-latency: MPD does not play\n");
        return false;
    }

    std::thread watcher([socket = mpd.socketPath().toUtf8(), &inbox] {
        mpd_connection *c = mpd_connection_new(socket.constData(), 0, 5000);
        while (mpd_connection_get_error(c) == MPD_ERROR_SUCCESS) {
            const auto events = mpd_run_idle_mask(c, mpd_idle(MPD_IDLE_PLAYER | MPD_IDLE_MIXER));
            const Change announced{Clock::now()};
            if (events == 0)
                break;
            mpd_status *status = mpd_run_status(c);
            if (!status)
                break;
            Change change = announced;
            change.songPosition = mpd_status_get_song_pos(status);
            change.volume = mpd_status_get_volume(status);
            mpd_status_free(status);
            inbox.post(change);
        }
        mpd_connection_free(c);
    });

    MemorySettingsStore store;
    store.values.insert(Keys::player, QStringLiteral("mpd"));
    store.values.insert(Keys::mpdHost, mpd.socketPath());
    bool ok = false;
    if (auto window = openWindow(store, device)) {
        Bench bench(master, inbox, presses);
        ok = bench.run("MPD", {"next / previous -> song id",
                               {next, previous},
                               [](int i, const Change &c) {
                                   return c.songPosition == (i % 2 == 0 ? 1 : 0);
                               }}) &&
             bench.run("MPD",
                       {"bright / dim -> mixer volume", {bright, dim}, [](int i, const Change &c) {
                            return c.volume == (i % 2 == 0 ? 51 : 49);
                        }});
    } else {
        std::fprintf(stderr, "player-latency: could not open %s\n", device);
    }
    mpd.kill(); // ends the watcher's idle
    watcher.join();
    return ok;
}

// A line-based client of mpv's JSON control socket.
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

    bool isOpen() const { return fd_ >= 0; }

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

// mpv over MPRIS: its volume in percent, of level / 255.
bool benchMpv(const QString &folder, int master, const char *device, ChangeInbox &inbox,
              int presses)
{
    writeSongs(folder, songs);
    const QString playlist = folder + QStringLiteral("/list.m3u");
    QFile list(playlist);
    if (!list.open(QIODevice::WriteOnly))
        return false;
    for (const QString &song : songs)
        list.write(folder.toUtf8() + '/' + song.toUtf8() + '\n');
    list.close();

    const QString control = folder + QStringLiteral("/mpv-control");
    Mpv mpv(control);
    if (!mpv.start()) {
        std::fprintf(stderr, "player-latency: mpv did not start\n");
        return false;
    }
    const QDeadlineTimer deadline(10000);
    while (!onBus(QStringLiteral("org.mpris.MediaPlayer2.mpv")) && !deadline.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    MpvSocket setup(control);
    if (!setup.isOpen() || !setup.send({QStringLiteral("loadlist"), playlist})) {
        std::fprintf(stderr, "player-latency: mpv's control socket does not answer\n");
        return false;
    }

    MpvSocket watch(control);
    watch.send({QStringLiteral("observe_property"), 1, QStringLiteral("playlist-pos")});
    watch.send({QStringLiteral("observe_property"), 2, QStringLiteral("volume")});
    std::thread watcher([&watch, &inbox] {
        while (const auto line = watch.readLine()) {
            const Change announced{Clock::now()};
            if (line->value(QStringLiteral("event")).toString() != QLatin1String("property-change"))
                continue;
            Change change = announced;
            const QJsonValue data = line->value(QStringLiteral("data"));
            if (line->value(QStringLiteral("id")).toInt() == 1)
                change.songPosition = data.toInt(-1);
            else
                change.volume = data.toDouble(-1);
            inbox.post(change);
        }
    });

    MemorySettingsStore store;
    store.values.insert(Keys::player, QStringLiteral("mpris"));
    store.values.insert(Keys::mprisPlayer, QStringLiteral("mpv"));
    bool ok = false;
    if (auto window = openWindow(store, device)) {
        const auto volumeOf = [](int level) { return level * 100 / 255.0; };
        Bench bench(master, inbox, presses);
        ok =
            bench.run("mpv", {"next / previous -> playlist-pos",
                              {next, previous},
                              [](int i, const Change &c) {
                                  return c.songPosition == (i % 2 == 0 ? 1 : 0);
                              }}) &&
            bench.run("mpv",
                      {"bright / dim -> volume", {bright, dim}, [volumeOf](int i, const Change &c) {
                           return std::abs(c.volume - volumeOf(i % 2 == 0 ? 130 : 125)) < 0.01;
                       }});
    } else {
        std::fprintf(stderr, "player-latency: could not open %s\n", device);
    }
    mpv.kill(); // closes the control socket, which ends the watcher
    watcher.join();
    return ok;
}
} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A session bus of its own, so that no player of the desktop takes part.
    SessionBus bus;
    const bool haveBus = bus.start();
    QApplication app(argc, argv);
    const int presses = argc > 1 ? std::max(2, std::atoi(argv[1])) : 200;

    BenchPty pty;
    if (!pty.isOpen())
        return 2;
    const int master = pty.master();
    const char *const device = pty.device();

    QTemporaryDir folder;
    ChangeInbox inbox;
    std::printf("command: %s %d\n", argv[0], presses);
    std::printf("latency, second byte written to %s -> change reported by the player, "
                "%d presses per series:\n",
                device, presses);
    std::fflush(stdout);

    bool ok = benchMpd(folder.filePath(QStringLiteral("mpd")), master, device, inbox, presses);
    if (haveBus && !Mpv::mprisPlugin().isEmpty()) {
        QDir(folder.path()).mkpath(QStringLiteral("mpv"));
        ok = benchMpv(folder.filePath(QStringLiteral("mpv")), master, device, inbox, presses) && ok;
    } else {
        std::printf("  mpv: skipped (%s)\n", haveBus ? "the mpv-mpris plugin is not installed"
                                                     : "dbus-daemon did not start");
    }
    return ok ? 0 : 1;
}
