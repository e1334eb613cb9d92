// SPDX-License-Identifier: GPL-3.0-or-later
#include "AdapterEmulator.h"
#include "DeviceLineFormat.h"
#include "NothingHappens.h"

#include "MemorySettingsStore.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "serial/SerialComm.h"

#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int port = 3;

// The emulator's pseudo-terminal as port 3 of a SerialComm, not open yet.
struct Rig
{
    Rig()
    {
        store.setValue(Keys::comDevice(port), adapter.devicePath());
        comm.setCommPort(port);
    }
    // Another control on the same port.
    std::unique_ptr<SerialComm> control()
    {
        auto other = std::make_unique<SerialComm>(store);
        other->setCommPort(port);
        return other;
    }

    AdapterEmulator adapter;
    MemorySettingsStore file;
    SettingsModel store{file};
    SerialComm comm{store};
};

// CPU time this process has used so far, user and system, in milliseconds.
qint64 cpuMilliseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return qint64(t.tv_sec) * 1000 + t.tv_usec / 1000; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

} // namespace

class TestSerialComm : public QObject
{
    Q_OBJECT

private slots:
    void opensClosesAndOpensAgain();
    void invalidPort_data();
    void invalidPort();
    void deviceHeldByAnotherControlFails();
    void lineFormatApplied_data();
    void lineFormatApplied();
    void rejectsMalformedLineFormat_data();
    void rejectsMalformedLineFormat();
    void outputReachesTheAdapter();
    void lostDeviceClosesThePort();
};

// Opening an open port closes it first instead of failing on its own lock; a
// closed port writes and reads nothing, and another control may open it.
void TestSerialComm::opensClosesAndOpensAgain()
{
    Rig r;
    QVERIFY(!r.adapter.devicePath().isEmpty());
    QCOMPARE(r.comm.deviceName(), r.adapter.devicePath());
    QVERIFY(!r.comm.output(0x2A));
    QCOMPARE(r.comm.open(), SerialComm::OpenResult::Opened);
    QVERIFY(r.comm.portOpen());
    QCOMPARE(r.comm.open(), SerialComm::OpenResult::Opened);
    r.comm.close();
    QVERIFY(!r.comm.portOpen());
    QVERIFY(!r.comm.output(0x2A));
    QCOMPARE(r.comm.inBufferCount(), 0);
    QCOMPARE(r.comm.input(), QByteArray());

    const auto other = r.control();
    QCOMPARE(other->open(), SerialComm::OpenResult::Opened);
    QVERIFY(other->output(0x01));
    QVERIFY(r.adapter.waitForReceived(1));
    QCOMPARE(r.adapter.received(), QByteArray("\x01"));
}

void TestSerialComm::invalidPort_data()
{
    QTest::addColumn<int>("portNumber");
    QTest::addColumn<QString>("device"); // empty: leave "comDevice<n>" unset

    QTest::newRow("device file missing") << port << "/dev/kavelo-no-such-tty";
    QTest::newRow("device setting empty") << port << "";
    QTest::newRow("port 0 has no default device") << 0 << QString();
}

void TestSerialComm::invalidPort()
{
    QFETCH(int, portNumber);
    QFETCH(QString, device);
    MemorySettingsStore file;
    SettingsModel store(file);
    if (!device.isNull())
        store.setValue(Keys::comDevice(portNumber), device);
    SerialComm comm(store);
    comm.setCommPort(portNumber);

    QCOMPARE(comm.open(), SerialComm::OpenResult::InvalidPort);
    QVERIFY(!comm.portOpen());
}

void TestSerialComm::deviceHeldByAnotherControlFails()
{
    Rig r;
    QCOMPARE(r.comm.open(), SerialComm::OpenResult::Opened);
    const auto second = r.control();
    QCOMPARE(second->open(), SerialComm::OpenResult::Failed);
    QVERIFY(!second->portOpen());
    QVERIFY(!second->output(0x2A));

    // The holder is not disturbed by the failed attempt.
    QVERIFY(r.comm.output(0x2A));
    QVERIFY(r.adapter.waitForReceived(1));
    QCOMPARE(r.adapter.received(), QByteArray("\x2A"));
}

void TestSerialComm::lineFormatApplied_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<speed_t>("speed");
    QTest::addColumn<bool>("twoStopBits");

    QTest::newRow("the adapter's format") << "4800,N,8,1" << speed_t(B4800) << false;
    QTest::newRow("9600, two stop bits") << "9600,E,7,2" << speed_t(B9600) << true;
    QTest::newRow("1200, lower-case parity") << "1200,o,8,1" << speed_t(B1200) << false;
}

void TestSerialComm::lineFormatApplied()
{
    QFETCH(QString, settings);
    QFETCH(speed_t, speed);
    QFETCH(bool, twoStopBits);

    Rig r;
    // A second descriptor, opened before the control locks the device, to look
    // at the line as the driver has it.
    const int observer =
        ::open(r.adapter.devicePath().toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    QVERIFY(observer >= 0);
    auto closeObserver = qScopeGuard([observer] { ::close(observer); });
    // Start from a line that differs from every row, so each row must be applied.
    termios before{};
    QCOMPARE(::tcgetattr(observer, &before), 0);
    cfsetspeed(&before, B38400);
    before.c_cflag |= CRTSCTS | (twoStopBits ? 0 : CSTOPB);
    before.c_cflag &= twoStopBits ? ~tcflag_t(CSTOPB) : ~tcflag_t(0);
    before.c_iflag |= IXON | IXOFF;
    QCOMPARE(::tcsetattr(observer, TCSANOW, &before), 0);

    QVERIFY(r.comm.setSettings(settings));
    QCOMPARE(r.comm.open(), SerialComm::OpenResult::Opened);

    termios line{};
    QCOMPARE(::tcgetattr(observer, &line), 0);
    QCOMPARE(cfgetispeed(&line), speed);
    QCOMPARE(cfgetospeed(&line), speed);
    QCOMPARE(bool(line.c_cflag & CSTOPB), twoStopBits);
    QVERIFY2(!(line.c_cflag & CRTSCTS), "hardware flow control is on");
    QVERIFY2(!(line.c_iflag & (IXON | IXOFF)), "software flow control is on");
}

void TestSerialComm::rejectsMalformedLineFormat_data()
{
    QTest::addColumn<QString>("settings");

    QTest::newRow("empty") << "";
    QTest::newRow("three fields") << "4800,N,8";
    QTest::newRow("five fields") << "4800,N,8,1,1";
    QTest::newRow("baud not a number") << "fast,N,8,1";
    QTest::newRow("baud zero") << "0,N,8,1";
    QTest::newRow("unknown parity") << "4800,X,8,1";
    QTest::newRow("nine data bits") << "4800,N,9,1";
    QTest::newRow("three stop bits") << "4800,N,8,3";
}

void TestSerialComm::rejectsMalformedLineFormat()
{
    QFETCH(QString, settings);
    Rig r;
    QVERIFY(r.comm.setSettings(QStringLiteral("4800,N,8,1")));
    QVERIFY(!r.comm.setSettings(settings));
    QCOMPARE(r.comm.open(), SerialComm::OpenResult::Opened);
    QCOMPARE(deviceLineFormat(r.comm), QStringLiteral("4800,N,8,1"));
}

void TestSerialComm::outputReachesTheAdapter()
{
    Rig r; // a Trenda adapter, which answers 0x2A
    QCOMPARE(r.comm.open(), SerialComm::OpenResult::Opened);
    QSignalSpy arrived(&r.comm, &SerialComm::readyRead);

    QVERIFY(r.comm.output(0xF0));
    QVERIFY(r.comm.output(0x00));
    QVERIFY(r.comm.output(0x2A));
    QVERIFY(r.adapter.waitForReceived(3));
    QCOMPARE(r.adapter.received(), QByteArray("\xF0\x00\x2A", 3));

    QTRY_VERIFY(!arrived.isEmpty());
    QTRY_COMPARE(r.comm.inBufferCount(), 1);
    QCOMPARE(r.comm.input(), QByteArray("\x29"));
    QCOMPARE(r.comm.inBufferCount(), 0);
}

void TestSerialComm::lostDeviceClosesThePort()
{
    Rig r;
    QCOMPARE(r.comm.open(), SerialComm::OpenResult::Opened);
    QSignalSpy lost(&r.comm, &SerialComm::portLost);

    const qint64 cpuBefore = cpuMilliseconds();
    r.adapter.kill();
    // A write that meets the vanished device fails, before the loss is reported.
    QVERIFY(!r.comm.output(0x2A));
    QVERIFY(lost.wait(5000));
    QVERIFY(!r.comm.portOpen());
    QVERIFY(!r.comm.output(0x2A));

    // Nothing may keep the process busy once the device is gone.
    QVERIFY(nothingHappensWithin(300, [&] { return lost.count() > 1; }));
    const qint64 cpuUsed = cpuMilliseconds() - cpuBefore;
    QVERIFY2(cpuUsed < 150, qPrintable(QStringLiteral("%1 ms of CPU").arg(cpuUsed)));
}

QTEST_GUILESS_MAIN(TestSerialComm)
#include "TestSerialComm.moc"
