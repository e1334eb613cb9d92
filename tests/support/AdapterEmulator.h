// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

// Runs the adapter emulator (kavelo-adapter) for a test: the device it serves,
// the key presses to send, and the bytes the program wrote to it. The event
// loop keeps running while a test waits, so timers and serial ports go on.
class AdapterEmulator
{
public:
    // A test that counts what each typed key does wants one frame per key
    // instead of a remote's burst.
    static inline const QStringList oneFramePerKey{QStringLiteral("--repeats"),
                                                   QStringLiteral("1")};

    // model: "trenda", "pasko", "silent" or "noisy"; options: more of the
    // emulator's options ("--repeats", "--interval").
    explicit AdapterEmulator(const QString &model = QStringLiteral("trenda"),
                             const QStringList &options = {})
    {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, &process_,
                         [this] { readOutput(); });
        process_.start(QStringLiteral(KAVELO_BINARY_DIR "/kavelo-adapter"),
                       QStringList{QStringLiteral("--model"), model} + options);
        if (process_.waitForStarted(5000))
            waitUntil([this] { return !devicePath_.isEmpty(); }, 5000);
    }

    ~AdapterEmulator()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.closeWriteChannel(); // end of input ends the emulator
        if (!process_.waitForFinished(2000)) {
            process_.kill();
            process_.waitForFinished(2000);
        }
    }

    AdapterEmulator(const AdapterEmulator &) = delete;
    AdapterEmulator &operator=(const AdapterEmulator &) = delete;

    // The pseudo-terminal to put in "comDevice<n>"; empty when the emulator did not start.
    QString devicePath() const { return devicePath_; }
    // The lock file a program holding the device writes: the device's name
    // below /dev, "/" written "_".
    QString lockFile() const
    {
        return QStringLiteral("/run/lock/LCK..") + QDir(QStringLiteral("/dev"))
                                                       .relativeFilePath(devicePath_)
                                                       .replace(QLatin1Char('/'), QLatin1Char('_'));
    }
    bool isRunning() const { return process_.state() == QProcess::Running; }
    qint64 processId() const { return process_.processId(); }

    // One key press ("A3 on", "A 11 off", "P16 all on", "A dim"), a held key
    // ("hold 2s A bright") or "raw 02 10".
    void send(const QString &line)
    {
        process_.write(line.toUtf8() + '\n');
        process_.waitForBytesWritten(2000);
    }

    // The bytes the program wrote to the adapter, in order.
    QByteArray received() const { return received_; }
    bool waitForReceived(int count, int timeoutMs = 5000)
    {
        return waitUntil([this, count] { return received_.size() >= count; }, timeoutMs);
    }
    void clearReceived() { received_.clear(); }

    // Everything the emulator wrote to the device, one entry per write
    // (frames and probe answers).
    QList<QByteArray> sent() const { return sent_; }
    bool waitForSent(int writes, int timeoutMs = 5000)
    {
        return waitUntil([this, writes] { return sent_.size() >= writes; }, timeoutMs);
    }

    // The adapter is unplugged: the master side of the pseudo-terminal goes away.
    void kill()
    {
        process_.kill();
        process_.waitForFinished(5000);
    }

private:
    void readOutput()
    {
        pending_ += process_.readAllStandardOutput();
        qsizetype end;
        while ((end = pending_.indexOf('\n')) >= 0) {
            const QByteArray line = pending_.left(end).trimmed();
            pending_.remove(0, end + 1);
            if (devicePath_.isEmpty())
                devicePath_ = QString::fromLocal8Bit(line);
            else if (line.startsWith("rx "))
                received_ += QByteArray::fromHex(line.mid(3));
            else if (line.startsWith("tx "))
                sent_ += QByteArray::fromHex(line.mid(3));
        }
    }

    bool waitUntil(const std::function<bool()> &done, int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!done()) {
            if (deadline.hasExpired() || process_.state() == QProcess::NotRunning)
                return done();
            QEventLoop loop;
            QTimer::singleShot(deadline.remainingTime(), &loop, &QEventLoop::quit);
            QObject::connect(&process_, &QProcess::readyReadStandardOutput, &loop,
                             &QEventLoop::quit, Qt::QueuedConnection);
            QObject::connect(&process_, &QProcess::finished, &loop, &QEventLoop::quit,
                             Qt::QueuedConnection);
            loop.exec();
        }
        return true;
    }

    QProcess process_;
    QByteArray pending_;
    QString devicePath_;
    QByteArray received_;
    QList<QByteArray> sent_;
};
