#include "AdapterEmulator.h"
#include "DeviceLineFormat.h"
#include "RecordingSink.h"
#include "SetupTestEnvironment.h"

#include "core/AdapterProbe.h"
#include "core/ReceiveLoop.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "platform/IniSettingsStore.h"
#include "platform/SerialComm.h"
#include "setup/frmSetup.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include <unistd.h>

namespace {
constexpr int port = 3;
const QString kavelo = QStringLiteral("Kavelo");
using Shown = QList<QPair<QString, QString>>;
} // namespace

// Apply, the probe it starts and the messages it ends with, against the
// emulator on a pseudo-terminal, with the real settings file and the main
// window's receive loop on the port.
class TestSetupProbe : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void eachResultHasItsMessage_data();
    void eachResultHasItsMessage();
    void applyProbesAndSavesThePort();
    void missingDevice();
    void deviceHeldByAnotherProgram_data();
    void deviceHeldByAnotherProgram();
    void closingMidProbeGivesThePortBack();
    void findAdapterPicksTheDeviceThatAnswers();
    void usbAdapterPickedByItsStableName();

private:
    frmSetup *openOn(const QString &device);
    void apply();
    AdapterProbe *probe() const { return window_->findChild<AdapterProbe *>(); }

    std::unique_ptr<IniSettingsStore> file_;
    std::unique_ptr<SettingsModel> store_; // the settings of the program, over file_
    std::unique_ptr<SerialComm> comm_;
    std::unique_ptr<ReceiveLoop> loop_;
    std::unique_ptr<RecordingSink> messages_;
    QPointer<frmSetup> window_;
};

void TestSetupProbe::init()
{
    SetupTestEnvironment::clearSettings();
    file_ = std::make_unique<IniSettingsStore>();
    store_ = std::make_unique<SettingsModel>(*file_);
    comm_ = std::make_unique<SerialComm>(*store_);
    loop_ = std::make_unique<ReceiveLoop>(*comm_);
    loop_->start();
    messages_ = std::make_unique<RecordingSink>();
}

void TestSetupProbe::cleanup()
{
    delete window_.data();
    messages_.reset();
    loop_.reset();
    comm_.reset();
    store_.reset();
    file_.reset();
}

frmSetup *TestSetupProbe::openOn(const QString &device)
{
    store_->setValue(Keys::comDevice(port), device);
    window_ = frmSetup::showSetup(*comm_, *loop_, *store_, *messages_);
    window_->ComportList->setCurrentText(QString::number(port));
    return window_;
}

void TestSetupProbe::apply()
{
    QTest::mouseClick(window_->cmdApply, Qt::LeftButton);
}

void TestSetupProbe::eachResultHasItsMessage_data()
{
    QTest::addColumn<AdapterProbe::Result>("result");
    QTest::addColumn<QString>("message");

    using Result = AdapterProbe::Result;
    QTest::newRow("Trenda") << Result::Trenda << "Trenda adapter detected";
    QTest::newRow("Pasko") << Result::Pasko << "Pasko adapter detected";
    QTest::newRow("wrong byte") << Result::NoResponse << "no response";
    QTest::newRow("silence") << Result::NotResponding
                             << "adapter not responding, verify serial port connections";
    QTest::newRow("port in use")
        << Result::PortInUse
        << "Another program is using this serial port, please close it and try again.";
}

void TestSetupProbe::eachResultHasItsMessage()
{
    QFETCH(AdapterProbe::Result, result);
    QFETCH(QString, message);

    openOn(QStringLiteral("/dev/no-such-kavelo-adapter"));
    emit probe()->finished(result);
    QCOMPARE(messages_->shown, (Shown{{message, kavelo}}));
    QVERIFY(window_->cmdApply->isEnabled());
}

// Apply on the port that is already open closes it and opens it again; an
// adapter that answers at once, as the emulator does, is found every time: its
// answer must not be taken for a stale byte and thrown away.
void TestSetupProbe::applyProbesAndSavesThePort()
{
    AdapterEmulator adapter(QStringLiteral("trenda"));
    openOn(adapter.devicePath());
    for (int applies = 1; applies <= 3; ++applies) {
        apply();
        QVERIFY(window_->probing());
        QVERIFY(!window_->cmdApply->isEnabled());
        QVERIFY(loop_->suspended());
        QCOMPARE(store_->value(Keys::comn), QString::number(port));
        QTRY_COMPARE(messages_->shown.size(), applies);
        QCOMPARE(messages_->shown.last(),
                 qMakePair(QStringLiteral("Trenda adapter detected"), kavelo));
        QVERIFY(comm_->portOpen());
        QVERIFY(!window_->probing());
        QVERIFY(window_->cmdApply->isEnabled());
        QVERIFY(!loop_->suspended());
    }
    QVERIFY(adapter.waitForReceived(3));
    QCOMPARE(adapter.received(), QByteArray(3, '\x2A'));
    QCOMPARE(deviceLineFormat(*comm_), QStringLiteral("4800,N,8,1"));
}

void TestSetupProbe::missingDevice()
{
    store_->setValue(Keys::comn, QStringLiteral("2"));
    openOn(QStringLiteral("/dev/no-such-kavelo-adapter"));
    apply();

    QCOMPARE(messages_->shown, (Shown{{"com port  3 not avalable", kavelo}}));
    QCOMPARE(window_->ComportList->currentText(), QStringLiteral("1"));
    QCOMPARE(store_->value(Keys::comn), QStringLiteral("2"));
    QVERIFY(!comm_->portOpen());
    QVERIFY(!window_->probing());
    QVERIFY(window_->cmdApply->isEnabled());
    QVERIFY(!loop_->suspended());
}

void TestSetupProbe::deviceHeldByAnotherProgram_data()
{
    QTest::addColumn<bool>("lockedByAnotherProcess");
    // Held by a port object of this very process: nobody to name, so the probe's
    // first byte finds the port closed.
    QTest::newRow("holder unknown") << false;
    // A lock file names another process: the message names it.
    QTest::newRow("holder named by its lock") << true;
}

void TestSetupProbe::deviceHeldByAnotherProgram()
{
    QFETCH(bool, lockedByAnotherProcess);
    AdapterEmulator adapter(QStringLiteral("trenda"));
    openOn(adapter.devicePath());
    SerialComm otherProgram(*store_);
    QProcess holder;
    const QString lock =
        QStringLiteral("/run/lock/LCK..") + QDir(QStringLiteral("/dev"))
                                                .relativeFilePath(adapter.devicePath())
                                                .replace(QLatin1Char('/'), QLatin1Char('_'));
    QString expected =
        QStringLiteral("Another program is using this serial port, please close it and try again.");
    if (lockedByAnotherProcess) {
        holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(holder.waitForStarted());
        QFile file(lock);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::number(holder.processId()) + "\nsleep\nlocalhost\n");
        file.close();
        expected = QStringLiteral("The serial port %1 is in use by sleep (process %2). Close that "
                                  "program and try again.")
                       .arg(adapter.devicePath())
                       .arg(holder.processId());
    } else {
        otherProgram.setCommPort(port);
        QCOMPARE(otherProgram.open(), SerialLine::OpenResult::Opened);
    }

    apply();
    QCOMPARE(messages_->shown, (Shown{{expected, kavelo}}));
    QVERIFY(!comm_->portOpen());
    QCOMPARE(store_->value(Keys::comn), QString::number(port));
    QVERIFY(!window_->probing());
    QVERIFY(window_->cmdApply->isEnabled());
    QVERIFY(!loop_->suspended());
    if (lockedByAnotherProcess) {
        holder.kill();
        holder.waitForFinished();
        QFile::remove(lock);
    }
}

// Find adapter probes the listed devices in turn and takes the first that
// answers as the picked port's device.
void TestSetupProbe::findAdapterPicksTheDeviceThatAnswers()
{
    AdapterEmulator silent(QStringLiteral("silent"));
    AdapterEmulator pasko(QStringLiteral("pasko"));
    store_->setValue(Keys::comDevice(1), silent.devicePath());
    store_->setValue(Keys::comDevice(2), pasko.devicePath());
    openOn(silent.devicePath());
    QCOMPARE(window_->cboDevice->currentData().toString(), silent.devicePath());

    QTest::mouseClick(window_->cmdFindAdapter, Qt::LeftButton);
    QVERIFY(!window_->cmdApply->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(messages_->shown.size(), 1, 5000);
    QCOMPARE(messages_->shown.first().first,
             QStringLiteral("Pasko adapter detected on %1, now serial port %2")
                 .arg(pasko.devicePath())
                 .arg(port));
    QCOMPARE(silent.received(), QByteArray("\x2A\xF0\x29"));
    QCOMPARE(window_->cboDevice->currentData().toString(), pasko.devicePath());
    QCOMPARE(store_->value(Keys::comDevice(port)), pasko.devicePath());
    QCOMPARE(store_->value(Keys::comn), QString::number(port));
    QVERIFY(comm_->portOpen());
    QVERIFY(window_->cmdApply->isEnabled() && window_->cmdFindAdapter->isEnabled());
    QVERIFY(!loop_->suspended());
}

// A USB adapter has a stable name under /dev/serial/by-id; picked by its
// description in the window, the port stores that name, which survives
// replugging.
void TestSetupProbe::usbAdapterPickedByItsStableName()
{
    if (::getuid() != 0)
        QSKIP("needs root to make a link under /dev/serial/by-id");
    AdapterEmulator trenda(QStringLiteral("trenda"));
    QVERIFY(QDir().mkpath(QStringLiteral("/dev/serial/by-id")));
    const QString link =
        QStringLiteral("/dev/serial/by-id/usb-Kavelo_Test_Adapter_%1-if00-port0").arg(::getpid());
    QVERIFY(QFile::link(trenda.devicePath(), link));
    const auto removeLink = qScopeGuard([&link] { QFile::remove(link); });
    store_->setValue(Keys::comDevice(1), trenda.devicePath());
    openOn(QStringLiteral("/dev/no-such-kavelo-adapter"));

    const int item = window_->cboDevice->findData(link);
    QVERIFY(item >= 0);
    QCOMPARE(window_->cboDevice->currentIndex(), -1); // port 3 names no listed device
    window_->cboDevice->setCurrentIndex(item);
    apply();
    QTRY_COMPARE(messages_->shown.size(), 1);
    QCOMPARE(messages_->shown.first().first, QStringLiteral("Trenda adapter detected"));
    QCOMPARE(store_->value(Keys::comDevice(port)), link);
    QCOMPARE(store_->value(Keys::comn), QString::number(port));
}

// Closing the window ends the probe at once: the port stays as Apply left it,
// open on the chosen device, and goes back to the receive loop.
void TestSetupProbe::closingMidProbeGivesThePortBack()
{
    AdapterEmulator adapter(QStringLiteral("silent"));
    openOn(adapter.devicePath());
    apply();
    QVERIFY(adapter.waitForReceived(1));
    QVERIFY(loop_->suspended());

    window_->close();
    QVERIFY(!loop_->suspended());
    QVERIFY(comm_->portOpen());
    QTRY_VERIFY(window_.isNull());

    QSignalSpy frames(loop_.get(), &ReceiveLoop::frameReceived);
    adapter.send(QStringLiteral("A3 on"));
    QTRY_COMPARE(frames.count(), 1);
    QVERIFY(messages_->shown.isEmpty());
    QCOMPARE(adapter.received(), QByteArray("\x2A"));
}

int main(int argc, char *argv[])
{
    SetupTestEnvironment environment;
    QApplication app(argc, argv);
    TestSetupProbe test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestSetupProbe.moc"
