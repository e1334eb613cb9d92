// SPDX-License-Identifier: GPL-3.0-or-later
// frame-latency: how long a key press takes from the adapter's second byte to
// the player. Builds the real main window offscreen on a pseudo-terminal of its
// own, with the real settings file in a throw-away XDG_CONFIG_HOME, writes
// frames to the master side and timestamps the player call that each frame
// causes.
//
// Usage: frame-latency [frames]   (default 1000)

#include "BenchPty.h"

#include "core/IniSettingsStore.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "core/ThumbsLists.h"
#include "gui/Messages.h"
#include "gui/mainwindow/Tarrow.h"
#include "serial/SerialComm.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

// A stopped player that notes when a playlist load reaches it.
class TimestampPlayer : public PlayerControl
{
public:
    std::function<void(Clock::time_point)> onLoad;

    bool loadPlaylist(const QString &) override
    {
        const auto now = Clock::now();
        if (onLoad)
            onLoad(now);
        return true;
    }
    bool findPlayer() override { return false; }
    bool prepareLoad() override { return true; }
    bool play() override { return true; }
    bool setVolume(qint16) override { return true; }
    std::optional<QString> getCurrentSong() override { return QString(); }
    bool toggleShuffle() override { return true; }
    bool pause() override { return true; }
    bool nextTrack() override { return true; }
    bool previousTrack() override { return true; }
    bool back5Seconds() override { return true; }
    std::optional<bool> getShuffle() override { return false; }
};

double percentile(std::vector<double> sorted, double p)
{
    const auto index = static_cast<std::size_t>(p * double(sorted.size() - 1) + 0.5);
    return sorted.at(index);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    // Read once, when the first settings file is opened: set it before anything else.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;

    BenchPty pty;
    if (!pty.isOpen() || !config.isValid())
        return 2;
    const int master = pty.master();
    const char *const device = pty.device();

    IniSettingsStore file;
    SettingsModel settings(file);
    settings.setValue(Keys::comDevice(5), QString::fromLocal8Bit(device));
    TimestampPlayer *player = nullptr;
    ThumbsLists thumbs{QString()};
    Messages messages;
    Tarrow window(
        settings, thumbs,
        [&player](const PlayerChoice &) {
            auto created = std::make_unique<TimestampPlayer>();
            player = created.get();
            return created;
        },
        messages);
    window.load();
    if (!window.Comm1->portOpen() || !player) {
        std::fprintf(stderr, "frame-latency: could not open %s\n", device);
        return 2;
    }

    std::vector<double> latenciesMs;
    latenciesMs.reserve(frames);
    for (int i = 0; i < frames; ++i) {
        QEventLoop loop;
        Clock::time_point written;
        bool arrived = false;
        player->onLoad = [&](Clock::time_point called) {
            latenciesMs.push_back(
                std::chrono::duration<double, std::milli>(called - written).count());
            arrived = true;
            loop.quit();
        };
        // A1 on .. A8 on; the first byte arrives alone, as it does at 4800 baud.
        const auto unit = static_cast<unsigned char>(i % 8);
        QTimer::singleShot(0, [&] { writeByte(master, 0x02); });
        QTimer::singleShot(2, [&] {
            written = Clock::now();
            writeByte(master, unit);
        });
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        loop.exec();
        if (!arrived) {
            std::fprintf(stderr, "frame-latency: frame %d never reached the player\n", i);
            return 1;
        }
    }

    std::vector<double> sorted = latenciesMs;
    std::sort(sorted.begin(), sorted.end());
    const double p99 = percentile(sorted, 0.99);
    std::printf("command: %s %d\n", argv[0], frames);
    std::printf("frames: %d on %s\n", frames, device);
    std::printf("latency, second byte written -> PlayerControl::loadPlaylist:\n");
    std::printf("  median %.3f ms  p99 %.3f ms  max %.3f ms  min %.3f ms\n",
                percentile(sorted, 0.5), p99, sorted.back(), sorted.front());
    std::printf("target p99 < 2 ms: %s\n", p99 < 2.0 ? "met" : "MISSED");
    window.close();
    return 0;
}
