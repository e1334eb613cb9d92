// SPDX-License-Identifier: GPL-3.0-or-later
// window-stall: the longest the main window stands still while MPD does not
// answer and keys keep coming.
//
// The main window runs in this process, put together as the program puts it
// together, with the settings file in a throw-away XDG_CONFIG_HOME that points
// port 5 at a pseudo-terminal of this program's own and chooses a private MPD.
// Once a volume key is seen to reach MPD, MPD is frozen (SIGSTOP) and a thread
// of its own writes "A bright" / "A dim" into the pseudo-terminal every 100 ms,
// while a 10 ms timer on the window's thread notes the longest gap between two
// of its ticks: the longest time the window could not repaint or answer.
//
// Usage: window-stall [seconds]   (default 5)

#include "BenchPty.h"
#include "PlayerPeers.h"

#include "core/IniSettingsStore.h"
#include "core/SettingsModel.h"
#include "core/ThumbsLists.h"
#include "gui/Messages.h"
#include "gui/mainwindow/Tarrow.h"
#include "players/PlayerFactory.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>

namespace {
// The only part that knows the window's classes: the program as app/kavelo.cpp
// puts it together. Adapt this when the window's constructor changes.
struct MainWindow
{
    IniSettingsStore file;
    SettingsModel settings{file};
    ThumbsLists thumbs{QString()};
    Messages messages;
    Tarrow window{settings, thumbs, createPlayer, messages};

    MainWindow() { window.load(); }
};

constexpr int keyIntervalMs = 100;
constexpr int tickMs = 10;

// Writes volume keys into the pseudo-terminal on a thread of its own, so they
// keep coming however long the window's thread is held up. It starts with the
// thread and goes with it.
class KeyRepeater : public QObject
{
public:
    KeyRepeater(QThread &thread, int master, std::atomic<int> &sent) : master_(master), sent_(sent)
    {
        moveToThread(&thread);
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(keyIntervalMs);
        connect(&timer_, &QTimer::timeout, this, &KeyRepeater::press);
        connect(&thread, &QThread::started, &timer_, qOverload<>(&QTimer::start));
        connect(&thread, &QThread::finished, this, &QObject::deleteLater);
    }

private:
    void press()
    {
        const RemoteKey key = sent_ % 2 == 0 ? brightKey : dimKey;
        writeByte(master_, key.first);
        QTimer::singleShot(byteGapMs, Qt::PreciseTimer, this, [this, key] {
            writeByte(master_, key.second);
            ++sent_;
        });
    }

    int master_;
    std::atomic<int> &sent_;
    QTimer timer_{this};
};

// One key press written from the window's thread, for the check before the freeze.
void press(int master, const RemoteKey &key)
{
    writeByte(master, key.first);
    QTest::qWait(byteGapMs);
    writeByte(master, key.second);
}
} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir folder;
    const QString config = folder.filePath(QStringLiteral("config"));
    // Read once, when the first settings file is opened: set it before anything else.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    QApplication app(argc, argv);
    const int seconds = std::max(1, app.arguments().value(1, QStringLiteral("5")).toInt());

    BenchPty pty;
    if (!folder.isValid() || !pty.isOpen())
        return 2;
    MpdServer mpd(folder.filePath(QStringLiteral("mpd")));
    writeWav(mpd.musicFolder() + QStringLiteral("/one.wav"), 120);
    if (!mpd.start() || !mpd.updateDatabase() || !mpd.play({QStringLiteral("one.wav")})) {
        std::fprintf(stderr, "window-stall: MPD did not start\n");
        return 2;
    }

    QDir().mkpath(config);
    QFile ini(config + QStringLiteral("/rarozavE.ini"));
    if (!ini.open(QIODevice::WriteOnly))
        return 2;
    ini.write(QStringLiteral("[Startup]\ncomDevice5=%1\nplayer=mpd\nmpdHost=%2\n"
                             "volume=125\nvolSteps=5\n")
                  .arg(QString::fromLocal8Bit(pty.device()), mpd.socketPath())
                  .toLocal8Bit());
    ini.close();

    MainWindow main;
    // Past the port's opening, the start ends by throwing away what has arrived.
    QTest::qWait(300);
    // The key path works: a volume key moves MPD's volume, and back.
    const int before = mpd.volume();
    press(pty.master(), brightKey);
    const bool up = QTest::qWaitFor([&] { return mpd.volume() > before; }, 3000);
    QTest::qWait(50);
    press(pty.master(), dimKey);
    if (!up || !QTest::qWaitFor([&] { return mpd.volume() == before; }, 3000)) {
        std::fprintf(stderr, "window-stall: volume keys do not reach MPD on %s\n", pty.device());
        return 2;
    }

    QThread keyThread;
    std::atomic<int> sent = 0;
    new KeyRepeater(keyThread, pty.master(), sent);

    signalProcess(mpd.process(), SIGSTOP);
    QElapsedTimer sinceTick;
    qint64 longestMs = 0;
    int ticks = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(tickMs);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longestMs = std::max(longestMs, sinceTick.restart());
        ++ticks;
    });
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    sinceTick.start();
    tick.start();
    keyThread.start();
    loop.exec();
    longestMs = std::max(longestMs, sinceTick.elapsed());
    keyThread.quit();
    keyThread.wait();
    signalProcess(mpd.process(), SIGCONT);

    std::printf("command: %s %d\n", qPrintable(app.arguments().value(0)), seconds);
    std::printf("MPD stopped (SIGSTOP) for %d s, \"A bright\" / \"A dim\" every %d ms (%d sent):\n",
                seconds, keyIntervalMs, sent.load());
    std::printf("  longest gap between the window thread's %d ms timer ticks: %lld ms "
                "(%d ticks of %d)\n",
                tickMs, static_cast<long long>(longestMs), ticks, seconds * 1000 / tickMs);
    std::printf("  target worst stall <= 50 ms: %s\n", longestMs <= 50 ? "met" : "MISSED");
    return 0;
}
