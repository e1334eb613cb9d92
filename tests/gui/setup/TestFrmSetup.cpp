// SPDX-License-Identifier: GPL-3.0-or-later
#include "AdapterEmulator.h"
#include "CaptionsFit.h"
#include "DeviceLineFormat.h"
#include "RecordingSink.h"
#include "SetupWindowOnScreen.h"
#include "TestEnvironment.h"

#include "core/IniSettingsStore.h"
#include "core/ReceiveLoop.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "gui/setup/FileList.h"
#include "gui/setup/FolderList.h"
#include "gui/setup/PlaylistBox.h"
#include "gui/setup/frmSetup.h"
#include "serial/SerialComm.h"

#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

#include <unistd.h>

namespace {

// The port Apply and Find adapter work on.
constexpr int port = 3;
const QString kavelo = QStringLiteral("Kavelo");
using Shown = QList<QPair<QString, QString>>;

// The real settings file under a store that also notes each write in order.
class NotingStore : public SettingsStore
{
public:
    std::optional<QString> value(const QString &key) const override { return file.value(key); }
    void setValue(const QString &key, const QString &value) override
    {
        writes.append(key + QLatin1Char('=') + value);
        file.setValue(key, value);
    }

    IniSettingsStore file;
    QStringList writes;
};

// What the main window lends the setup window: its settings, its port with the
// receive loop running on it, and its message boxes.
struct Program
{
    Program() { loop.start(); }

    NotingStore store;
    SettingsModel settings{store};
    SerialComm comm{settings};
    ReceiveLoop loop{comm};
    RecordingSink messages;
};

// A caption as the user reads it.
QString shownText(const QWidget *widget)
{
    if (auto *frame = qobject_cast<const QGroupBox *>(widget))
        return frame->title();
    if (auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (auto *box = qobject_cast<const QLineEdit *>(widget))
        return box->text();
    return QString();
}

// What a field holds.
QString fieldText(const QWidget *field)
{
    if (auto *box = qobject_cast<const QLineEdit *>(field))
        return box->text();
    if (auto *list = qobject_cast<const QComboBox *>(field))
        return list->currentText();
    if (auto *option = qobject_cast<const QRadioButton *>(field))
        return option->isChecked() ? QStringLiteral("checked") : QStringLiteral("unchecked");
    if (auto *bar = qobject_cast<const QScrollBar *>(field))
        return QString::number(bar->value());
    if (auto *folders = qobject_cast<const FolderList *>(field))
        return folders->path();
    return QStringLiteral("?");
}

void drop(QWidget *target, const QString &format)
{
    QMimeData data;
    data.setData(format, "rock.m3u");
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &dropped);
}

// A double-click as a user makes it: the first click lands before it.
void doubleClick(QListWidget *list, QListWidgetItem *item)
{
    const QPoint at = list->visualItemRect(item).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

} // namespace

class TestFrmSetup : public QObject
{
    Q_OBJECT

public:
    explicit TestFrmSetup(const TestEnvironment &environment) : env_(environment) {}

private slots:
    void init();
    void cleanup();

    void controlLayout_data();
    void controlLayout();
    void windowProperties();
    void tabOrder();
    void everyCaptionIsShownWhole();

    void firstLoadWithEmptyStore();
    void loadRecomputesThumbsBeforeFolder();
    void loadShowsStoredValue_data();
    void loadShowsStoredValue();
    void oneWindowAndReopenShowsWhatWasSaved();

    void applyHouseCode_data();
    void applyHouseCode();
    void typingFileNameStoresEachKeystroke();

    void folderChangeFollowsIntoFileList();
    void folderListGoesUp();
    void driveChange();
    void driveWithoutMedium();
    void dropOnPlaylistBox_data();
    void dropOnPlaylistBox();
    void dropElsewhereDoesNothing_data();
    void dropElsewhereDoesNothing();
    void pressWithAnyButtonPicksRow_data();
    void pressWithAnyButtonPicksRow();
    void typingIntoPlaylistBoxStoresNothing();

    void applyWithNoPortPickedDoesNothing();
    void applyProbesThePort_data();
    void applyProbesThePort();
    void missingDevice();
    void deviceHeldByAnotherProgram_data();
    void deviceHeldByAnotherProgram();
    void closingMidProbeGivesThePortBack();
    void findAdapterPicksTheDeviceThatAnswers();
    void usbAdapterPickedByItsStableName();

private:
    frmSetup *open();
    // The window with port 3 picked, which opens the given device.
    frmSetup *openOn(const QString &device);
    void apply() { QTest::mouseClick(window_->cmdApply, Qt::LeftButton); }
    // A folder with three playlists, a file of another kind and a subfolder.
    QString folderWithLists();
    QStringList writesOf(const QString &key) const;
    void select(const QString &fileName);

    const TestEnvironment &env_;
    std::unique_ptr<Program> p_;
    QPointer<frmSetup> window_;
};

void TestFrmSetup::init()
{
    env_.clearSettings();
    p_ = std::make_unique<Program>();
}

void TestFrmSetup::cleanup()
{
    delete setupWindowOnScreen();
    QVERIFY(!setupWindowOnScreen());
    p_.reset();
}

frmSetup *TestFrmSetup::open()
{
    window_ = frmSetup::showSetup(p_->comm, p_->loop, p_->settings, p_->messages);
    if (!QTest::qWaitForWindowExposed(window_))
        qWarning("the setup window was not exposed");
    return window_;
}

frmSetup *TestFrmSetup::openOn(const QString &device)
{
    p_->settings.setValue(Keys::comDevice(port), device);
    open()->ComportList->setCurrentText(QString::number(port));
    return window_;
}

QString TestFrmSetup::folderWithLists()
{
    QDir home(env_.home());
    home.mkpath(QStringLiteral("lists/sub"));
    const QString folder = home.filePath(QStringLiteral("lists"));
    for (const char *name : {"rock.m3u", "jazz.m3u", "notes.txt", "blues.m3u8"}) {
        QFile file(folder + QLatin1Char('/') + QLatin1String(name));
        file.open(QIODevice::WriteOnly);
    }
    return folder;
}

QStringList TestFrmSetup::writesOf(const QString &key) const
{
    QStringList values;
    for (const QString &write : p_->store.writes)
        if (write.startsWith(key + QLatin1Char('=')))
            values.append(write.mid(key.size() + 1));
    return values;
}

void TestFrmSetup::select(const QString &fileName)
{
    const auto found = window_->File1->findItems(fileName, Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    window_->File1->setCurrentItem(found.first());
}

void TestFrmSetup::controlLayout_data()
{
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("twipsGeometry");
    QTest::addColumn<QString>("text");

    auto row = [](const char *name, const char *parent, QRect geometry, const char *text) {
        QTest::newRow(name) << QString::fromLatin1(parent) << geometry << QString::fromUtf8(text);
    };
    row("Frame5", "frmSetup", QRect(5880, 4680, 975, 2175), "Vol Steps");
    row("volSteps", "Frame5", QRect(360, 480, 255, 1215), "");
    row("txtTU", "frmSetup", QRect(480, 7200, 7455, 375), "");
    row("txtTD", "frmSetup", QRect(480, 7560, 7455, 375), "");
    row("Frame1", "frmSetup", QRect(6960, 4680, 2055, 2175), "Select House/Unit Codes");
    row("cmdApplyHC", "Frame1", QRect(600, 1560, 855, 375), "Apply");
    row("optUpper", "Frame1", QRect(600, 1080, 1215, 375), "UCs 9-16");
    row("optLower", "Frame1", QRect(600, 720, 1215, 495), "UC's 1-8");
    row("houseCodeList", "Frame1", QRect(600, 360, 855, 315), "");
    row("Frame4", "frmSetup", QRect(120, 4680, 5655, 2175), "critic");
    row("tdPath", "Frame4", QRect(480, 480, 2535, 375), "");
    row("tdFile", "Frame4", QRect(3120, 480, 1695, 375), "");
    row("extt", "Frame4", QRect(4920, 480, 495, 375), ".m3u");
    row("tuPath", "Frame4", QRect(480, 1200, 2535, 375), "");
    row("tuFile", "Frame4", QRect(3120, 1200, 1695, 375), "");
    row("ext", "Frame4", QRect(4920, 1200, 495, 375), ".m3u");
    row("Label5", "Frame4", QRect(3240, 240, 1815, 255), "thumbs down");
    row("Label6", "Frame4", QRect(3000, 960, 2295, 255), "thumbs up");
    row("Frame3", "frmSetup", QRect(7680, 240, 1335, 2295), "Serial Port");
    row("cmdApply", "Frame3", QRect(240, 1200, 855, 375), "Apply");
    row("ComportList", "Frame3", QRect(240, 600, 855, 315), "");
    row("Frame2", "frmSetup", QRect(120, 240, 4695, 4335), "playlist assignment");
    row("txtPlaylist8", "Frame2", QRect(960, 3480, 3495, 285), "");
    row("txtPlaylist5", "Frame2", QRect(960, 2400, 3495, 285), "");
    row("txtPlaylist1", "Frame2", QRect(960, 960, 3495, 285), "");
    row("Dir1", "frmSetup", QRect(5040, 840, 2415, 1665), "");
    row("File1", "frmSetup", QRect(5040, 2760, 3975, 1845), "");
    row("Drive1", "frmSetup", QRect(5040, 360, 2415, 315), "");
    row("Label2", "frmSetup", QRect(3720, 0, 1215, 495), "Label2");
}

// Positions in twips, inside the frame or the window; the captions the load
// leaves alone (the loaded boxes have theirs replaced, so their column is empty).
void TestFrmSetup::controlLayout()
{
    QFETCH(QString, parentName);
    QFETCH(QRect, twipsGeometry);
    QFETCH(QString, text);

    frmSetup *window = open();
    const auto *control =
        window->findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(control);
    QCOMPARE(control->parentWidget()->objectName(), parentName);
    QCOMPARE(control->geometry(), QRect(twipsGeometry.x() / 15, twipsGeometry.y() / 15,
                                        twipsGeometry.width() / 15, twipsGeometry.height() / 15));
    if (!text.isEmpty())
        QCOMPARE(shownText(control), text);
}

void TestFrmSetup::windowProperties()
{
    frmSetup *window = open();
    QCOMPARE(window->windowTitle(), QStringLiteral("Setup"));
    QCOMPARE(window->minimumSize(), QSize(615, 502));
    QCOMPARE(window->maximumSize(), QSize(615, 502));
    QCOMPARE(window->size(), QSize(615, 502));
    const Qt::WindowFlags flags = window->windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(!window->windowIcon().isNull());
    QVERIFY(window->isVisible());

    QVERIFY(window->txtTU->isHidden() && window->txtTD->isHidden());
    QVERIFY(window->Label2->isHidden());
    QVERIFY(window->tuPath->isReadOnly() && window->tdPath->isReadOnly());
    QCOMPARE(window->volSteps->maximum(), 25);

    const QList<QPair<const char *, int>> timers = {
        {"Timer1", 1000}, {"Timer2", 1000}, {"Timer4", 2}};
    for (const auto &[name, interval] : timers) {
        auto *timer = window->findChild<QTimer *>(QLatin1String(name));
        QVERIFY(timer);
        QCOMPARE(timer->interval(), interval);
        QVERIFY(timer->isSingleShot());
        QVERIFY(!timer->isActive());
    }
}

void TestFrmSetup::tabOrder()
{
    frmSetup *window = open();
    QVERIFY(QTest::qWaitForWindowActive(window));
    window->Drive1->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), window->Drive1);

    const QStringList expected = {"Drive1",        "File1",        "Dir1",           "ComportList",
                                  "houseCodeList", "cmdApply",     "optLower",       "txtPlaylist1",
                                  "txtPlaylist2",  "txtPlaylist3", "txtPlaylist4",   "txtPlaylist5",
                                  "txtPlaylist6",  "txtPlaylist7", "txtPlaylist8",   "tuFile",
                                  "tuPath",        "tdFile",       "tdPath",         "cmdApplyHC",
                                  "volSteps",      "cboDevice",    "cmdFindAdapter", "Drive1"};
    QStringList visited;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        visited.append(QApplication::focusWidget()->objectName());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(visited, expected);
}

void TestFrmSetup::everyCaptionIsShownWhole()
{
    const QStringList clipped = clippedCaptions(open());
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(u' ')));
}

// The exact list of writes also shows that the keys with Apply buttons stay unwritten.
void TestFrmSetup::firstLoadWithEmptyStore()
{
    frmSetup *window = open();
    const QString h = env_.home();
    QCOMPARE(p_->store.writes,
             QStringList({"tuPath=" + h + "/", "tdPath=" + h + "/", "tuFile=winners",
                          "thumbsup=" + h + "/winners.m3u", "tdFile=losers",
                          "thumbsdown=" + h + "/losers.m3u", "dir1_path=" + h}));
    for (PlaylistBox *box : window->txtPlaylist)
        QCOMPARE(box->text(), QString());
    QCOMPARE(window->ComportList->currentText(), QStringLiteral("2"));
    QCOMPARE(window->houseCodeList->currentText(), QStringLiteral("A"));
    QVERIFY(window->optLower->isChecked());
    QVERIFY(!window->optUpper->isChecked());
    QCOMPARE(window->tuFile->text(), QStringLiteral("winners"));
    QCOMPARE(window->tdFile->text(), QStringLiteral("losers"));
    QCOMPARE(window->txtTU->text(), h + "/winners.m3u");
    QCOMPARE(window->txtTD->text(), h + "/losers.m3u");
    QCOMPARE(window->Dir1->path(), h);
    QCOMPARE(window->File1->path(), h);
    QCOMPARE(window->volSteps->value(), 5);
    QVERIFY(p_->messages.shown.isEmpty());
}

// The file names are joined to the stored folders before the folder list moves
// the folder boxes on to its own folder.
void TestFrmSetup::loadRecomputesThumbsBeforeFolder()
{
    const QString lists = folderWithLists();
    p_->store.file.setValue(Keys::tuPath, QStringLiteral("/music/"));
    p_->store.file.setValue(Keys::tuFile, QStringLiteral("best"));
    p_->store.file.setValue(Keys::thumbsup, QStringLiteral("/old/keepers.m3u"));
    p_->store.file.setValue(Keys::dir1Path, lists);

    frmSetup *window = open();
    QCOMPARE(window->txtTU->text(), QStringLiteral("/music/best.m3u"));
    QCOMPARE(p_->settings.thumbsUpFile(), QStringLiteral("/music/best.m3u"));
    QCOMPARE(window->tuPath->text(), lists + "/");
    QCOMPARE(p_->store.file.value(Keys::tuPath), lists + "/");
    QCOMPARE(p_->store.file.value(Keys::tdPath), lists + "/");
}

void TestFrmSetup::loadShowsStoredValue_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("shown"); // "work": the working folder

    auto row = [](const char *name, const char *key, const char *stored, const char *field,
                  const char *shown) {
        QTest::newRow(name) << QString::fromLatin1(key) << QString::fromLatin1(stored)
                            << QString::fromLatin1(field) << QString::fromLatin1(shown);
    };
    row("playlist", "playlist3", "/music/a.m3u", "txtPlaylist3", "/music/a.m3u");
    row("port 3", "comn", "3", "ComportList", "3");
    row("house C", "housecode", "C", "houseCodeList", "C");
    row("house empty", "housecode", "", "houseCodeList", "A");
    row("bank False", "bankb", "False", "optUpper", "checked");
    row("bank TRUE", "bankb", "TRUE", "optLower", "checked");
    row("thumbs down name", "tdFile", "duds", "tdFile", "duds");
    row("volume step", "volSteps", "12", "volSteps", "12");
    row("volume step 0", "volSteps", "0", "volSteps", "0");
    // Values a field cannot take: it keeps what it had.
    row("bank no Boolean", "bankb", "maybe", "optLower", "unchecked");
    row("bank no Boolean, upper", "bankb", "maybe", "optUpper", "unchecked");
    row("folder removed", "dir1_path", "/no/such/folder", "Dir1", "work");
    row("step above range", "volSteps", "40", "volSteps", "5");
    row("step below range", "volSteps", "-3", "volSteps", "5");
    row("step no number", "volSteps", "many", "volSteps", "5");
    row("main window's port 5", "comn", "5", "ComportList", "");
    row("house not listed", "housecode", "Z", "houseCodeList", "A");
}

// The window opens without a message, every other field loads, and the value
// stays stored as it was.
void TestFrmSetup::loadShowsStoredValue()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(QString, field);
    QFETCH(QString, shown);

    const QString lists = folderWithLists();
    p_->store.file.setValue(Keys::housecode, QStringLiteral("D"));
    p_->store.file.setValue(Keys::comn, QStringLiteral("4"));
    p_->store.file.setValue(Keys::tdFile, QStringLiteral("weeds"));
    p_->store.file.setValue(Keys::dir1Path, lists);
    p_->store.file.setValue(Keys::volSteps, QStringLiteral("9"));
    p_->store.file.setValue(key, stored);

    frmSetup *window = open();
    QVERIFY(p_->messages.shown.isEmpty());
    QCOMPARE(fieldText(window->findChild<QWidget *>(field)),
             shown == QLatin1String("work") ? env_.work() : shown);
    QCOMPARE(p_->store.file.value(key), stored);
    if (key != Keys::housecode)
        QCOMPARE(window->houseCodeList->currentText(), QStringLiteral("D"));
    if (key != Keys::comn)
        QCOMPARE(window->ComportList->currentText(), QStringLiteral("4"));
    if (key != Keys::tdFile)
        QCOMPARE(window->tdFile->text(), QStringLiteral("weeds"));
    if (key != Keys::dir1Path)
        QCOMPARE(window->Dir1->path(), lists);
    if (key != Keys::volSteps)
        QCOMPARE(window->volSteps->value(), 9);
}

// "Setup" while the window is open only brings it to the front; the next one
// after a close loads afresh what the last one saved.
void TestFrmSetup::oneWindowAndReopenShowsWhatWasSaved()
{
    const QString lists = folderWithLists();
    frmSetup *window = open();
    window->Dir1->setPath(lists);
    window->tuFile->clear();
    QTest::keyClicks(window->tuFile, QStringLiteral("best"));
    window->volSteps->setValue(20);
    QCOMPARE(p_->settings.volStep(), quint8(20)); // the main window steps by it at once
    select(QStringLiteral("jazz.m3u"));
    drop(window->txtPlaylist[2], QLatin1String(kPlaylistDragMime));

    p_->settings.setValue(Keys::tdFile, QStringLiteral("changed"));
    p_->store.writes.clear();
    QCOMPARE(open(), window);
    QCOMPARE(window->tdFile->text(), QStringLiteral("losers"));
    QVERIFY(p_->store.writes.isEmpty());
    int windows = 0;
    for (QWidget *widget : QApplication::topLevelWidgets())
        windows += qobject_cast<frmSetup *>(widget) ? 1 : 0;
    QCOMPARE(windows, 1);

    QPointer<frmSetup> closing = window;
    window->close();
    QVERIFY(!setupWindowOnScreen());
    QTRY_VERIFY(closing.isNull());

    window = open();
    QCOMPARE(window->tdFile->text(), QStringLiteral("changed"));
    QCOMPARE(window->tuFile->text(), QStringLiteral("best"));
    QCOMPARE(window->txtTU->text(), lists + "/best.m3u");
    QCOMPARE(window->volSteps->value(), 20);
    QCOMPARE(window->txtPlaylist[2]->text(), lists + "/jazz.m3u");
    QCOMPARE(window->Dir1->path(), lists);
}

void TestFrmSetup::applyHouseCode_data()
{
    QTest::addColumn<QString>("house");
    QTest::addColumn<bool>("lower");
    QTest::addColumn<QString>("bank");

    QTest::newRow("C, units 9-16") << "C" << false << "False";
    QTest::newRow("P, units 1-8") << "P" << true << "True";
    QTest::newRow("unchanged") << "A" << true << "True";
}

void TestFrmSetup::applyHouseCode()
{
    QFETCH(QString, house);
    QFETCH(bool, lower);
    QFETCH(QString, bank);

    frmSetup *window = open();
    window->houseCodeList->setCurrentText(house);
    (lower ? window->optLower : window->optUpper)->setChecked(true);
    QCOMPARE(p_->settings.houseCode(), QStringLiteral("A"));
    QTest::mouseClick(window->cmdApplyHC, Qt::LeftButton);

    QCOMPARE(p_->settings.houseCode(), house);
    QCOMPARE(p_->store.file.value(Keys::bankb), bank);
    QCOMPARE(p_->messages.shown, (Shown{{"HC/UC changes made", kavelo}}));
}

void TestFrmSetup::typingFileNameStoresEachKeystroke()
{
    frmSetup *window = open();
    window->tuFile->clear();
    p_->store.writes.clear();
    QTest::keyClicks(window->tuFile, QStringLiteral("best"));

    QCOMPARE(writesOf(Keys::tuFile), QStringList({"b", "be", "bes", "best"}));
    const QString folder = env_.home() + "/";
    QCOMPARE(writesOf(Keys::thumbsup), QStringList({folder + "b.m3u", folder + "be.m3u",
                                                    folder + "bes.m3u", folder + "best.m3u"}));
    QCOMPARE(writesOf(Keys::thumbsdown), QStringList());
}

// Entering a folder shows its playlists, remembers it and makes it the folder
// of both thumbs files, but the full thumbs paths wait for the next name change.
void TestFrmSetup::folderChangeFollowsIntoFileList()
{
    const QString lists = folderWithLists();
    frmSetup *window = open();
    p_->store.writes.clear();
    const auto found = window->Dir1->findItems(QStringLiteral("lists"), Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    doubleClick(window->Dir1, found.first());

    QCOMPARE(window->Dir1->path(), lists);
    QCOMPARE(window->File1->path(), lists);
    QStringList shown;
    for (int row = 0; row < window->File1->count(); ++row)
        shown.append(window->File1->item(row)->text());
    QCOMPARE(shown, QStringList({"jazz.m3u", "rock.m3u"}));
    QCOMPARE(p_->store.writes,
             QStringList({"dir1_path=" + lists, "tdPath=" + lists + "/", "tuPath=" + lists + "/"}));
    QCOMPARE(window->tuPath->text(), lists + "/");
    QCOMPARE(window->txtTU->text(), env_.home() + "/winners.m3u");
}

void TestFrmSetup::folderListGoesUp()
{
    const QString lists = folderWithLists();
    frmSetup *window = open();
    QVERIFY(window->Dir1->setPath(lists + "/sub"));
    QCOMPARE(window->Dir1->item(0)->text(), QStringLiteral(".."));
    doubleClick(window->Dir1, window->Dir1->item(0));
    QCOMPARE(window->Dir1->path(), lists);
    QCOMPARE(p_->store.file.value(Keys::dir1Path), lists);

    QVERIFY(window->Dir1->setPath(QStringLiteral("/")));
    QVERIFY(window->Dir1->findItems(QStringLiteral(".."), Qt::MatchExactly).isEmpty());
}

// At the root the folder boxes hold "/" alone: a doubled "//" would make a
// host name of the first path part when the path becomes a URL.
void TestFrmSetup::driveChange()
{
    frmSetup *window = open();
    int root = window->Drive1->findText(QStringLiteral("/"));
    if (root < 0) { // a container whose root file system is not listed
        window->Drive1->addItem(QStringLiteral("/"));
        root = window->Drive1->count() - 1;
    }
    window->Drive1->addItem(env_.home()); // as if a volume were mounted at the home folder
    window->Drive1->setCurrentIndex(window->Drive1->count() - 1);
    QCOMPARE(window->Dir1->path(), env_.home());
    QCOMPARE(p_->store.file.value(Keys::drive1Drive), env_.home());

    window->Drive1->setCurrentIndex(root);
    QCOMPARE(window->Dir1->path(), QStringLiteral("/"));
    QCOMPARE(p_->store.file.value(Keys::dir1Path), QStringLiteral("/"));
    QCOMPARE(p_->store.file.value(Keys::drive1Drive), QStringLiteral("/"));
    QCOMPARE(window->tuPath->text(), QStringLiteral("/"));
    QCOMPARE(p_->store.file.value(Keys::tdPath), QStringLiteral("/"));
    QVERIFY(p_->messages.shown.isEmpty());
}

void TestFrmSetup::driveWithoutMedium()
{
    frmSetup *window = open();
    const QString before = window->Dir1->path();
    window->Drive1->addItem(QStringLiteral("/media/no-such-volume"));
    p_->store.writes.clear();
    window->Drive1->setCurrentIndex(window->Drive1->count() - 1);

    QCOMPARE(p_->messages.shown, (Shown{{"Drive not avalable", "Dremik"}}));
    QCOMPARE(window->Dir1->path(), before);
    QCOMPARE(window->Drive1->currentText(), QStringLiteral("/media/no-such-volume"));
    QVERIFY(p_->store.writes.isEmpty());
}

void TestFrmSetup::dropOnPlaylistBox_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("atRoot");
    QTest::addColumn<QString>("selected");
    for (int n = 1; n <= 8; ++n)
        QTest::addRow("box %d", n) << n << false << (n % 2 ? "rock.m3u" : "jazz.m3u");
    QTest::newRow("no file selected") << 4 << false << "";
    QTest::newRow("at the root") << 2 << true << "";
}

void TestFrmSetup::dropOnPlaylistBox()
{
    QFETCH(int, number);
    QFETCH(bool, atRoot);
    QFETCH(QString, selected);

    const QString folder = atRoot ? QStringLiteral("/") : folderWithLists();
    frmSetup *window = open();
    QVERIFY(window->Dir1->setPath(folder));
    if (!selected.isEmpty())
        select(selected);
    p_->store.writes.clear();
    drop(window->txtPlaylist[number - 1], QLatin1String(kPlaylistDragMime));

    const QString path = atRoot ? folder : folder + "/" + selected;
    QCOMPARE(window->txtPlaylist[number - 1]->text(), path);
    QCOMPARE(p_->store.writes, QStringList({QStringLiteral("playlist%1=").arg(number) + path}));
}

void TestFrmSetup::dropElsewhereDoesNothing_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("format");

    const QString file = QLatin1String(kPlaylistDragMime);
    QTest::newRow("thumbs down name") << "tdFile" << file;
    QTest::newRow("thumbs up name") << "tuFile" << file;
    QTest::newRow("folder list") << "Dir1" << file;
    QTest::newRow("drive list") << "Drive1" << file;
    QTest::newRow("file list") << "File1" << file;
    QTest::newRow("window") << "frmSetup" << file;
    QTest::newRow("text onto a playlist box") << "txtPlaylist1"
                                              << "text/plain";
}

void TestFrmSetup::dropElsewhereDoesNothing()
{
    QFETCH(QString, target);
    QFETCH(QString, format);

    const QString lists = folderWithLists();
    frmSetup *window = open();
    QVERIFY(window->Dir1->setPath(lists));
    select(QStringLiteral("rock.m3u"));
    QWidget *widget =
        target == QLatin1String("frmSetup") ? window : window->findChild<QWidget *>(target);
    QVERIFY(widget);
    const QString before = fieldText(widget);
    p_->store.writes.clear();

    drop(widget, format);
    QCOMPARE(fieldText(widget), before);
    QVERIFY(p_->store.writes.isEmpty());
    for (PlaylistBox *box : window->txtPlaylist)
        QCOMPARE(box->text(), QString());
}

void TestFrmSetup::pressWithAnyButtonPicksRow_data()
{
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::newRow("left") << Qt::LeftButton;
    QTest::newRow("right") << Qt::RightButton;
    QTest::newRow("middle") << Qt::MiddleButton;
}

// The press starts the drag; the drop then takes the row the press picked.
void TestFrmSetup::pressWithAnyButtonPicksRow()
{
    QFETCH(Qt::MouseButton, button);

    const QString lists = folderWithLists();
    frmSetup *window = open();
    QVERIFY(window->Dir1->setPath(lists));
    const auto rock = window->File1->findItems(QStringLiteral("rock.m3u"), Qt::MatchExactly);
    QCOMPARE(rock.size(), 1);
    const QPoint at = window->File1->visualItemRect(rock.first()).center();
    QTest::mousePress(window->File1->viewport(), button, {}, at);
    QTest::mouseRelease(window->File1->viewport(), button, {}, at);

    QCOMPARE(window->File1->fileName(), QStringLiteral("rock.m3u"));
    // The outline covers the row under the pointer, as wide as the list.
    const QPoint row = window->File1->viewport()->mapTo(window, at);
    QVERIFY(window->Label2->geometry().contains(QPoint(window->Label2->x(), row.y())));
    QCOMPARE(window->Label2->x(), window->File1->x());
    QCOMPARE(window->Label2->width(), window->File1->width());
    QVERIFY(window->Label2->isHidden());

    drop(window->txtPlaylist[5], QLatin1String(kPlaylistDragMime));
    QCOMPARE(p_->settings.playlist(6), lists + "/rock.m3u");
}

void TestFrmSetup::typingIntoPlaylistBoxStoresNothing()
{
    frmSetup *window = open();
    p_->store.writes.clear();
    QTest::keyClicks(window->txtPlaylist[1], QStringLiteral("/x.m3u"));
    QCOMPARE(window->txtPlaylist[1]->text(), QStringLiteral("/x.m3u"));
    QVERIFY(p_->store.writes.isEmpty());
}

// The main window's own default, port 5, is not in the list: Apply must not
// store a port the user never picked.
void TestFrmSetup::applyWithNoPortPickedDoesNothing()
{
    p_->store.file.setValue(Keys::comn, QStringLiteral("5"));
    frmSetup *window = open();
    p_->store.writes.clear();
    apply();
    QVERIFY(p_->store.writes.isEmpty());
    QVERIFY(p_->messages.shown.isEmpty());
    QVERIFY(!p_->comm.portOpen());
    QVERIFY(window->cmdApply->isEnabled());
}

void TestFrmSetup::applyProbesThePort_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<bool>("staysOpen");

    QTest::newRow("Trenda") << "trenda"
                            << "Trenda adapter detected" << QByteArray("\x2A") << true;
    QTest::newRow("Pasko") << "pasko"
                           << "Pasko adapter detected" << QByteArray("\x2A\xF0\x29") << true;
    QTest::newRow("wrong byte") << "noisy"
                                << "no response" << QByteArray("\x2A") << false;
    QTest::newRow("silence") << "silent"
                             << "adapter not responding, verify serial port connections"
                             << QByteArray("\x2A\xF0\x29") << false;
}

// Apply stores the port and probes it, with the receive loop held off until
// the probe has its answer. Where the port stays open, Apply again closes it
// and opens it anew: an adapter that answers at once, as the emulator does,
// must be found again, its answer not taken for a stale byte and thrown away.
void TestFrmSetup::applyProbesThePort()
{
    QFETCH(QString, model);
    QFETCH(QString, message);
    QFETCH(QByteArray, written);
    QFETCH(bool, staysOpen);

    AdapterEmulator adapter(model);
    openOn(adapter.devicePath());
    const int times = staysOpen ? 2 : 1;
    for (int applies = 1; applies <= times; ++applies) {
        apply();
        QVERIFY(!window_->cmdApply->isEnabled());
        QVERIFY(p_->loop.suspended());
        QCOMPARE(p_->settings.value(Keys::comn), QString::number(port));
        QTRY_COMPARE_WITH_TIMEOUT(p_->messages.shown.size(), applies, 5000);
        QCOMPARE(p_->messages.shown.last(), qMakePair(message, kavelo));
        QCOMPARE(p_->comm.portOpen(), staysOpen);
        QVERIFY(window_->cmdApply->isEnabled());
        QVERIFY(!p_->loop.suspended());
    }
    QVERIFY(adapter.waitForReceived(times * written.size()));
    QCOMPARE(adapter.received(), written.repeated(times));
    if (staysOpen)
        QCOMPARE(deviceLineFormat(p_->comm), QStringLiteral("4800,N,8,1"));
}

void TestFrmSetup::missingDevice()
{
    p_->settings.setValue(Keys::comn, QStringLiteral("2"));
    openOn(QStringLiteral("/dev/no-such-kavelo-adapter"));
    apply();

    QCOMPARE(p_->messages.shown, (Shown{{"com port  3 not avalable", kavelo}}));
    QCOMPARE(window_->ComportList->currentText(), QStringLiteral("1"));
    QCOMPARE(p_->settings.value(Keys::comn), QStringLiteral("2"));
    QVERIFY(!p_->comm.portOpen());
    QVERIFY(window_->cmdApply->isEnabled());
    QVERIFY(!p_->loop.suspended());
}

void TestFrmSetup::deviceHeldByAnotherProgram_data()
{
    QTest::addColumn<bool>("lockedByAnotherProcess");
    // Held by a port object of this very process: nobody to name, so the probe's
    // first byte finds the port closed.
    QTest::newRow("holder unknown") << false;
    // A lock file names another process: the message names it.
    QTest::newRow("holder named by its lock") << true;
}

void TestFrmSetup::deviceHeldByAnotherProgram()
{
    QFETCH(bool, lockedByAnotherProcess);
    AdapterEmulator adapter(QStringLiteral("trenda"));
    openOn(adapter.devicePath());
    SerialComm otherProgram(p_->settings);
    QProcess holder;
    const QString lock = adapter.lockFile();
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
    QCOMPARE(p_->messages.shown, (Shown{{expected, kavelo}}));
    QVERIFY(!p_->comm.portOpen());
    QCOMPARE(p_->settings.value(Keys::comn), QString::number(port));
    QVERIFY(window_->cmdApply->isEnabled());
    QVERIFY(!p_->loop.suspended());
    if (lockedByAnotherProcess) {
        holder.kill();
        holder.waitForFinished();
        QFile::remove(lock);
    }
}

// Closing the window ends the probe at once: the port stays as Apply left it,
// open on the chosen device, and goes back to the receive loop.
void TestFrmSetup::closingMidProbeGivesThePortBack()
{
    AdapterEmulator adapter(QStringLiteral("silent"), AdapterEmulator::oneFramePerKey);
    openOn(adapter.devicePath());
    apply();
    QVERIFY(adapter.waitForReceived(1));
    QVERIFY(p_->loop.suspended());

    window_->close();
    QVERIFY(!p_->loop.suspended());
    QVERIFY(p_->comm.portOpen());
    QTRY_VERIFY(window_.isNull());

    QSignalSpy frames(&p_->loop, &ReceiveLoop::frameReceived);
    adapter.send(QStringLiteral("A3 on"));
    QTRY_COMPARE(frames.count(), 1);
    QVERIFY(p_->messages.shown.isEmpty());
    QCOMPARE(adapter.received(), QByteArray("\x2A"));
}

// Find adapter probes the listed devices in turn and takes the first that
// answers as the picked port's device.
void TestFrmSetup::findAdapterPicksTheDeviceThatAnswers()
{
    AdapterEmulator silent(QStringLiteral("silent"));
    AdapterEmulator pasko(QStringLiteral("pasko"));
    p_->settings.setValue(Keys::comDevice(1), silent.devicePath());
    p_->settings.setValue(Keys::comDevice(2), pasko.devicePath());
    openOn(silent.devicePath());
    QCOMPARE(window_->cboDevice->currentData().toString(), silent.devicePath());

    QTest::mouseClick(window_->cmdFindAdapter, Qt::LeftButton);
    QVERIFY(!window_->cmdApply->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(p_->messages.shown.size(), 1, 5000);
    QCOMPARE(p_->messages.shown.first().first,
             QStringLiteral("Pasko adapter detected on %1, now serial port %2")
                 .arg(pasko.devicePath())
                 .arg(port));
    QCOMPARE(silent.received(), QByteArray("\x2A\xF0\x29"));
    QCOMPARE(window_->cboDevice->currentData().toString(), pasko.devicePath());
    QCOMPARE(p_->settings.value(Keys::comDevice(port)), pasko.devicePath());
    QCOMPARE(p_->settings.value(Keys::comn), QString::number(port));
    QVERIFY(p_->comm.portOpen());
    QVERIFY(window_->cmdApply->isEnabled() && window_->cmdFindAdapter->isEnabled());
    QVERIFY(!p_->loop.suspended());
}

// A USB adapter has a stable name under /dev/serial/by-id; picked by its
// description in the window, the port stores that name, which survives
// replugging.
void TestFrmSetup::usbAdapterPickedByItsStableName()
{
    if (::getuid() != 0)
        QSKIP("needs root to make a link under /dev/serial/by-id");
    AdapterEmulator trenda(QStringLiteral("trenda"));
    QVERIFY(QDir().mkpath(QStringLiteral("/dev/serial/by-id")));
    const QString link =
        QStringLiteral("/dev/serial/by-id/usb-Kavelo_Test_Adapter_%1-if00-port0").arg(::getpid());
    QVERIFY(QFile::link(trenda.devicePath(), link));
    const auto removeLink = qScopeGuard([&link] { QFile::remove(link); });
    p_->settings.setValue(Keys::comDevice(1), trenda.devicePath());
    openOn(QStringLiteral("/dev/no-such-kavelo-adapter"));

    const int item = window_->cboDevice->findData(link);
    QVERIFY(item >= 0);
    QCOMPARE(window_->cboDevice->currentIndex(), -1); // port 3 names no listed device
    window_->cboDevice->setCurrentIndex(item);
    apply();
    QTRY_COMPARE(p_->messages.shown.size(), 1);
    QCOMPARE(p_->messages.shown.first().first, QStringLiteral("Trenda adapter detected"));
    QCOMPARE(p_->settings.value(Keys::comDevice(port)), link);
    QCOMPARE(p_->settings.value(Keys::comn), QString::number(port));
}

int main(int argc, char *argv[])
{
    TestEnvironment environment;
    QApplication app(argc, argv);
    TestFrmSetup test(environment);
    return QTest::qExec(&test, argc, argv);
}

#include "TestFrmSetup.moc"
