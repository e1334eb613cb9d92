// SPDX-License-Identifier: GPL-3.0-or-later
// The receive loop on a real serial line: the adapter emulator serves a
// pseudo-terminal, and nothing but the loop reads it.

#include "AdapterEmulator.h"

#include "MemorySettingsStore.h"
#include "core/ReceiveLoop.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "serial/SerialComm.h"

#include <QFile>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

#include <poll.h>

namespace {
constexpr int port = 3;
const QByteArray a2On("\x02\x01", 2);
const QByteArray a3On("\x02\x02", 2);
const QByteArray a4On("\x02\x03", 2);
} // namespace

class TestReceiveLoop : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void framesAreTwoBytesOrMore();
    void pendingBytesGo_data();
    void pendingBytesGo();
    void bytesArrivingWhileAFrameIsHandledAreDiscarded();
    void aFrameDuringAHoldIsCarriedOutAtTheLastRelease();
    void lostDevice_data();
    void lostDevice();
    void deviceMissingAtStartIsOpenedWhenItComes();

private:
    // Opens port 3 on `device`, and starts the loop.
    void openOn(const QString &device);
    void startOn(const QString &device);
    // The port opens again, and the next key press is a frame.
    void framesFlowAgain();
    QByteArray frame(int index) const { return frames_->at(index).at(0).toByteArray(); }

    std::unique_ptr<AdapterEmulator> emulator_;
    MemorySettingsStore file_;
    SettingsModel store_{file_};
    std::unique_ptr<SerialComm> comm_;
    std::unique_ptr<ReceiveLoop> loop_;
    std::unique_ptr<QSignalSpy> frames_;
};

void TestReceiveLoop::init()
{
    emulator_ = std::make_unique<AdapterEmulator>(QStringLiteral("trenda"),
                                                  AdapterEmulator::oneFramePerKey);
    QVERIFY(!emulator_->devicePath().isEmpty());
    comm_ = std::make_unique<SerialComm>(store_);
    loop_ = std::make_unique<ReceiveLoop>(*comm_);
    frames_ = std::make_unique<QSignalSpy>(loop_.get(), &ReceiveLoop::frameReceived);
}

void TestReceiveLoop::cleanup()
{
    frames_.reset();
    loop_.reset();
    comm_.reset();
    emulator_.reset();
}

void TestReceiveLoop::openOn(const QString &device)
{
    store_.setValue(Keys::comDevice(port), device);
    QCOMPARE(comm_->openAdapter(port), SerialLine::OpenResult::Opened);
}

void TestReceiveLoop::startOn(const QString &device)
{
    openOn(device);
    loop_->start();
}

void TestReceiveLoop::framesFlowAgain()
{
    QTRY_VERIFY_WITH_TIMEOUT(comm_->portOpen(), 2000);
    emulator_->send(QStringLiteral("A3 on"));
    QTRY_COMPARE(frames_->count(), 1);
    QCOMPARE(frame(0), a3On);
}

// A frame waits for its second byte and takes all that has arrived, so nothing
// is left over to start the next frame.
void TestReceiveLoop::framesAreTwoBytesOrMore()
{
    startOn(emulator_->devicePath());
    QSignalSpy arrived(comm_.get(), &SerialLine::readyRead);
    emulator_->send(QStringLiteral("raw 02"));
    QVERIFY(arrived.wait());
    QCOMPARE(comm_->inBufferCount(), 1);
    QCOMPARE(frames_->count(), 0);

    emulator_->send(QStringLiteral("raw 02 13"));
    QTRY_COMPARE(frames_->count(), 1);
    QCOMPARE(frame(0), QByteArray("\x02\x02\x13"));
    QCOMPARE(comm_->inBufferCount(), 0);

    emulator_->send(QStringLiteral("raw 12 13"));
    QTRY_COMPARE(frames_->count(), 2);
    QCOMPARE(frame(1), QByteArray("\x12\x13"));
}

void TestReceiveLoop::pendingBytesGo_data()
{
    QTest::addColumn<bool>("lent");
    QTest::newRow("when the loop starts") << false;
    QTest::newRow("when a borrower gives the port back") << true;
}

// What waits is the borrower's to read; the loop leaves it alone.
void TestReceiveLoop::pendingBytesGo()
{
    QFETCH(bool, lent);
    openOn(emulator_->devicePath());
    if (lent) {
        loop_->start();
        loop_->suspend();
    }
    emulator_->send(QStringLiteral("A2 on"));
    QTRY_COMPARE(comm_->inBufferCount(), 2);
    QCoreApplication::processEvents();
    QCOMPARE(comm_->inBufferCount(), 2);

    if (lent)
        loop_->resume();
    else
        loop_->start();
    QCOMPARE(comm_->inBufferCount(), 0);
    emulator_->send(QStringLiteral("A4 on"));
    QTRY_COMPARE(frames_->count(), 1);
    QCOMPARE(frame(0), a4On);
}

// The remote repeats a key while a frame is handled: the repeat reaches the
// device before the handler returns, and it does not count once it is done.
void TestReceiveLoop::bytesArrivingWhileAFrameIsHandledAreDiscarded()
{
    startOn(emulator_->devicePath());
    const auto *port = comm_->findChild<QSerialPort *>(QStringLiteral("port"));
    QVERIFY(port);
    int handled = 0;
    connect(loop_.get(), &ReceiveLoop::frameReceived, this, [this, port, &handled] {
        if (++handled > 1)
            return;
        emulator_->send(QStringLiteral("A2 on"));
        pollfd device{port->handle(), POLLIN, 0};
        QCOMPARE(::poll(&device, 1, 5000), 1);
    });
    emulator_->send(QStringLiteral("A3 on"));
    QTRY_COMPARE(handled, 1);
    QCOMPARE(comm_->inBufferCount(), 0);

    emulator_->send(QStringLiteral("A4 on"));
    QTRY_COMPARE(frames_->count(), 2);
    QCOMPARE(frame(0), a3On);
    QCOMPARE(frame(1), a4On);
}

void TestReceiveLoop::aFrameDuringAHoldIsCarriedOutAtTheLastRelease()
{
    startOn(emulator_->devicePath());
    loop_->hold();
    loop_->hold(); // a second message over the first
    emulator_->send(QStringLiteral("A2 on"));
    QTRY_COMPARE(comm_->inBufferCount(), 2);

    loop_->release();
    QCoreApplication::processEvents();
    QCOMPARE(frames_->count(), 0);

    loop_->release();
    QTRY_COMPARE(frames_->count(), 1);
    QCOMPARE(frame(0), a2On);

    loop_->release(); // one too many changes nothing
    loop_->hold();
    QVERIFY(loop_->held());
}

// A USB adapter keeps its device name (a udev link) when it is plugged in
// again; a link to each new emulator's pseudo-terminal plays that part.
void TestReceiveLoop::lostDevice_data()
{
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<bool>("reopened");

    QTest::newRow("replugged") << "" << true;
    QTest::newRow("lent to the probe") << "suspend" << false;
    QTest::newRow("another port chosen") << "other port" << false;
    QTest::newRow("loop stopped") << "stop" << false;
}

void TestReceiveLoop::lostDevice()
{
    QFETCH(QString, meanwhile);
    QFETCH(bool, reopened);

    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyUSB-adapter"));
    QVERIFY(QFile::link(emulator_->devicePath(), link));
    startOn(link);
    auto *reopenTimer = loop_->findChild<QTimer *>(QStringLiteral("reopenTimer"));
    QVERIFY(reopenTimer);

    QSignalSpy lost(comm_.get(), &SerialLine::portLost);
    emulator_->kill();
    QVERIFY(lost.wait());
    QVERIFY(QFile::remove(link));
    QVERIFY(!comm_->portOpen());
    QVERIFY(reopenTimer->isActive());
    QSignalSpy looks(reopenTimer, &QTimer::timeout);
    QVERIFY(looks.wait()); // a look at the missing device changes nothing
    QVERIFY(!comm_->portOpen());

    if (meanwhile == QLatin1String("suspend"))
        loop_->suspend();
    else if (meanwhile == QLatin1String("other port"))
        comm_->setCommPort(port + 1);
    else if (meanwhile == QLatin1String("stop"))
        loop_->stop();

    emulator_ = std::make_unique<AdapterEmulator>(QStringLiteral("trenda"),
                                                  AdapterEmulator::oneFramePerKey);
    QVERIFY(QFile::link(emulator_->devicePath(), link));
    if (!reopened) {
        QTRY_VERIFY(!reopenTimer->isActive());
        QVERIFY(!comm_->portOpen());
        return;
    }
    framesFlowAgain();
    QVERIFY(!reopenTimer->isActive());
}

// An adapter not plugged in yet when the program starts (a music server that
// boots before its USB adapter is there).
void TestReceiveLoop::deviceMissingAtStartIsOpenedWhenItComes()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyUSB-adapter"));
    store_.setValue(Keys::comDevice(port), link);
    QCOMPARE(comm_->openAdapter(port), SerialLine::OpenResult::InvalidPort);
    loop_->start();
    loop_->reopenWhenAvailable();

    QVERIFY(QFile::link(emulator_->devicePath(), link));
    framesFlowAgain();
}

QTEST_GUILESS_MAIN(TestReceiveLoop)
#include "TestReceiveLoop.moc"
