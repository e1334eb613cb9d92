#include "AdapterEmulator.h"
#include "RecordingSink.h"
#include "SetupTestEnvironment.h"

#include "core/Settings.h"
#include "core/SharedState.h"
#include "platform/IniSettingsStore.h"
#include "platform/SerialComm.h"
#include "setup/frmSetup.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {
constexpr int port = 3;
const QString kavelo = QStringLiteral("Kavelo");
} // namespace

// Apply and the adapter probe against the emulator on a pseudo-terminal, with
// the real settings file.
class TestSetupProbe : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void probe_data();
    void probe();
    void firstByteDecides_data();
    void firstByteDecides();
    void applyAgainReopensThePort();
    void missingDevice();
    void deviceHeldByAnotherProgram();
    void closingMidProbeStopsIt();

private:
    frmSetup *openOn(const QString &device);
    void apply();
    bool probeIdle() const;

    std::unique_ptr<IniSettingsStore> store_;
    std::unique_ptr<SerialComm> comm_;
    std::unique_ptr<RecordingSink> messages_;
    std::unique_ptr<QSignalSpy> released_;
    SharedState state_;
    QPointer<frmSetup> window_;
};

void TestSetupProbe::init()
{
    SetupTestEnvironment::clearSettings();
    store_ = std::make_unique<IniSettingsStore>();
    comm_ = std::make_unique<SerialComm>(*store_);
    messages_ = std::make_unique<RecordingSink>();
    released_ = std::make_unique<QSignalSpy>(comm_.get(), &SerialComm::released);
    state_ = SharedState{};
}

void TestSetupProbe::cleanup()
{
    delete window_.data();
    released_.reset();
    messages_.reset();
    comm_.reset();
    store_.reset();
}

frmSetup *TestSetupProbe::openOn(const QString &device)
{
    store_->setValue(Keys::comDevice(port), device);
    window_ = frmSetup::showSetup(*comm_, state_, *store_);
    window_->ComportList->setCurrentText(QString::number(port));
    return window_;
}

void TestSetupProbe::apply()
{
    QTest::mouseClick(window_->cmdApply, Qt::LeftButton);
}

// Every way out of the probe leaves the same: no timer, Apply back, port released.
bool TestSetupProbe::probeIdle() const
{
    return !window_->probing() && !window_->Timer1->isActive() && !window_->Timer2->isActive() &&
           !window_->Timer4->isActive() && window_->cmdApply->isEnabled() && !comm_->claimed() &&
           released_->count() == 1;
}

void TestSetupProbe::probe_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<bool>("staysOpen");
    QTest::addColumn<int>("minimumMs");

    QTest::newRow("trenda") << "trenda"
                            << "Trenda adapter detected" << QByteArray("\x2A") << true << 0;
    QTest::newRow("pasko") << "pasko"
                           << "Pasko adapter detected" << QByteArray("\x2A\xF0\x29") << true
                           << 1000;
    QTest::newRow("silent") << "silent"
                            << "adapter not responding, verify serial port connections"
                            << QByteArray("\x2A\xF0\x29") << false << 2000;
    QTest::newRow("noisy") << "noisy"
                           << "no response" << QByteArray("\x2A") << false << 0;
}

void TestSetupProbe::probe()
{
    QFETCH(QString, model);
    QFETCH(QString, message);
    QFETCH(QByteArray, written);
    QFETCH(bool, staysOpen);
    QFETCH(int, minimumMs);

    AdapterEmulator adapter(model);
    QVERIFY(!adapter.devicePath().isEmpty());
    openOn(adapter.devicePath());

    QElapsedTimer clock;
    clock.start();
    apply();
    QVERIFY(window_->probing());
    QVERIFY(!window_->cmdApply->isEnabled());
    QVERIFY(comm_->claimed());
    QTRY_COMPARE_WITH_TIMEOUT(messages_->shown.size(), 1, 5000);
    const qint64 elapsed = clock.elapsed();

    QCOMPARE(messages_->shown.first(), qMakePair(message, kavelo));
    QVERIFY2(elapsed >= minimumMs, qPrintable(QString::number(elapsed)));
    QVERIFY(elapsed < minimumMs + 1500);
    QVERIFY(adapter.waitForReceived(written.size()));
    QCOMPARE(adapter.received(), written);
    QCOMPARE(comm_->portOpen(), staysOpen);
    QVERIFY(probeIdle());
    QCOMPARE(store_->value(Keys::comn), QString::number(port));
    QCOMPARE(state_.probeTimeOver, quint8(minimumMs > 0 ? 1 : 0));
}

void TestSetupProbe::firstByteDecides_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("staysOpen");

    QTest::newRow("0x29 first") << "raw 29 55 02"
                                << "Trenda adapter detected" << true;
    QTest::newRow("0x29 second") << "raw 55 29"
                                 << "no response" << false;
}

// The rest of the read goes with the first byte: nothing is left for the
// receive loop to take as a frame.
void TestSetupProbe::firstByteDecides()
{
    QFETCH(QString, answer);
    QFETCH(QString, message);
    QFETCH(bool, staysOpen);

    AdapterEmulator adapter(QStringLiteral("silent"));
    openOn(adapter.devicePath());
    apply();
    QVERIFY(adapter.waitForReceived(1));
    adapter.send(answer);
    QTRY_COMPARE_WITH_TIMEOUT(messages_->shown.size(), 1, 5000);
    QCOMPARE(messages_->shown.first(), qMakePair(message, kavelo));
    QCOMPARE(comm_->portOpen(), staysOpen);
    QCOMPARE(comm_->inBufferCount(), 0);
    QCOMPARE(adapter.received(), QByteArray("\x2A"));
    QVERIFY(probeIdle());
}

// An adapter that answers at once, as the emulator does, is found on every
// Apply: its answer must not be taken for a stale byte and thrown away.
void TestSetupProbe::applyAgainReopensThePort()
{
    AdapterEmulator adapter(QStringLiteral("trenda"));
    openOn(adapter.devicePath());
    constexpr int applies = 10;
    for (int i = 1; i <= applies; ++i) {
        apply();
        QTRY_COMPARE_WITH_TIMEOUT(messages_->shown.size(), i, 5000);
        QCOMPARE(messages_->shown.last().first, QStringLiteral("Trenda adapter detected"));
        QVERIFY(comm_->portOpen());
    }
    QVERIFY(adapter.waitForReceived(applies));
    QCOMPARE(adapter.received(), QByteArray(applies, '\x2A'));
    QCOMPARE(comm_->settings(), QStringLiteral("4800,N,8,1"));
    QCOMPARE(released_->count(), applies);
}

void TestSetupProbe::missingDevice()
{
    store_->setValue(Keys::comn, QStringLiteral("2"));
    openOn(QStringLiteral("/dev/no-such-kavelo-adapter"));
    apply();

    QCOMPARE(messages_->shown,
             (QList<QPair<QString, QString>>{{"com port  3 not avalable", kavelo}}));
    QCOMPARE(window_->ComportList->currentText(), QStringLiteral("1"));
    QCOMPARE(store_->value(Keys::comn), QStringLiteral("2"));
    QVERIFY(!comm_->portOpen());
    QVERIFY(!window_->probing());
    QVERIFY(!window_->Timer1->isActive());
    QVERIFY(window_->cmdApply->isEnabled());
    QVERIFY(!comm_->claimed());
}

// The port cannot be opened, so the first probe byte finds it closed.
void TestSetupProbe::deviceHeldByAnotherProgram()
{
    AdapterEmulator adapter(QStringLiteral("trenda"));
    openOn(adapter.devicePath());
    SerialComm otherProgram(*store_);
    otherProgram.setCommPort(port);
    QCOMPARE(otherProgram.open(), SerialComm::OpenResult::Opened);

    apply();
    QCOMPARE(messages_->shown,
             (QList<QPair<QString, QString>>{
                 {"Another program is using this serial port, please close it and try again.",
                  kavelo}}));
    QVERIFY(!comm_->portOpen());
    QCOMPARE(store_->value(Keys::comn), QString::number(port));
    QVERIFY(probeIdle());
    QVERIFY(adapter.received().isEmpty());
}

// Closing the window ends the probe at once: the port stays as Apply left it,
// open on the chosen device, and goes back to the receive loop.
void TestSetupProbe::closingMidProbeStopsIt()
{
    AdapterEmulator adapter(QStringLiteral("silent"));
    openOn(adapter.devicePath());
    apply();
    QVERIFY(adapter.waitForReceived(1));
    QVERIFY(comm_->claimed());

    window_->close();
    QVERIFY(!comm_->claimed());
    QCOMPARE(released_->count(), 1);
    QVERIFY(comm_->portOpen());
    QTRY_VERIFY(window_.isNull());

    // The Pasko lead byte would follow a second after the first probe byte.
    QVERIFY(!adapter.waitForReceived(2, 1500));
    QCOMPARE(adapter.received(), QByteArray("\x2A"));
    QVERIFY(messages_->shown.isEmpty());
    QVERIFY(comm_->portOpen());
}

int main(int argc, char *argv[])
{
    SetupTestEnvironment environment;
    QApplication app(argc, argv);
    TestSetupProbe test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestSetupProbe.moc"
