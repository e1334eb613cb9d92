// SPDX-License-Identifier: GPL-3.0-or-later
#include "AdapterEmulator.h"
#include "NothingHappens.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The program's side of the line: the pseudo-terminal opened raw, as the serial
// port would open it.
class Line
{
public:
    explicit Line(const QString &device)
        : fd_(::open(device.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        termios raw{};
        if (fd_ >= 0 && ::tcgetattr(fd_, &raw) == 0) {
            ::cfmakeraw(&raw);
            ::tcsetattr(fd_, TCSANOW, &raw);
        }
    }
    ~Line()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Line(const Line &) = delete;
    Line &operator=(const Line &) = delete;

    bool isOpen() const { return fd_ >= 0; }
    bool write(const QByteArray &bytes)
    {
        return ::write(fd_, bytes.constData(), bytes.size()) == bytes.size();
    }
    // What arrives within timeoutMs, once count bytes are there or the time is up.
    QByteArray read(int count, int timeoutMs)
    {
        QByteArray bytes;
        QDeadlineTimer deadline(timeoutMs);
        while (bytes.size() < count && !deadline.hasExpired()) {
            pollfd in{fd_, POLLIN, 0};
            if (::poll(&in, 1, int(deadline.remainingTime())) <= 0)
                break;
            char buffer[64];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0)
                bytes.append(buffer, n);
        }
        return bytes;
    }
    // Every frame of frameSize bytes that arrives until quietMs pass without
    // a byte, each with the time it arrived, in ms since the call.
    QList<QPair<QByteArray, qint64>> framesUntilQuiet(int frameSize, int quietMs)
    {
        QList<QPair<QByteArray, qint64>> frames;
        QByteArray bytes;
        QElapsedTimer clock;
        clock.start();
        pollfd in{fd_, POLLIN, 0};
        while (::poll(&in, 1, quietMs) > 0) {
            char buffer[64];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            bytes.append(buffer, n);
            for (; bytes.size() >= frameSize; bytes.remove(0, frameSize))
                frames.append({bytes.left(frameSize), clock.elapsed()});
        }
        if (!bytes.isEmpty())
            frames.append({bytes, clock.elapsed()});
        return frames;
    }

private:
    int fd_;
};

using Frames = QList<QPair<QByteArray, qint64>>;

QByteArray allBytes(const Frames &frames)
{
    QByteArray bytes;
    for (const auto &frame : frames)
        bytes += frame.first;
    return bytes;
}

// The time between frame i - 1 and frame i.
qint64 gapBefore(const Frames &frames, int i)
{
    return frames.at(i).second - frames.at(i - 1).second;
}

// CPU time a process has used so far, user and system, in milliseconds.
qint64 cpuMilliseconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // The fields after the command name, which is in parentheses; utime and stime
    // are fields 14 and 15 of the whole line.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const qint64 ticks = fields.value(11).toLongLong() + fields.value(12).toLongLong();
    return ticks * 1000 / sysconf(_SC_CLK_TCK);
}

} // namespace

class TestAdapterEmulator : public QObject
{
    Q_OBJECT

private slots:
    void keyPressBecomesFrame_data();
    void keyPressBecomesFrame();
    void unreadableLinesAreSkipped();
    void badOptionsAreRefused_data();
    void badOptionsAreRefused();
    void keysComeAsBursts_data();
    void keysComeAsBursts();
    void twoKeysAreTwoPresses_data();
    void twoKeysAreTwoPresses();
    void probeIsAnsweredWhileAKeyIsHeld();
    void paskoProbeAnswers_data();
    void paskoProbeAnswers();
    void survivesTheDeviceBeingClosedAndReopened();
};

void TestAdapterEmulator::keyPressBecomesFrame_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("A3 on") << "A3 on" << QByteArray::fromHex("0202");
    QTest::newRow("A 11 off") << "A 11 off" << QByteArray::fromHex("030A");
    QTest::newRow("P16 all on") << "P16 all on" << QByteArray::fromHex("F1FF");
    QTest::newRow("A all off") << "A all off" << QByteArray::fromHex("0000");
    QTest::newRow("A bright") << "A bright" << QByteArray::fromHex("0500");
    QTest::newRow("A dim") << "A dim" << QByteArray::fromHex("0400");
    QTest::newRow("C5 dim keeps the unit") << "C5 dim" << QByteArray::fromHex("2424");
    QTest::newRow("lower case, extra blanks") << "  b12   off " << QByteArray::fromHex("131B");
    QTest::newRow("raw, three bytes") << "raw 02 0a FF" << QByteArray::fromHex("020AFF");
}

void TestAdapterEmulator::keyPressBecomesFrame()
{
    QFETCH(QString, line);
    QFETCH(QByteArray, frame);
    AdapterEmulator adapter(QStringLiteral("trenda"), AdapterEmulator::oneFramePerKey);
    Line device(adapter.devicePath());
    QVERIFY(device.isOpen());

    adapter.send(line);
    QVERIFY(adapter.waitForSent(1));
    QCOMPARE(adapter.sent().value(0), frame);
    QCOMPARE(device.read(frame.size() + 1, 200), frame);
}

void TestAdapterEmulator::unreadableLinesAreSkipped()
{
    AdapterEmulator adapter(QStringLiteral("trenda"), AdapterEmulator::oneFramePerKey);
    Line device(adapter.devicePath());

    for (const char *line :
         {"Q1 on", "A17 on", "A0 on", "A3 toggle", "A on", "raw", "raw 1g", "hold A bright",
          "hold 2x A bright", "hold 0s A bright", "hold 2s", "hold 2s A17 on"})
        adapter.send(QString::fromLatin1(line));
    adapter.send(QStringLiteral("A1 off"));
    QVERIFY(adapter.waitForSent(1));
    QCOMPARE(adapter.sent(), QList<QByteArray>{QByteArray::fromHex("0300")});
    QCOMPARE(device.read(3, 200), QByteArray::fromHex("0300"));
}

void TestAdapterEmulator::badOptionsAreRefused_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::newRow("no repeats") << QStringList{"--repeats", "0"};
    QTest::newRow("repeats not a number") << QStringList{"--repeats", "5x"};
    QTest::newRow("no interval") << QStringList{"--interval=0"};
    QTest::newRow("interval missing") << QStringList{"--interval"};
}

void TestAdapterEmulator::badOptionsAreRefused()
{
    QFETCH(QStringList, options);
    QProcess adapter;
    adapter.start(QStringLiteral(KAVELO_BINARY_DIR "/kavelo-adapter"), options);
    adapter.closeWriteChannel();
    QVERIFY(adapter.waitForFinished(5000));
    QCOMPARE(adapter.exitCode(), 2);
    QVERIFY(adapter.readAllStandardOutput().isEmpty()); // no device offered
}

void TestAdapterEmulator::keysComeAsBursts_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("intervalMs");

    const QByteArray a3On = QByteArray::fromHex("0202");
    QTest::newRow("a key: five frames") << QStringList() << "A3 on" << a3On << 5 << 100;
    QTest::newRow("--repeats 3 --interval 150")
        << QStringList{"--repeats", "3", "--interval", "150"} << "A dim"
        << QByteArray::fromHex("0400") << 3 << 150;
    QTest::newRow("--repeats=1: one frame")
        << QStringList{"--repeats=1"} << "A3 on" << a3On << 1 << 100;
    QTest::newRow("hold 1s") << QStringList() << "hold 1s A bright" << QByteArray::fromHex("0500")
                             << 10 << 100;
    QTest::newRow("hold 1500ms, --interval 250")
        << QStringList{"--interval", "250"} << "HOLD 1500ms A3 off" << QByteArray::fromHex("0302")
        << 6 << 250;
    QTest::newRow("raw: one write") << QStringList{"--repeats", "3"} << "raw 02 0a FF"
                                    << QByteArray::fromHex("020AFF") << 1 << 100;
}

// A remote repeats the frame while the key is down; the frames never come
// closer than the interval, and nothing follows the last one.
void TestAdapterEmulator::keysComeAsBursts()
{
    QFETCH(QStringList, options);
    QFETCH(QString, line);
    QFETCH(QByteArray, frame);
    QFETCH(int, frames);
    QFETCH(int, intervalMs);
    AdapterEmulator adapter(QStringLiteral("trenda"), options);
    Line device(adapter.devicePath());
    QVERIFY(device.isOpen());

    adapter.send(line);
    const Frames arrived = device.framesUntilQuiet(frame.size(), 3 * intervalMs + 300);
    QCOMPARE(allBytes(arrived), frame.repeated(frames));
    for (int i = 1; i < arrived.size(); ++i)
        QVERIFY2(gapBefore(arrived, i) >= intervalMs * 6 / 10,
                 qPrintable(QStringLiteral("frame %1 came %2 ms after the one before")
                                .arg(i)
                                .arg(gapBefore(arrived, i))));
    const qint64 lasted = arrived.last().second - arrived.first().second;
    QVERIFY2(lasted <= (frames - 1) * intervalMs + 1000, qPrintable(QString::number(lasted)));
    QVERIFY(adapter.waitForSent(frames));
    QCOMPARE(adapter.sent(), QList<QByteArray>(frames, frame));
}

void TestAdapterEmulator::twoKeysAreTwoPresses_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("repeats");
    QTest::newRow("bursts") << QStringList() << 5;
    QTest::newRow("--repeats 1") << AdapterEmulator::oneFramePerKey << 1;
}

// Keys typed while a burst goes out wait their turn, in order, each after a
// silence longer than the release gap that ends a press, so that the same key
// twice is two presses.
void TestAdapterEmulator::twoKeysAreTwoPresses()
{
    QFETCH(QStringList, options);
    QFETCH(int, repeats);
    AdapterEmulator adapter(QStringLiteral("trenda"), options);
    Line device(adapter.devicePath());
    QVERIFY(device.isOpen());

    for (const char *key : {"A3 on", "A3 on", "A4 on"})
        adapter.send(QString::fromLatin1(key));
    const Frames arrived = device.framesUntilQuiet(2, 800);
    const QByteArray a3On = QByteArray::fromHex("0202");
    QCOMPARE(allBytes(arrived),
             a3On.repeated(2 * repeats) + QByteArray::fromHex("0203").repeated(repeats));
    // The emulator leaves 300 ms; the rest is room for a reader woken late.
    for (int next : {repeats, 2 * repeats})
        QVERIFY2(gapBefore(arrived, next) >= 240,
                 qPrintable(QStringLiteral("a press began %1 ms after the one before")
                                .arg(gapBefore(arrived, next))));
}

// The emulator keeps serving the line while it sends: a probe during a held
// key is answered before the key is let go.
void TestAdapterEmulator::probeIsAnsweredWhileAKeyIsHeld()
{
    AdapterEmulator adapter(QStringLiteral("trenda"));
    Line device(adapter.devicePath());
    QVERIFY(device.isOpen());
    const QByteArray bright = QByteArray::fromHex("0500");

    adapter.send(QStringLiteral("hold 1s A bright"));
    QCOMPARE(device.read(2, 5000), bright);
    QVERIFY(device.write("\x2A"));
    const QByteArray rest = allBytes(device.framesUntilQuiet(2, 600));
    const qsizetype answer = rest.indexOf('\x29');
    QVERIFY2(answer >= 0, rest.toHex(' ').constData());
    QVERIFY2(rest.size() - answer - 1 >= bright.size(), "answered after the key was let go");
    QCOMPARE(QByteArray(rest).remove(answer, 1), bright.repeated(9));
    QVERIFY(adapter.waitForReceived(1));
    QCOMPARE(adapter.received(), QByteArray("\x2A"));
}

void TestAdapterEmulator::paskoProbeAnswers_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("trenda") << "trenda" << QByteArray();
    QTest::newRow("noisy") << "noisy" << QByteArray("\x55");
}

// The adapter probe's test has every model's answers up to the first one; the
// Pasko probe that these two models never get from it is checked here.
void TestAdapterEmulator::paskoProbeAnswers()
{
    QFETCH(QString, model);
    QFETCH(QByteArray, answer);
    AdapterEmulator adapter(model);
    Line device(adapter.devicePath());
    QVERIFY(device.isOpen());
    QVERIFY(device.write("\xF0\x29"));
    QVERIFY(adapter.waitForReceived(2));
    QCOMPARE(device.read(1, answer.isEmpty() ? 200 : 5000), answer);
    QCOMPARE(adapter.received(), QByteArray("\xF0\x29"));
}

void TestAdapterEmulator::survivesTheDeviceBeingClosedAndReopened()
{
    AdapterEmulator adapter(QStringLiteral("trenda"), AdapterEmulator::oneFramePerKey);
    {
        Line first(adapter.devicePath());
        QVERIFY(first.write("\x2A"));
        QCOMPARE(first.read(1, 5000), QByteArray("\x29"));
    }
    // Nobody holds the device now; the emulator must neither end nor spin.
    const qint64 cpuBefore = cpuMilliseconds(adapter.processId());
    QVERIFY(nothingHappensWithin(500, [&] { return !adapter.isRunning(); }));
    adapter.send(QStringLiteral("A1 on"));
    QVERIFY(adapter.waitForSent(2));
    QVERIFY(adapter.isRunning());
    const qint64 cpuUsed = cpuMilliseconds(adapter.processId()) - cpuBefore;
    QVERIFY2(cpuUsed < 100, qPrintable(QStringLiteral("%1 ms of CPU").arg(cpuUsed)));

    Line second(adapter.devicePath());
    QVERIFY(second.isOpen());
    QVERIFY(second.write("\x2A"));
    QVERIFY(adapter.waitForReceived(2));
    QCOMPARE(second.read(3, 5000).right(1), QByteArray("\x29"));
}

QTEST_GUILESS_MAIN(TestAdapterEmulator)
#include "TestAdapterEmulator.moc"
