// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as the user sees it: controls, captions and places, tab
// order, timers, menu, About, the thumbs-list buttons, and frames arriving on a
// real serial line. The adapter emulator serves a pseudo-terminal and the
// settings file lies in a temporary XDG_CONFIG_HOME. How the receive loop
// itself waits, discards and reopens is tested on its own.

#include "AdapterEmulator.h"
#include "CaptionsFit.h"
#include "DeviceLineFormat.h"
#include "RecordingPlayer.h"
#include "RecordingSink.h"
#include "SetupWindowOnScreen.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "Version.h"

#include "core/IniSettingsStore.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "core/ThumbsLists.h"
#include "gui/Twips.h"
#include "gui/browser/frmBrowser.h"
#include "gui/keys/frmKeys.h"
#include "gui/mainwindow/PlayerMenu.h"
#include "gui/mainwindow/Tarrow.h"
#include "gui/setup/frmSetup.h"
#include "help/HelpSite.h"
#include "serial/SerialComm.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

namespace {
const QColor lightGreen(192, 255, 192);
const QColor lightRed(255, 128, 128);
const QString thirdPlaylist = QStringLiteral("/music/third list.m3u");

QString caption(const QWidget *control)
{
    if (const auto *button = qobject_cast<const QAbstractButton *>(control))
        return button->text();
    if (const auto *label = qobject_cast<const QLabel *>(control))
        return label->text();
    if (const auto *box = qobject_cast<const QLineEdit *>(control))
        return box->text();
    return {};
}

QList<frmBrowser *> browsers()
{
    QList<frmBrowser *> found;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *browser = qobject_cast<frmBrowser *>(window))
            found << browser;
    }
    return found;
}

} // namespace

class TestTarrow : public QObject
{
    Q_OBJECT

public:
    explicit TestTarrow(const TestEnvironment &environment) : env_(environment) {}

private slots:
    void init();
    void cleanup();

    void window();
    void control_data();
    void control();
    void tabWalksTheControlsAndSkipsTheLabels();
    void resizingMovesNothing_data();
    void resizingMovesNothing();
    void everyCaptionIsShownWhole();
    void menus();
    void options();
    void webHelpOpensANewBrowserEachTime();
    void clearButtonsClearTheirOwnList_data();
    void clearButtonsClearTheirOwnList();
    void makePlaylists_data();
    void makePlaylists();

    void portNumber_data();
    void portNumber();
    void portNotOpened_data();
    void portNotOpened();
    void frame_data();
    void frame();
    void timer1RemovesTheHighlight();
    void aFrameDuringAMessageIsCarriedOutWhenItCloses();
    void theSetupWindowsProbeGivesThePortBack();
    void closingTakesThePortAndEveryOtherWindow();
    void aKeyLearntInTheKeysWindowRunsItsCommand();

private:
    bool shown()
    {
        window_->show();
        return QTest::qWaitForWindowExposed(window_.get());
    }
    // Loads the window on comDevice5 = the emulator's pseudo-terminal.
    void start();
    QColor monitorColour() const { return window_->txtMonitor->palette().color(QPalette::Base); }

    const TestEnvironment &env_;
    std::unique_ptr<AdapterEmulator> emulator_;
    std::unique_ptr<IniSettingsStore> file_;
    std::unique_ptr<SettingsModel> store_; // the settings of the program, over file_
    std::unique_ptr<ThumbsLists> thumbs_;
    std::unique_ptr<RecordingSink> sink_;
    std::unique_ptr<Tarrow> window_;
};

void TestTarrow::init()
{
    env_.clearSettings();
    file_ = std::make_unique<IniSettingsStore>();
    store_ = std::make_unique<SettingsModel>(*file_);
    QCOMPARE(store_->fileName(), env_.settingsFile());
    emulator_ = std::make_unique<AdapterEmulator>(QStringLiteral("trenda"),
                                                  AdapterEmulator::oneFramePerKey);
    QVERIFY(!emulator_->devicePath().isEmpty());
    sink_ = std::make_unique<RecordingSink>();
    thumbs_ = std::make_unique<ThumbsLists>(QString());
    window_ = std::make_unique<Tarrow>(
        *store_, *thumbs_, [](const PlayerChoice &) { return std::make_unique<RecordingPlayer>(); },
        *sink_);
}

void TestTarrow::cleanup()
{
    window_.reset();
    sink_.reset();
    emulator_.reset();
    store_.reset();
    file_.reset();
}

void TestTarrow::start()
{
    store_->setValue(Keys::comDevice(5), emulator_->devicePath());
    window_->load();
    QVERIFY(window_->Comm1->portOpen());
}

void TestTarrow::window()
{
    QVERIFY(shown());
    QCOMPARE(window_->windowTitle(), QStringLiteral("Kavelo"));
    QCOMPARE(window_->centralWidget()->size(), twipsSize(8610, 3345));
    QVERIFY(window_->menuBar()->geometry().bottom() < window_->centralWidget()->geometry().top());
    // The 16 px rendering of the program's icon; a pixmap keeps its alpha premultiplied.
    const QImage icon = QImage(QStringLiteral(":/icons/kavelo-16.png"))
                            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(icon.size(), QSize(16, 16));
    QCOMPARE(window_->windowIcon().pixmap(16, 16).toImage().convertToFormat(icon.format()), icon);
    QVERIFY(!window_->Comm1->portOpen());
    for (QTimer *timer : {window_->Timer1, window_->Timer2}) {
        QVERIFY(!timer->isActive());
        QCOMPARE(timer->interval(), 1000);
        QVERIFY(timer->isSingleShot());
    }
}

void TestTarrow::control_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");

    const auto row = [](const char *name, const char *caption, int left, int top, int width,
                        int height) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(caption)
                            << QRect(left, top, width, height);
    };
    row("txtWincmd", "", 120, 2760, 3855, 375);
    row("cmdSetup", "Setup", 4200, 2760, 2655, 375);
    row("txtMonitor", "", 7080, 2760, 1215, 375);
    row("cmdClearlistTU", "Clear thumbs up list", 120, 2040, 2655, 375);
    row("cmdClearlistTD", "Clear thumbs down list", 5640, 2040, 2655, 375);
    row("listTD", "", 4320, 240, 3975, 1620);
    row("cmdMakePlaylist", "Make playlists from above lists ", 2880, 2040, 2655, 375);
    row("listTU", "", 120, 240, 3855, 1620);
    row("Label4", "X10 Cmd", 7080, 2520, 855, 255);
    row("Label3", "Active Playlist or Command", 120, 2520, 2055, 255);
    row("Label2", "thumbs up", 120, 0, 1335, 255);
    row("Label1", "thumbs down", 4320, 0, 1215, 255);
}

void TestTarrow::control()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);

    QVERIFY(shown());
    auto *widget = window_->centralWidget()->findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(widget->parentWidget(), window_->centralWidget());
    QCOMPARE(widget->geometry(),
             twipsRect(twips.left(), twips.top(), twips.width(), twips.height()));
    QCOMPARE(::caption(widget), caption);
    QVERIFY(widget->isVisible());
    QVERIFY(widget->isEnabled());
    // The two display boxes show text centred on white and take no typing.
    if (const auto *box = qobject_cast<QLineEdit *>(widget)) {
        QVERIFY(box->isReadOnly());
        QCOMPARE(box->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        QCOMPARE(box->palette().color(QPalette::Base), QColor(255, 255, 255));
    }
}

void TestTarrow::tabWalksTheControlsAndSkipsTheLabels()
{
    const QStringList order = {"listTU",         "cmdMakePlaylist", "listTD",   "cmdClearlistTD",
                               "cmdClearlistTU", "txtMonitor",      "cmdSetup", "txtWincmd"};
    QVERIFY(shown());
    window_->activateWindow();
    window_->listTU->setFocus();
    QTRY_VERIFY(window_->listTU->hasFocus());

    QStringList walked;
    for (int i = 0; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        walked << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(walked, order.mid(1) << order.first());
}

void TestTarrow::everyCaptionIsShownWhole()
{
    const QStringList clipped = clippedCaptions(window_.get());
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(u' ')));
}

void TestTarrow::resizingMovesNothing_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("larger") << QSize(1000, 700);
    QTest::newRow("smaller") << QSize(250, 120);
}

void TestTarrow::resizingMovesNothing()
{
    QFETCH(QSize, size);
    QVERIFY(shown());

    QHash<QString, QRect> before;
    const auto controls =
        window_->centralWidget()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(controls.size(), 12);
    for (const QWidget *control : controls)
        before.insert(control->objectName(), control->geometry());

    window_->resize(size);
    QTRY_COMPARE(window_->size(), size);
    QTRY_COMPARE(window_->centralWidget()->width(), size.width());
    for (const QWidget *control : controls)
        QCOMPARE(control->geometry(), before.value(control->objectName()));
}

void TestTarrow::menus()
{
    const auto texts = [](const QList<QAction *> &actions) {
        QStringList result;
        for (const QAction *action : actions)
            result << action->text();
        return result;
    };
    QCOMPARE(texts(window_->menuBar()->actions()), QStringList({"&Options", "&Help"}));
    QCOMPARE(window_->menuBar()->actions().first()->menu(), window_->mnuOptions);
    QCOMPARE(window_->menuBar()->actions().last()->menu(), window_->mnuHelp);
    QCOMPARE(texts(window_->mnuHelp->actions()), QStringList({"&Web Help", "&About Kavelo"}));
    QCOMPARE(window_->mnuHelp->actions(),
             (QList<QAction *>{window_->mnuViewBrowser, window_->mnuHelpAbout}));
    QCOMPARE(window_->mnuOptions->actions(),
             (QList<QAction *>{window_->mnuPlayer->menuAction(), window_->mnuNotify,
                               window_->mnuAutostart, window_->mnuKeys, window_->mnuHome}));
    QCOMPARE(window_->mnuKeys->text(), QStringLiteral("&Keys…"));
    QCOMPARE(window_->mnuHome->text(), QStringLiteral("&Home automation…"));
}

// The options write their setting, or the autostart entry, the moment they change.
void TestTarrow::options()
{
    QVERIFY(window_->mnuNotify->isChecked()); // on unless turned off
    window_->mnuNotify->trigger();
    QCOMPARE(store_->value(Keys::notify), QStringLiteral("False"));
    QVERIFY(!store_->notify());
    window_->mnuNotify->trigger();
    QCOMPARE(store_->value(Keys::notify), QStringLiteral("True"));

    const QString entry = env_.config() + QStringLiteral("/autostart/kavelo.desktop");
    QVERIFY(!window_->mnuAutostart->isChecked());
    window_->mnuAutostart->trigger();
    const QByteArray text = readFile(entry);
    QVERIFY2(text.contains("Exec=\"" + QFile::encodeName(QCoreApplication::applicationFilePath()) +
                           "\"\n"),
             text.constData());
    window_->mnuAutostart->trigger();
    QVERIFY(!QFile::exists(entry));
}

void TestTarrow::webHelpOpensANewBrowserEachTime()
{
    window_->show();
    window_->mnuViewBrowser->trigger();
    window_->mnuViewBrowser->trigger();

    const QList<frmBrowser *> opened = browsers();
    QCOMPARE(opened.size(), 2);
    for (frmBrowser *browser : opened) {
        QCOMPARE(browser->StartingAddress, helpPageAddress(*store_));
        QVERIFY(browser->isVisible());
        QVERIFY(!browser->parentWidget()); // not owned by the main window
    }
    qDeleteAll(opened);
}

void TestTarrow::clearButtonsClearTheirOwnList_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("upLeft");
    QTest::addColumn<int>("downLeft");
    QTest::newRow("thumbs up") << QStringLiteral("cmdClearlistTU") << 0 << 2;
    QTest::newRow("thumbs down") << QStringLiteral("cmdClearlistTD") << 2 << 0;
}

void TestTarrow::clearButtonsClearTheirOwnList()
{
    QFETCH(QString, button);
    QFETCH(int, upLeft);
    QFETCH(int, downLeft);

    for (const char *song : {"/music/a.mp3", "/music/b.mp3"})
        thumbs_->add(ThumbsLists::List::Up, QLatin1String(song));
    for (const char *song : {"/music/c.mp3", "/music/d.mp3"})
        thumbs_->add(ThumbsLists::List::Down, QLatin1String(song));
    window_->show();
    QTest::mouseClick(window_->findChild<QAbstractButton *>(button), Qt::LeftButton);
    QCOMPARE(window_->listTU->count(), upLeft);
    QCOMPARE(window_->listTD->count(), downLeft);
}

void TestTarrow::makePlaylists_data()
{
    QTest::addColumn<bool>("upWritable");
    QTest::addColumn<bool>("downWritable");
    QTest::newRow("both written") << true << true;
    QTest::newRow("thumbs up unwritable") << false << true;
    QTest::newRow("thumbs down unwritable") << true << false;
    QTest::newRow("neither") << false << false;
}

void TestTarrow::makePlaylists()
{
    QFETCH(bool, upWritable);
    QFETCH(bool, downWritable);

    QTemporaryDir dir;
    const QString missingFolder = dir.filePath(QStringLiteral("no such folder"));
    const QString upFile = (upWritable ? dir.path() : missingFolder) + QStringLiteral("/up.m3u");
    const QString downFile =
        (downWritable ? dir.path() : missingFolder) + QStringLiteral("/down.m3u");
    // The paths are read at the click: one changed since the marks counts.
    const QString earlier = dir.filePath(QStringLiteral("earlier.m3u"));
    store_->setValue(Keys::thumbsup, earlier);
    thumbs_->add(ThumbsLists::List::Up, QStringLiteral("/music/kept.mp3"));
    thumbs_->add(ThumbsLists::List::Up, QStringLiteral("/music/kept.mp3"));
    thumbs_->add(ThumbsLists::List::Down, QStringLiteral("/music/dropped.mp3"));
    store_->setValue(Keys::thumbsup, upFile);
    store_->setValue(Keys::thumbsdown, downFile);

    QTest::mouseClick(window_->cmdMakePlaylist, Qt::LeftButton);

    QStringList reported;
    for (const auto &[text, title] : sink_->shown) {
        QCOMPARE(title, QStringLiteral("Kavelo"));
        reported << text;
    }
    QCOMPARE(reported.size(), int(!upWritable) + int(!downWritable));
    if (!upWritable)
        QVERIFY2(reported.first().contains(upFile), qPrintable(reported.first()));
    if (!downWritable)
        QVERIFY2(reported.last().contains(downFile), qPrintable(reported.last()));

    if (upWritable)
        QCOMPARE(readFile(upFile), QByteArray("#EXTM3U\r\n/music/kept.mp3\r\n/music/kept.mp3\r\n"));
    if (downWritable)
        QCOMPARE(readFile(downFile), QByteArray("#EXTM3U\r\n/music/dropped.mp3\r\n"));
    QVERIFY(!QFile::exists(earlier));
    QCOMPARE(window_->listTU->count(), 2);
    QCOMPARE(window_->listTD->count(), 1);
}

void TestTarrow::portNumber_data()
{
    QTest::addColumn<QString>("comn"); // null = not stored
    QTest::addColumn<int>("opened");
    QTest::newRow("absent") << QString() << 5;
    QTest::newRow("3") << QStringLiteral("3") << 3;
}

void TestTarrow::portNumber()
{
    QFETCH(QString, comn);
    QFETCH(int, opened);

    const QString nowhere = env_.work() + QStringLiteral("/no-such-tty");
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

void TestTarrow::portNotOpened_data()
{
    QTest::addColumn<QString>("device"); // "missing", "held" or "locked"
    QTest::newRow("no such device: reported") << "missing";
    QTest::newRow("held, holder unknown: no message") << "held";
    QTest::newRow("held, holder named by its lock: told") << "locked";
}

// The window starts with the port closed and goes on working, up to its close.
// A holder that the port's lock file names is told, so the user knows what to
// close.
void TestTarrow::portNotOpened()
{
    QFETCH(QString, device);
    QSerialPort holder(emulator_->devicePath());
    QProcess holderProcess;
    const QString lock = emulator_->lockFile();
    using Message = QPair<QString, QString>;
    QList<Message> expected;
    if (device == QLatin1String("missing")) {
        store_->setValue(Keys::comDevice(5), env_.work() + QStringLiteral("/no-such-tty"));
        expected.append({QStringLiteral("com port not avalable"), QStringLiteral("Kavelo")});
    } else {
        store_->setValue(Keys::comDevice(5), emulator_->devicePath());
    }
    if (device == QLatin1String("held"))
        QVERIFY(holder.open(QIODevice::ReadWrite));
    if (device == QLatin1String("locked")) {
        holderProcess.start(QStringLiteral("sleep"), {QStringLiteral("30")});
        QVERIFY(holderProcess.waitForStarted());
        QFile file(lock);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::number(holderProcess.processId()) + "\nsleep\nlocalhost\n");
        expected.append({QStringLiteral("The serial port %1 is in use by sleep (process %2). Close "
                                        "that program and try again.")
                             .arg(emulator_->devicePath())
                             .arg(holderProcess.processId()),
                         QStringLiteral("Kavelo")});
    }

    window_->load();
    if (device == QLatin1String("locked")) {
        holderProcess.kill();
        holderProcess.waitForFinished();
        QFile::remove(lock);
    }
    QCOMPARE(sink_->shown, expected);
    QVERIFY(!window_->Comm1->portOpen());
    QVERIFY(window_->isVisible());
    window_->mnuHelpAbout->trigger(); // About shows the version, in a box of the program's title
    QCOMPARE(sink_->shown.last(), Message("Kavelo ver " KAVELO_VERSION, "Kavelo"));
    QVERIFY(window_->close());
}

void TestTarrow::frame_data()
{
    QTest::addColumn<QString>("bankb");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<QString>("command");

    QTest::newRow("A3 on loads playlist 3") << "True"
                                            << "A3 on" << lightGreen << thirdPlaylist;
    QTest::newRow("A 11 off in bank 9-16") << "False"
                                           << "A 11 off" << lightGreen << "previous";
    QTest::newRow("house B") << "True"
                             << "B4 on" << lightRed << "";
}

void TestTarrow::frame()
{
    QFETCH(QString, bankb);
    QFETCH(QString, key);
    QFETCH(QColor, colour);
    QFETCH(QString, command);

    store_->setValue(Keys::bankb, bankb);
    store_->setValue(Keys::playlist(3), thirdPlaylist);
    start();
    window_->txtWincmd->setText(QStringLiteral("earlier command"));

    emulator_->send(key);
    QTRY_COMPARE(window_->txtMonitor->text(), key);
    QCOMPARE(monitorColour(), colour);
    QVERIFY(window_->Timer1->isActive());
    QCOMPARE(window_->txtWincmd->text(), command);
    QVERIFY(sink_->shown.isEmpty());
}

void TestTarrow::timer1RemovesTheHighlight()
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
void TestTarrow::aFrameDuringAMessageIsCarriedOutWhenItCloses()
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
void TestTarrow::theSetupWindowsProbeGivesThePortBack()
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

// The port is closed, so the next program can open the device, and the setup
// and browser windows go with the main window.
void TestTarrow::closingTakesThePortAndEveryOtherWindow()
{
    start();
    window_->mnuViewBrowser->trigger();
    QTest::mouseClick(window_->cmdSetup, Qt::LeftButton);
    QPointer<frmSetup> setup = setupWindowOnScreen();
    QVERIFY(setup);
    QCOMPARE(browsers().size(), 1);

    QVERIFY(window_->close());
    QVERIFY(setup.isNull());
    QVERIFY(!setupWindowOnScreen());
    QVERIFY(browsers().isEmpty());
    QVERIFY(!window_->Comm1->portOpen());
    QSerialPort next(emulator_->devicePath());
    QVERIFY2(next.open(QIODevice::ReadWrite), qPrintable(next.errorString()));
}

// B3 on, of another house than the chosen one, is learnt from the remote and
// bound to a command in the window; each press then runs it once.
void TestTarrow::aKeyLearntInTheKeysWindowRunsItsCommand()
{
    // A remote's bursts: five frames, 90 ms apart, for each press.
    emulator_ = std::make_unique<AdapterEmulator>(QStringLiteral("trenda"),
                                                  QStringList{"--interval", "90"});
    start();
    window_->mnuKeys->trigger();
    auto *keys = window_->findChild<frmKeys *>();
    QVERIFY(keys);
    QTest::mouseClick(keys->cmdLearn, Qt::LeftButton);
    emulator_->send(QStringLiteral("B3 on"));
    QTRY_COMPARE(keys->txtKey->text(), QStringLiteral("B3on"));
    QCOMPARE(monitorColour(), lightRed);

    const QString ran = env_.work() + QStringLiteral("/ran");
    const int run = keys->cboAction->findData(QStringLiteral("run"));
    keys->cboAction->setCurrentIndex(run);
    emit keys->cboAction->activated(run);
    QTest::keyClicks(keys->txtCommand, QStringLiteral("sh -c 'echo $KAVELO_KEY >> \"$0\"' ") + ran);
    QTest::keyClick(keys->txtCommand, Qt::Key_Return);
    QCOMPARE(keys->listKeys->topLevelItemCount(), 1);
    QVERIFY(!keys->cmdLearn->isChecked());

    const auto lines = [&ran] {
        QFile file(ran);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    // Typing took no time: the finger is lifted before the key is pressed again.
    QTest::qWait(2 * Presses::kReleaseGapMs);
    emulator_->send(QStringLiteral("B3 on"));
    QTRY_COMPARE(lines(), QStringLiteral("B3on\n"));
    QCOMPARE(monitorColour(), lightGreen);
    QTest::qWait(2 * Presses::kReleaseGapMs);
    emulator_->send(QStringLiteral("B3 on"));
    QTRY_COMPARE(lines(), QStringLiteral("B3on\nB3on\n"));
    QVERIFY(emulator_->waitForSent(15));
    QTest::qWait(300);
    QCOMPARE(lines(), QStringLiteral("B3on\nB3on\n"));
}

int main(int argc, char *argv[])
{
    TestEnvironment environment;
    // The help browser's web view needs this before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestTarrow test(environment);
    return QTest::qExec(&test, argc, argv);
}
#include "TestTarrow.moc"
