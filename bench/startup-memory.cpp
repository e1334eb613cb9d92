// SPDX-License-Identifier: GPL-3.0-or-later
// startup-memory: how fast Kavelo starts, what it holds, and whether it grows.
//
// Runs the real build/kavelo (the desktop program, offscreen when there is no
// display) or build/kavelod (the service) against the adapter emulator in a
// throw-away settings folder, with a private MPD playing a song as the player.
// Measures, over several starts, the time from launch until the program holds
// the serial device (the window is shown before the port is opened), then the
// resident memory after start-up, and again after key presses sent through
// the emulator (an hour's worth by default).
//
// Usage: startup-memory [build-dir] [frames] [starts] [kavelo|kavelod]
//        (defaults: the folder of this program's parent, 36000, 5, kavelo)

#include "PlayerPeers.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Emulator
{
    QProcess process;
    QString device;

    bool start(const QString &build)
    {
        process.start(build + QStringLiteral("/kavelo-adapter"), {});
        if (!process.waitForStarted(5000) || !process.waitForReadyRead(5000))
            return false;
        device = QString::fromLocal8Bit(process.readLine()).trimmed();
        return !device.isEmpty();
    }
    ~Emulator()
    {
        process.closeWriteChannel();
        process.kill();
        process.waitForFinished(2000);
    }
};

bool holds(qint64 pid, const QString &device)
{
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo &fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
        if (fd.symLinkTarget() == device)
            return true;
    }
    return false;
}

long residentKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    // Files in /proc report no size: read them whole.
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

void stop(QProcess &kavelo)
{
    kavelo.terminate();
    if (!kavelo.waitForFinished(3000)) {
        kavelo.kill();
        kavelo.waitForFinished(3000);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString build = args.value(1, QDir(app.applicationDirPath() + "/..").absolutePath());
    const int frames = args.value(2, QStringLiteral("36000")).toInt();
    const int starts = args.value(3, QStringLiteral("5")).toInt();
    const QString program = args.value(4, QStringLiteral("kavelo"));

    QTemporaryDir work;
    Emulator emulator;
    if (!work.isValid() || !emulator.start(build)) {
        std::fprintf(stderr, "startup-memory: the emulator did not start\n");
        return 2;
    }
    MpdServer mpd(work.filePath(QStringLiteral("mpd")));
    const QString song = mpd.musicFolder() + QStringLiteral("/song.wav");
    if (!writeWav(song, 600) || !mpd.start() || !mpd.updateDatabase() ||
        !mpd.play({QStringLiteral("song.wav")})) {
        std::fprintf(stderr, "startup-memory: MPD did not start\n");
        return 2;
    }
    // The thumbs keys write their files in the throw-away folder.
    if (!writeFile(work.filePath(QStringLiteral("rarozavE.ini")),
                   QStringLiteral("[Startup]\ncomDevice5=%1\nplayer=mpd\nmpdHost=%2\n"
                                  "thumbsup=%3/up.m3u\nthumbsdown=%3/down.m3u\n")
                       .arg(emulator.device, mpd.socketPath(), work.path())
                       .toLocal8Bit()))
        return 2;

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), work.path());
    env.insert(QStringLiteral("XDG_STATE_HOME"), work.path());
    if (!env.contains(QStringLiteral("DISPLAY")) &&
        !env.contains(QStringLiteral("WAYLAND_DISPLAY")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    std::vector<double> startMs;
    long afterStart = -1;
    long afterFrames = -1;
    long halfway = -1;
    for (int run = 0; run < starts; ++run) {
        QProcess kavelo;
        kavelo.setProcessEnvironment(env);
        kavelo.setStandardOutputFile(QProcess::nullDevice());
        kavelo.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer clock;
        clock.start();
        kavelo.start(build + QLatin1Char('/') + program, {});
        if (!kavelo.waitForStarted(5000))
            return 2;
        while (!holds(kavelo.processId(), emulator.device)) {
            if (clock.elapsed() > 20000 || kavelo.state() != QProcess::Running) {
                std::fprintf(stderr, "startup-memory: %s never opened %s\n", qPrintable(program),
                             qPrintable(emulator.device));
                return 2;
            }
            QThread::usleep(500);
        }
        startMs.push_back(clock.nsecsElapsed() / 1e6);

        if (run == starts - 1) {
            QThread::sleep(2);
            afterStart = residentKiB(kavelo.processId());

            // A busy hour: a key press every 100 ms, sent here one a millisecond
            // (the volume keys and the thumbs keys reach MPD). Raw frames go out
            // at once, one each, where a typed key would be a burst after a pause:
            // A bright, A dim, A 11 off, A5 off, B3 on, A all on.
            const char *const keys[] = {"raw 05 00\n", "raw 04 00\n", "raw 03 0A\n",
                                        "raw 03 04\n", "raw 12 12\n", "raw 01 00\n"};
            for (int i = 0; i < frames; ++i) {
                emulator.process.write(keys[i % 6]);
                emulator.process.waitForBytesWritten(1000);
                emulator.process.readAllStandardOutput();
                QThread::usleep(1000);
                if (i == frames / 2)
                    halfway = residentKiB(kavelo.processId());
            }
            QThread::sleep(2);
            afterFrames = residentKiB(kavelo.processId());
        }
        stop(kavelo);
    }

    std::sort(startMs.begin(), startMs.end());
    std::printf("command: %s %s %d %d %s\n", qPrintable(args.value(0)), qPrintable(build), frames,
                starts, qPrintable(program));
    std::printf("%s, start to the port open%s: median %.0f ms, best %.0f ms, "
                "worst %.0f ms over %d starts\n",
                qPrintable(program), program == QLatin1String("kavelo") ? " (window shown)" : "",
                startMs[startMs.size() / 2], startMs.front(), startMs.back(), starts);
    std::printf("resident memory after start-up: %ld KiB\n", afterStart);
    std::printf("resident memory after %d frames: %ld KiB (halfway %ld KiB, growth %+ld KiB)\n",
                frames, afterFrames, halfway, afterFrames - afterStart);
    return 0;
}
