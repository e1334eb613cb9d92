// SPDX-License-Identifier: GPL-3.0-or-later
// mqtt-latency: how soon a home-automation hub hears of a key press, beside
// how soon the same broker hands on a message at all.
//
// The real service (build/kavelod) runs with its settings file in a throw-away
// XDG_CONFIG_HOME: port 5 on a pseudo-terminal of this program's own, a
// private mosquitto on loopback with a password. A subscriber of this
// program's own, on a connection of its own, waits for each press's message
// on kavelo/bench/key; a press is timed from the frame's second byte written
// to the message's arrival. The floor, taken in turns with the presses: a
// message published by a second client of this program's own to the same
// broker, from just before the publish to its arrival at the same subscriber.
//
// Usage: mqtt-latency [build-dir] [presses] [pace-ms]
//        (defaults: the parent of this program's folder, 200, 40)

#include "BenchPty.h"
#include "MosquittoBroker.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

// What the subscriber saw last: the topic and when.
struct Inbox
{
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::pair<std::string, Clock::time_point>> messages;

    bool waitFor(const std::string &topic, Clock::time_point &at, int timeoutMs)
    {
        std::unique_lock lock(mutex);
        const bool seen = arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            return std::any_of(messages.begin(), messages.end(),
                               [&](const auto &m) { return m.first == topic; });
        });
        if (!seen)
            return false;
        const auto found = std::find_if(messages.begin(), messages.end(),
                                        [&](const auto &m) { return m.first == topic; });
        at = found->second;
        messages.erase(found);
        return true;
    }
    void clear()
    {
        std::lock_guard lock(mutex);
        messages.clear();
    }
};

mosquitto *client(const char *id, quint16 port, Inbox *inbox)
{
    mosquitto *m = mosquitto_new(id, true, inbox);
    mosquitto_username_pw_set(m, "kavelo", "bench");
    if (inbox) {
        mosquitto_message_callback_set(
            m, [](mosquitto *, void *data, const mosquitto_message *message) {
                auto *in = static_cast<Inbox *>(data);
                const auto now = Clock::now();
                std::lock_guard lock(in->mutex);
                in->messages.emplace_back(message->topic, now);
                in->arrived.notify_all();
            });
    }
    if (mosquitto_connect(m, "127.0.0.1", port, 60) != MOSQ_ERR_SUCCESS ||
        mosquitto_loop_start(m) != MOSQ_ERR_SUCCESS) {
        mosquitto_destroy(m);
        return nullptr;
    }
    return m;
}

void report(const char *who, std::vector<double> ms, const char *how)
{
    std::sort(ms.begin(), ms.end());
    const auto at = [&ms](double q) { return ms[std::min(ms.size() - 1, size_t(q * ms.size()))]; };
    std::printf("  %-8s median %7.3f ms  p99 %7.3f ms  (min %6.3f, max %7.3f)  %s\n", who, at(0.5),
                at(0.99), ms.front(), ms.back(), how);
}

double p99(std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    return ms[std::min(ms.size() - 1, size_t(0.99 * ms.size()))];
}

void pause(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString build =
        QDir(args.value(1, app.applicationDirPath() + QStringLiteral("/.."))).absolutePath();
    const int presses = std::max(2, args.value(2, QStringLiteral("200")).toInt());
    const int paceMs = std::max(0, args.value(3, QStringLiteral("40")).toInt());

    BenchPty pty;
    QTemporaryDir folder;
    MosquittoBroker broker(folder.filePath(QStringLiteral("broker")), QStringLiteral("kavelo"),
                           QStringLiteral("bench"));
    if (!pty.isOpen() || !folder.isValid() || !broker.start()) {
        std::fprintf(stderr, "mqtt-latency: no pseudo-terminal, folder or mosquitto\n");
        return 2;
    }
    std::printf("command: %s %s %d %d\n", qPrintable(args.value(0)), qPrintable(build), presses,
                paceMs);

    mosquitto_lib_init();
    Inbox inbox;
    mosquitto *subscriber = client("bench-subscriber", broker.port(), &inbox);
    mosquitto *publisher = client("bench-publisher", broker.port(), nullptr);
    if (!subscriber || !publisher) {
        std::fprintf(stderr, "mqtt-latency: cannot connect to mosquitto\n");
        return 2;
    }
    mosquitto_subscribe(subscriber, nullptr, "kavelo/bench/#", 0);
    mosquitto_subscribe(subscriber, nullptr, "bench/floor", 0);

    const QString config = folder.filePath(QStringLiteral("config"));
    QDir().mkpath(config);
    QFile ini(config + QStringLiteral("/rarozavE.ini"));
    if (!ini.open(QIODevice::WriteOnly))
        return 2;
    ini.write(QStringLiteral("[Startup]\ncomDevice5=%1\nplayer=mpd\nmpdHost=%2/no-mpd\n"
                             "mqttHost=127.0.0.1\nmqttPort=%3\nmqttUser=kavelo\n"
                             "mqttPassword=bench\nmqttNode=bench\nmqttDiscovery=\n")
                  .arg(QString::fromLocal8Bit(pty.device()), folder.path())
                  .arg(broker.port())
                  .toLocal8Bit());
    ini.close();
    QProcess kavelod;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    kavelod.setProcessEnvironment(env);
    kavelod.setStandardErrorFile(folder.filePath(QStringLiteral("kavelod.log")));
    kavelod.start(build + QStringLiteral("/kavelod"), {});
    Clock::time_point at;
    if (!kavelod.waitForStarted(5000) || !inbox.waitFor("kavelo/bench/availability", at, 10000)) {
        std::fprintf(stderr, "mqtt-latency: kavelod never said it is online\n");
        return 1;
    }
    pause(300);

    std::vector<double> kavelo, floor;
    const auto ms = [](Clock::time_point from, Clock::time_point to) {
        return std::chrono::duration<double, std::milli>(to - from).count();
    };
    for (int i = -2; i < presses; ++i) {
        inbox.clear();
        const RemoteKey &key = i % 2 == 0 ? brightKey : dimKey;
        writeByte(pty.master(), key.first);
        pause(byteGapMs);
        const auto written = Clock::now();
        writeByte(pty.master(), key.second);
        if (!inbox.waitFor("kavelo/bench/key", at, 2000)) {
            std::fprintf(stderr, "mqtt-latency: press %d never reached the subscriber\n", i);
            return 1;
        }
        if (i >= 0)
            kavelo.push_back(ms(written, at));
        pause(paceMs);

        const auto sent = Clock::now();
        mosquitto_publish(publisher, nullptr, "bench/floor", 4, "ping", 0, false);
        if (!inbox.waitFor("bench/floor", at, 2000)) {
            std::fprintf(stderr, "mqtt-latency: the broker lost a message\n");
            return 1;
        }
        if (i >= 0)
            floor.push_back(ms(sent, at));
        pause(paceMs);
    }
    std::printf("key press to the hub's subscriber, %d presses, %d ms apart:\n", presses, paceMs);
    report("Kavelo", kavelo, "\"A bright\" / \"A dim\" on the port -> kavelo/bench/key");
    report("broker", floor, "a client's publish -> the same subscriber (the floor)");
    std::printf("  Kavelo p99 / broker p99 = %.2f\n", p99(kavelo) / p99(floor));

    kavelod.terminate();
    kavelod.waitForFinished(3000);
    mosquitto_disconnect(subscriber);
    mosquitto_disconnect(publisher);
    mosquitto_loop_stop(subscriber, true);
    mosquitto_loop_stop(publisher, true);
    mosquitto_destroy(subscriber);
    mosquitto_destroy(publisher);
    mosquitto_lib_cleanup();
    return 0;
}
