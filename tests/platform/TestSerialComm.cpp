#include "AdapterEmulator.h"
#include "DeviceLineFormat.h"
#include "NothingHappens.h"

#include "MemorySettingsStore.h"
#include "core/Settings.h"
#include "platform/SerialComm.h"

#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int port = 3;

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
    void opensTheConfiguredDevice();
    void invalidPort_data();
    void invalidPort();
    void deviceHeldByAnotherControlFails();
    void reopensAfterClose();
    void lineFormatApplied_data();
    void lineFormatApplied();
    void rejectsMalformedLineFormat_data();
    void rejectsMalformedLineFormat();
    void frameArrivesWithReadyRead();
    void discardDropsPendingBytes();
    void outputReachesTheAdapter();
    void outputFailsWhileClosed();
    void lostDeviceClosesThePort();
};

void TestSerialComm::opensTheConfiguredDevice()
{
    AdapterEmulator adapter;
    QVERIFY(!adapter.devicePath().isEmpty());
    MemorySettingsStore store;
    store.setValue(Keys::comDevice(port), adapter.devicePath());
    SerialComm comm(store);
    comm.setCommPort(port);

    QCOMPARE(comm.deviceName(), adapter.devicePath());
    QCOMPARE(comm.open(), SerialComm::OpenResult::Opened);
    QVERIFY(comm.portOpen());
    comm.close();
    QVERIFY(!comm.portOpen());
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
    MemorySettingsStore store;
    if (!device.isNull())
        store.setValue(Keys::comDevice(portNumber), device);
    SerialComm comm(store);
    comm.setCommPort(portNumber);

    QCOMPARE(comm.open(), SerialComm::OpenResult::InvalidPort);
    QVERIFY(!comm.portOpen());
}

void TestSerialComm::deviceHeldByAnotherControlFails()
{
    AdapterEmulator adapter;
    MemorySettingsStore store;
    store.setValue(Keys::comDevice(port), adapter.devicePath());
    SerialComm holder(store);
    holder.setCommPort(port);
    QCOMPARE(holder.open(), SerialComm::OpenResult::Opened);

    SerialComm second(store);
    second.setCommPort(port);
    QCOMPARE(second.open(), SerialComm::OpenResult::Failed);
    QVERIFY(!second.portOpen());
    QVERIFY(!second.output(0x2A));

    // The holder is not disturbed by the failed attempt.
    QVERIFY(holder.output(0x2A));
    QVERIFY(adapter.waitForReceived(1));
    QCOMPARE(adapter.received(), QByteArray("\x2A"));
}

void TestSerialComm::reopensAfterClose()
{
    AdapterEmulator adapter;
    MemorySettingsStore store;
    store.setValue(Keys::comDevice(port), adapter.devicePath());
    SerialComm comm(store);
    comm.setCommPort(port);
    QCOMPARE(comm.open(), SerialComm::OpenResult::Opened);
    // Opening an open port closes it first instead of failing on its own lock.
    QCOMPARE(comm.open(), SerialComm::OpenResult::Opened);
    comm.close();

    SerialComm other(store);
    other.setCommPort(port);
    QCOMPARE(other.open(), SerialComm::OpenResult::Opened);
    QVERIFY(other.output(0x01));
    QVERIFY(adapter.waitForReceived(1));
}

// A pseudo-terminal keeps 8 data bits without parity whatever it is told, so
// speed, stop bits and flow control are what can be seen of the line format.
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

    AdapterEmulator adapter;
    // A second descriptor, opened before the control locks the device, to look
    // at the line as the driver has it.
    const int observer =
        ::open(adapter.devicePath().toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
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

    MemorySettingsStore store;
    store.setValue(Keys::comDevice(port), adapter.devicePath());
    SerialComm comm(store);
    QVERIFY(comm.setSettings(settings));
    comm.setCommPort(port);
    QCOMPARE(comm.open(), SerialComm::OpenResult::Opened);

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
    AdapterEmulator adapter;
    MemorySettingsStore store;
    store.setValue(Keys::comDevice(port), adapter.devicePath());
    SerialComm comm(store);
    comm.setCommPort(port);
    QVERIFY(comm.setSettings(QStringLiteral("4800,N,8,1")));

    QVERIFY(!comm.setSettings(settings));
    QCOMPARE(comm.open(), SerialComm::OpenResult::Opened);
    QCOMPARE(deviceLineFormat(comm), QStringLiteral("4800,N,8,1"));
}

void TestSerialComm::frameArrivesWithReadyRead()
{
    AdapterEmulator adapter;
    MemorySettingsStore store;
    store.setValue(Keys::comDevice(port), adapter.devicePath());
    SerialComm comm(store);
    comm.setSettings(QStringLiteral("4800,N,8,1"));
    comm.setCommPort(port);
    QCOMPARE(comm.open(), SerialComm::OpenResult::Opened);
    QSignalSpy arrived(&comm, &SerialComm::readyRead);

    adapter.send(QStringLiteral("A 11 off"));
    QVERIFY(arrived.wait(5000));
    QTRY_COMPARE(comm.inBufferCount(), 2);
    QCOMPARE(comm.input(), QByteArray("\x03\x0A", 2));
    QCOMPARE(comm.inBufferCount(), 0);
    QCOMPARE(comm.input(), QByteArray());
}

void TestSerialComm::discardDropsPendingBytes()
{
    AdapterEmulator adapter;
    MemorySettingsStore store;
    store.setValue(Keys::comDevice(port), adapter.devicePath());
    SerialComm comm(store);
    comm.setCommPort(port);
    QCOMPARE(comm.open(), SerialComm::OpenResult::Opened);

    adapter.send(QStringLiteral("raw 02 02 02"));
    QTRY_COMPARE(comm.inBufferCount(), 3);
    comm.discardInput();
    QCOMPARE(comm.inBufferCount(), 0);

    QSignalSpy arrived(&comm, &SerialComm::readyRead);
    adapter.send(QStringLiteral("A dim"));
    QVERIFY(arrived.wait(5000));
    QTRY_COMPARE(comm.inBufferCount(), 2);
    QCOMPARE(comm.input(), QByteArray("\x04\x00", 2));
}

void TestSerialComm::outputReachesTheAdapter()
{
    AdapterEmulator adapter(QStringLiteral("trenda"));
    MemorySettingsStore store;
    store.setValue(Keys::comDevice(port), adapter.devicePath());
    SerialComm comm(store);
    comm.setCommPort(port);
    QCOMPARE(comm.open(), SerialComm::OpenResult::Opened);
    QSignalSpy arrived(&comm, &SerialComm::readyRead);

    QVERIFY(comm.output(0xF0));
    QVERIFY(comm.output(0x00));
    QVERIFY(comm.output(0x2A));
    QVERIFY(adapter.waitForReceived(3));
    QCOMPARE(adapter.received(), QByteArray("\xF0\x00\x2A", 3));

    // The Trenda answers the probe byte.
    QTRY_VERIFY(!arrived.isEmpty());
    QTRY_COMPARE(comm.inBufferCount(), 1);
    QCOMPARE(comm.input(), QByteArray("\x29"));
}

void TestSerialComm::outputFailsWhileClosed()
{
    AdapterEmulator adapter;
    MemorySettingsStore store;
    store.setValue(Keys::comDevice(port), adapter.devicePath());
    SerialComm comm(store);
    comm.setCommPort(port);
    QVERIFY(!comm.output(0x2A));

    QCOMPARE(comm.open(), SerialComm::OpenResult::Opened);
    comm.close();
    QVERIFY(!comm.output(0x2A));
    QCOMPARE(comm.inBufferCount(), 0);
    QCOMPARE(comm.input(), QByteArray());
}

void TestSerialComm::lostDeviceClosesThePort()
{
    auto adapter = std::make_unique<AdapterEmulator>();
    MemorySettingsStore store;
    store.setValue(Keys::comDevice(port), adapter->devicePath());
    SerialComm comm(store);
    comm.setCommPort(port);
    QCOMPARE(comm.open(), SerialComm::OpenResult::Opened);
    QSignalSpy lost(&comm, &SerialComm::portLost);

    const qint64 cpuBefore = cpuMilliseconds();
    adapter->kill();
    // A write that meets the vanished device fails, before the loss is reported.
    QVERIFY(!comm.output(0x2A));
    QVERIFY(lost.wait(5000));
    QVERIFY(!comm.portOpen());
    QVERIFY(!comm.output(0x2A));

    // Nothing may keep the process busy once the device is gone.
    QVERIFY(nothingHappensWithin(300, [&] { return lost.count() > 1; }));
    const qint64 cpuUsed = cpuMilliseconds() - cpuBefore;
    QVERIFY2(cpuUsed < 150, qPrintable(QStringLiteral("%1 ms of CPU").arg(cpuUsed)));
}

QTEST_GUILESS_MAIN(TestSerialComm)
#include "TestSerialComm.moc"
