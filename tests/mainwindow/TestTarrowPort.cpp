// The main window on a real serial line: the adapter emulator serves a
// pseudo-terminal, the window opens it through the settings file in a temporary
// XDG_CONFIG_HOME, and frames typed into the emulator reach the window. How the
// receive loop itself waits, discards and reopens is tested on its own.

#include "AdapterEmulator.h"
#include "DeviceLineFormat.h"
#include "RecordingPlayer.h"
#include "RecordingSink.h"
#include "SetupWindowOnScreen.h"
#include "Version.h"

#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "core/ThumbsLists.h"
#include "mainwindow/Tarrow.h"
#include "platform/IniSettingsStore.h"
#include "platform/SerialComm.h"
#include "setup/frmSetup.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {
const QColor lightGreen(192, 255, 192);
const QColor lightRed(255, 128, 128);
const QString thirdPlaylist = QStringLiteral("/music/third list.m3u");
} // namespace

class TestTarrowPort : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void frame_data();
    void frame();
    void timer1RemovesTheHighlight();
    void aFrameDuringAMessageIsCarriedOutWhenItCloses();
    void theSetupWindowsProbeGivesThePortBack();

    void portNumber_data();
    void portNumber();
    void missingDeviceIsReportedOnce();
    void deviceHeldElsewhere_data();
    void deviceHeldElsewhere();
    void closingClosesThePortAndTheSetupWindow();

private:
    // Starts the window on comDevice5 = the emulator's pseudo-terminal.
    void start();
    QColor monitorColour() const { return window_->txtMonitor->palette().color(QPalette::Base); }

    QTemporaryDir config_;
    std::unique_ptr<AdapterEmulator> emulator_;
    std::unique_ptr<IniSettingsStore> file_;
    std::unique_ptr<SettingsModel> store_; // the settings of the program, over file_
    std::unique_ptr<ThumbsLists> thumbs_;
    std::unique_ptr<Tarrow> window_;
    std::unique_ptr<RecordingSink> sink_;
};

void TestTarrowPort::initTestCase()
{
    QVERIFY(config_.isValid());
    qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
}

void TestTarrowPort::init()
{
    QFile::remove(config_.filePath(QStringLiteral("rarozavE.ini")));
    file_ = std::make_unique<IniSettingsStore>();
    store_ = std::make_unique<SettingsModel>(*file_);
    QCOMPARE(store_->fileName(), config_.filePath(QStringLiteral("rarozavE.ini")));
    emulator_ = std::make_unique<AdapterEmulator>();
    QVERIFY(!emulator_->devicePath().isEmpty());
    sink_ = std::make_unique<RecordingSink>();
    thumbs_ = std::make_unique<ThumbsLists>(QString());
    window_ = std::make_unique<Tarrow>(
        *store_, *thumbs_, [] { return std::make_unique<RecordingPlayer>(); }, *sink_);
}

void TestTarrowPort::cleanup()
{
    window_.reset();
    sink_.reset();
    emulator_.reset();
    store_.reset();
    file_.reset();
}

void TestTarrowPort::start()
{
    store_->setValue(Keys::comDevice(5), emulator_->devicePath());
    window_->load();
    QVERIFY(window_->Comm1->portOpen());
}

void TestTarrowPort::frame_data()
{
    QTest::addColumn<QString>("bankb");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<QString>("command");

    QTest::newRow("A3 on loads playlist 3") << "True"
                                            << "A3 on"
                                            << "A3 on" << lightGreen << thirdPlaylist;
    QTest::newRow("A 11 off outside bank 1-8") << "True"
                                               << "A 11 off"
                                               << "A 11 off" << lightRed << "";
    QTest::newRow("A 11 off in bank 9-16") << "False"
                                           << "A 11 off"
                                           << "A 11 off" << lightGreen << "previous";
    QTest::newRow("A bright") << "True"
                              << "A bright"
                              << "A1 brt" << lightGreen << "vol up";
    QTest::newRow("A dim in bank 9-16") << "False"
                                        << "A dim"
                                        << "A1 dim" << lightGreen << "vol down";
    QTest::newRow("house B") << "True"
                             << "B4 on"
                             << "B4 on" << lightRed << "";
}

void TestTarrowPort::frame()
{
    QFETCH(QString, bankb);
    QFETCH(QString, key);
    QFETCH(QString, shown);
    QFETCH(QColor, colour);
    QFETCH(QString, command);

    store_->setValue(Keys::bankb, bankb);
    store_->setValue(Keys::playlist(3), thirdPlaylist);
    start();
    window_->txtWincmd->setText(QStringLiteral("earlier command"));

    emulator_->send(key);
    QTRY_COMPARE(window_->txtMonitor->text(), shown);
    QCOMPARE(monitorColour(), colour);
    QVERIFY(window_->Timer1->isActive());
    QCOMPARE(window_->txtWincmd->text(), command);
    QVERIFY(sink_->shown.isEmpty());
}

void TestTarrowPort::timer1RemovesTheHighlight()
{
    start();
    emulator_->send(QStringLiteral("A3 on"));
    QTRY_COMPARE(window_->txtMonitor->text(), QStringLiteral("A3 on"));
    QElapsedTimer shownFor;
    shownFor.start();
    QCOMPARE(monitorColour(), lightGreen);

    QTRY_COMPARE_WITH_TIMEOUT(monitorColour(), QApplication::palette().color(QPalette::Base), 3000);
    QVERIFY2(shownFor.elapsed() >= 900, qPrintable(QString::number(shownFor.elapsed())));
    QVERIFY(!window_->Timer1->isActive());
    QCOMPARE(window_->txtMonitor->text(), QStringLiteral("A3 on"));
}

// The message holds the frame back; it is carried out once the message is gone.
void TestTarrowPort::aFrameDuringAMessageIsCarriedOutWhenItCloses()
{
    store_->setValue(Keys::playlist(2), QStringLiteral("/music/while-open.m3u"));
    start();
    sink_->keepOpen = true;
    window_->mnuHelpAbout->trigger();
    QCOMPARE(sink_->shown.size(), 1);
    emulator_->send(QStringLiteral("A2 on"));
    QTRY_COMPARE(window_->Comm1->inBufferCount(), 2);
    QVERIFY(window_->txtMonitor->text().isEmpty());
    sink_->closeAll();

    QTRY_COMPARE(window_->txtMonitor->text(), QStringLiteral("A2 on"));
    QCOMPARE(window_->txtWincmd->text(), QStringLiteral("/music/while-open.m3u"));
    QCOMPARE(window_->Comm1->inBufferCount(), 0);
}

// Apply probes the window's own port, and the window takes frames again after.
void TestTarrowPort::theSetupWindowsProbeGivesThePortBack()
{
    start();
    store_->setValue(Keys::comDevice(3), emulator_->devicePath());
    QTest::mouseClick(window_->cmdSetup, Qt::LeftButton);
    QPointer<frmSetup> setup = setupWindowOnScreen();
    QVERIFY(setup);
    setup->ComportList->setCurrentText(QStringLiteral("3"));
    QTest::mouseClick(setup->cmdApply, Qt::LeftButton);
    QTRY_COMPARE(sink_->texts(), QStringList{QStringLiteral("Trenda adapter detected")});
    QCOMPARE(window_->Comm1->commPort(), 3);

    emulator_->send(QStringLiteral("A3 on"));
    QTRY_COMPARE(window_->txtMonitor->text(), QStringLiteral("A3 on"));
    delete setup.data();
}

void TestTarrowPort::portNumber_data()
{
    QTest::addColumn<QString>("comn"); // null = not stored
    QTest::addColumn<int>("opened");
    QTest::newRow("absent") << QString() << 5;
    QTest::newRow("3") << QStringLiteral("3") << 3;
    QTest::newRow("not a number") << QStringLiteral("COM3") << 5;
    QTest::newRow("above a byte") << QStringLiteral("259") << 5;
    QTest::newRow("empty") << QStringLiteral("") << 5;
}

void TestTarrowPort::portNumber()
{
    QFETCH(QString, comn);
    QFETCH(int, opened);

    const QString nowhere = config_.filePath(QStringLiteral("no-such-tty"));
    for (int port : {3, 5})
        store_->setValue(Keys::comDevice(port), port == opened ? emulator_->devicePath() : nowhere);
    if (!comn.isNull())
        store_->setValue(Keys::comn, comn);

    window_->load();
    QVERIFY(window_->Comm1->portOpen());
    QCOMPARE(window_->Comm1->commPort(), opened);
    QCOMPARE(deviceLineFormat(*window_->Comm1), QStringLiteral("4800,N,8,1"));
    QVERIFY(sink_->shown.isEmpty());
}

void TestTarrowPort::missingDeviceIsReportedOnce()
{
    store_->setValue(Keys::comDevice(5), config_.filePath(QStringLiteral("no-such-tty")));
    window_->load();

    using Message = QPair<QString, QString>;
    QCOMPARE(sink_->shown, QList<Message>({{"com port not avalable", "Kavelo"}}));
    QVERIFY(!window_->Comm1->portOpen());
    QVERIFY(window_->isVisible());

    window_->mnuHelpAbout->trigger();
    QCOMPARE(sink_->shown.size(), 2);
    QCOMPARE(sink_->shown.last().first, QStringLiteral("Kavelo ver " KAVELO_VERSION));
}

void TestTarrowPort::deviceHeldElsewhere_data()
{
    QTest::addColumn<bool>("lockedByAnotherProcess");
    QTest::newRow("holder unknown: no message") << false;
    QTest::newRow("holder named by its lock") << true;
}

// The window starts with the port closed; a holder that the port's lock file
// names is told, so the user knows what to close.
void TestTarrowPort::deviceHeldElsewhere()
{
    QFETCH(bool, lockedByAnotherProcess);
    QSerialPort holder(emulator_->devicePath());
    QProcess holderProcess;
    const QString lock =
        QStringLiteral("/run/lock/LCK..") + QDir(QStringLiteral("/dev"))
                                                .relativeFilePath(emulator_->devicePath())
                                                .replace(QLatin1Char('/'), QLatin1Char('_'));
    if (lockedByAnotherProcess) {
        holderProcess.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(holderProcess.waitForStarted());
        QFile file(lock);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::number(holderProcess.processId()) + "\nsleep\nlocalhost\n");
    } else {
        QVERIFY(holder.open(QIODevice::ReadWrite));
    }
    store_->setValue(Keys::comDevice(5), emulator_->devicePath());

    window_->load();
    if (lockedByAnotherProcess) {
        QCOMPARE(sink_->shown.size(), 1);
        QVERIFY2(sink_->shown.first().first.startsWith(
                     QStringLiteral("The serial port %1 is in use by sleep (process %2).")
                         .arg(emulator_->devicePath())
                         .arg(holderProcess.processId())),
                 qPrintable(sink_->shown.first().first));
        holderProcess.kill();
        holderProcess.waitForFinished();
        QFile::remove(lock);
    } else {
        QVERIFY(sink_->shown.isEmpty());
    }
    QVERIFY(!window_->Comm1->portOpen());
    QVERIFY(window_->isVisible());
    thumbs_->add(ThumbsLists::List::Up, QStringLiteral("/music/a.mp3"));
    QTest::mouseClick(window_->cmdClearlistTU, Qt::LeftButton);
    QCOMPARE(window_->listTU->count(), 0);
}

void TestTarrowPort::closingClosesThePortAndTheSetupWindow()
{
    start();
    QTest::mouseClick(window_->cmdSetup, Qt::LeftButton);
    QPointer<frmSetup> setup = setupWindowOnScreen();
    QVERIFY(setup);

    QVERIFY(window_->close());
    QVERIFY(!window_->Comm1->portOpen());
    QVERIFY(setup.isNull());
    QVERIFY(!setupWindowOnScreen());

    QSerialPort next(emulator_->devicePath());
    QVERIFY2(next.open(QIODevice::ReadWrite), qPrintable(next.errorString()));
}

QTEST_MAIN(TestTarrowPort)
#include "TestTarrowPort.moc"
