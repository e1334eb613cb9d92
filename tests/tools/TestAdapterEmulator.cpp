// SPDX-License-Identifier: GPL-3.0-or-later
#include "AdapterEmulator.h"
#include "NothingHappens.h"

#include <QFile>
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

private:
    int fd_;
};

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
    AdapterEmulator adapter;
    Line device(adapter.devicePath());
    QVERIFY(device.isOpen());

    adapter.send(line);
    QVERIFY(adapter.waitForSent(1));
    QCOMPARE(adapter.sent().value(0), frame);
    QCOMPARE(device.read(frame.size() + 1, 200), frame);
}

void TestAdapterEmulator::unreadableLinesAreSkipped()
{
    AdapterEmulator adapter;
    Line device(adapter.devicePath());

    for (const char *line : {"Q1 on", "A17 on", "A0 on", "A3 toggle", "A on", "raw", "raw 1g"})
        adapter.send(QString::fromLatin1(line));
    adapter.send(QStringLiteral("A1 off"));
    QVERIFY(adapter.waitForSent(1));
    QCOMPARE(adapter.sent(), QList<QByteArray>{QByteArray::fromHex("0300")});
    QCOMPARE(device.read(3, 200), QByteArray::fromHex("0300"));
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
    AdapterEmulator adapter(QStringLiteral("trenda"));
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
