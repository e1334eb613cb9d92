// SPDX-License-Identifier: GPL-3.0-or-later
// The adapter probe against the emulator's models on a pseudo-terminal, with
// the receive loop that lends it the port.

#include "AdapterEmulator.h"

#include "MemorySettingsStore.h"
#include "core/AdapterProbe.h"
#include "core/ReceiveLoop.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "serial/SerialComm.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {
constexpr int port = 3;
using Result = AdapterProbe::Result;
} // namespace

class TestAdapterProbe : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void probe_data();
    void probe();
    void firstByteDecides_data();
    void firstByteDecides();
    void portInUse();
    void stopGivesThePortBack();

private:
    // The emulator as port 3, open, with the loop running on it.
    void startWith(const QString &model);
    void attach();
    // Every way out of the probe leaves the same: no timer, the port with the loop.
    bool idle() const;
    Result result() const { return finished_->at(0).at(0).value<Result>(); }

    std::unique_ptr<AdapterEmulator> adapter_;
    MemorySettingsStore file_;
    SettingsModel store_{file_};
    std::unique_ptr<SerialComm> comm_;
    std::unique_ptr<ReceiveLoop> loop_;
    std::unique_ptr<AdapterProbe> probe_;
    std::unique_ptr<QSignalSpy> finished_;
    std::unique_ptr<QSignalSpy> frames_;
    bool suspendedAtFinish_ = false;
};

void TestAdapterProbe::cleanup()
{
    frames_.reset();
    finished_.reset();
    probe_.reset();
    loop_.reset();
    comm_.reset();
    adapter_.reset();
}

void TestAdapterProbe::startWith(const QString &model)
{
    adapter_ = std::make_unique<AdapterEmulator>(model, AdapterEmulator::oneFramePerKey);
    QVERIFY(!adapter_->devicePath().isEmpty());
    store_.setValue(Keys::comDevice(port), adapter_->devicePath());
    attach();
}

void TestAdapterProbe::attach()
{
    comm_ = std::make_unique<SerialComm>(store_);
    comm_->openAdapter(port);
    loop_ = std::make_unique<ReceiveLoop>(*comm_);
    loop_->start();
    probe_ = std::make_unique<AdapterProbe>(*comm_, *loop_);
    finished_ = std::make_unique<QSignalSpy>(probe_.get(), &AdapterProbe::finished);
    suspendedAtFinish_ = false;
    frames_ = std::make_unique<QSignalSpy>(loop_.get(), &ReceiveLoop::frameReceived);
    connect(probe_.get(), &AdapterProbe::finished, this,
            [this] { suspendedAtFinish_ = loop_->suspended(); });
}

bool TestAdapterProbe::idle() const
{
    for (const char *name : {"Timer1", "Timer2", "Timer4"}) {
        if (probe_->findChild<QTimer *>(QLatin1String(name))->isActive())
            return false;
    }
    return !probe_->running() && !loop_->suspended() && !suspendedAtFinish_;
}

void TestAdapterProbe::probe_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<Result>("expected");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<bool>("staysOpen");
    QTest::addColumn<int>("minimumMs");

    QTest::newRow("trenda") << "trenda" << Result::Trenda << QByteArray("\x2A") << true << 0;
    QTest::newRow("pasko") << "pasko" << Result::Pasko << QByteArray("\x2A\xF0\x29") << true
                           << 1000;
    QTest::newRow("silent") << "silent" << Result::NotResponding << QByteArray("\x2A\xF0\x29")
                            << false << 2000;
    QTest::newRow("noisy") << "noisy" << Result::NoResponse << QByteArray("\x2A") << false << 0;
}

void TestAdapterProbe::probe()
{
    QFETCH(QString, model);
    QFETCH(Result, expected);
    QFETCH(QByteArray, written);
    QFETCH(bool, staysOpen);
    QFETCH(int, minimumMs);

    startWith(model);
    // Half a frame waits for its second byte; it is no answer to the probe.
    adapter_->send(QStringLiteral("raw 55"));
    QTRY_COMPARE(comm_->inBufferCount(), 1);

    QElapsedTimer clock;
    clock.start();
    probe_->start();
    QVERIFY(probe_->running());
    QVERIFY(loop_->suspended());
    QTRY_COMPARE_WITH_TIMEOUT(finished_->count(), 1, 5000);
    const qint64 elapsed = clock.elapsed();

    QCOMPARE(result(), expected);
    QVERIFY2(elapsed >= minimumMs, qPrintable(QString::number(elapsed)));
    QVERIFY(elapsed < minimumMs + 1500);
    QVERIFY(adapter_->waitForReceived(written.size()));
    QCOMPARE(adapter_->received(), written);
    QCOMPARE(comm_->portOpen(), staysOpen);
    QVERIFY(idle());
    QCOMPARE(frames_->count(), 0);
}

void TestAdapterProbe::firstByteDecides_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<Result>("expected");

    QTest::newRow("0x29 first") << "raw 29 55 02" << Result::Trenda;
    QTest::newRow("0x29 second") << "raw 55 29" << Result::NoResponse;
    QTest::newRow("a key press") << "A3 on" << Result::NoResponse;
}

// The rest of the read goes with the first byte: none of it reaches the loop
// as a frame.
void TestAdapterProbe::firstByteDecides()
{
    QFETCH(QString, answer);
    QFETCH(Result, expected);

    startWith(QStringLiteral("silent"));
    probe_->start();
    QVERIFY(adapter_->waitForReceived(1));
    adapter_->send(answer);
    QTRY_COMPARE(finished_->count(), 1);
    QCOMPARE(result(), expected);
    QCOMPARE(comm_->portOpen(), expected == Result::Trenda);
    QCOMPARE(comm_->inBufferCount(), 0);
    QCOMPARE(adapter_->received(), QByteArray("\x2A"));
    QVERIFY(idle());
    QCoreApplication::processEvents();
    QCOMPARE(frames_->count(), 0);
}

// Another program holds the device, so the port did not open and the first
// probe byte cannot go out.
void TestAdapterProbe::portInUse()
{
    adapter_ = std::make_unique<AdapterEmulator>();
    store_.setValue(Keys::comDevice(port), adapter_->devicePath());
    SerialComm otherProgram(store_);
    otherProgram.setCommPort(port);
    QCOMPARE(otherProgram.open(), SerialLine::OpenResult::Opened);

    attach();
    QVERIFY(!comm_->portOpen());
    probe_->start();
    QCOMPARE(finished_->count(), 1);
    QCOMPARE(result(), Result::PortInUse);
    QVERIFY(idle());
    QVERIFY(adapter_->received().isEmpty());
}

void TestAdapterProbe::stopGivesThePortBack()
{
    startWith(QStringLiteral("silent"));
    probe_->start();
    QVERIFY(adapter_->waitForReceived(1));

    probe_->stop();
    QVERIFY(idle());
    QVERIFY(comm_->portOpen());
    adapter_->send(QStringLiteral("A3 on"));
    QTRY_COMPARE(frames_->count(), 1);
    QCOMPARE(finished_->count(), 0);
    QCOMPARE(adapter_->received(), QByteArray("\x2A"));
}

QTEST_GUILESS_MAIN(TestAdapterProbe)
#include "TestAdapterProbe.moc"
