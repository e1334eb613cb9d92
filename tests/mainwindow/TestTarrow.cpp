// The main window as the user sees it: controls, captions and places, tab
// order, timers, menu, About, and the thumbs-list buttons.

#include "CaptionsFit.h"
#include "RecordingPlayer.h"
#include "RecordingSink.h"
#include "SetupWindowOnScreen.h"
#include "Version.h"

#include "browser/HelpSite.h"
#include "browser/frmBrowser.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "core/ThumbsLists.h"
#include "gui/Twips.h"
#include "mainwindow/Tarrow.h"
#include "platform/IniSettingsStore.h"
#include "platform/SerialComm.h"
#include "setup/frmSetup.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

class TestTarrow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void window();
    void control_data();
    void control();
    void displayBoxes_data();
    void displayBoxes();
    void tabOrderWalksTheControlsAndSkipsTheLabels();
    void timersStartDisabledAtOneSecond();
    void resizingMovesNothing_data();
    void resizingMovesNothing();
    void everyCaptionIsShownWhole();
    void menus();
    void options();
    void aboutShowsTheVersion();
    void aMessageBoxWaitsForOkWithoutBlocking();
    void webHelpOpensANewBrowserEachTime();
    void closingTakesEveryOtherWindow();
    void clearButtonsClearTheirOwnList_data();
    void clearButtonsClearTheirOwnList();
    void makePlaylists_data();
    void makePlaylists();
    void makePlaylistsReadsThePathsAtTheClick();

private:
    QTemporaryDir config_;
    std::unique_ptr<IniSettingsStore> file_;
    std::unique_ptr<SettingsModel> store_; // the settings of the program, over file_
    std::unique_ptr<ThumbsLists> thumbs_;
    RecordingSink messages_;
    std::unique_ptr<Tarrow> window_;
};

void TestTarrow::initTestCase()
{
    QVERIFY(config_.isValid());
    qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
    file_ = std::make_unique<IniSettingsStore>();
    store_ = std::make_unique<SettingsModel>(*file_);
}

void TestTarrow::init()
{
    thumbs_ = std::make_unique<ThumbsLists>(QString());
    window_ = std::make_unique<Tarrow>(
        *store_, *thumbs_, [] { return std::make_unique<RecordingPlayer>(); }, messages_);
}

void TestTarrow::cleanup()
{
    window_.reset();
    messages_.shown.clear();
}

void TestTarrow::window()
{
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QCOMPARE(window_->windowTitle(), QStringLiteral("Kavelo"));
    QCOMPARE(window_->centralWidget()->size(), twipsSize(8610, 3345));
    QVERIFY(window_->menuBar()->geometry().bottom() < window_->centralWidget()->geometry().top());
    QVERIFY(!window_->windowIcon().isNull());
    const QImage icon(QStringLiteral(":/icons/kavelo.png"));
    QCOMPARE(icon.size(), QSize(16, 16));
    QCOMPARE(window_->windowIcon().pixmap(16, 16).toImage().convertToFormat(icon.format()), icon);
    QVERIFY(!window_->Comm1->portOpen());
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

static QString caption(const QWidget *control)
{
    if (const auto *button = qobject_cast<const QAbstractButton *>(control))
        return button->text();
    if (const auto *label = qobject_cast<const QLabel *>(control))
        return label->text();
    if (const auto *box = qobject_cast<const QLineEdit *>(control))
        return box->text();
    return {};
}

void TestTarrow::control()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);

    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    auto *widget = window_->centralWidget()->findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(widget->parentWidget(), window_->centralWidget());
    QCOMPARE(widget->geometry(),
             twipsRect(twips.left(), twips.top(), twips.width(), twips.height()));
    QCOMPARE(::caption(widget), caption);
    QVERIFY(widget->isVisible());
    QVERIFY(widget->isEnabled());
}

void TestTarrow::displayBoxes_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("txtWincmd") << QStringLiteral("txtWincmd");
    QTest::newRow("txtMonitor") << QStringLiteral("txtMonitor");
}

void TestTarrow::displayBoxes()
{
    QFETCH(QString, name);
    auto *box = window_->findChild<QLineEdit *>(name);
    QVERIFY(box);
    QVERIFY(box->isReadOnly());
    QCOMPARE(box->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    QCOMPARE(box->palette().color(QPalette::Base), QColor(255, 255, 255));
    QVERIFY(box->text().isEmpty());
}

void TestTarrow::tabOrderWalksTheControlsAndSkipsTheLabels()
{
    const QStringList expected = {"listTU",         "cmdMakePlaylist", "listTD",   "cmdClearlistTD",
                                  "cmdClearlistTU", "txtMonitor",      "cmdSetup", "txtWincmd"};
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));

    QStringList walked;
    QWidget *widget = window_->listTU;
    do {
        const bool takesTab =
            (widget->focusPolicy() & Qt::TabFocus) && widget->isVisible() && widget->isEnabled();
        if (takesTab && widget->parentWidget() == window_->centralWidget())
            walked << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != window_->listTU && walked.size() <= expected.size());
    QCOMPARE(walked, expected);

    // The real keyboard agrees.
    window_->activateWindow();
    window_->listTU->setFocus();
    QTRY_VERIFY(window_->listTU->hasFocus());
    QStringList pressed;
    for (int i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        pressed << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(pressed, expected.mid(1));
}

void TestTarrow::timersStartDisabledAtOneSecond()
{
    for (QTimer *timer : {window_->Timer1, window_->Timer2}) {
        QVERIFY(!timer->isActive());
        QCOMPARE(timer->interval(), 1000);
        QVERIFY(timer->isSingleShot());
    }
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
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));

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
    QStringList top;
    for (const QAction *action : window_->menuBar()->actions())
        top << action->text();
    QCOMPARE(top, QStringList({"&Options", "&Help"}));
    QCOMPARE(window_->menuBar()->actions().last()->menu(), window_->mnuHelp);

    QStringList items;
    for (const QAction *action : window_->mnuHelp->actions())
        items << action->text();
    QCOMPARE(items, QStringList({"&Web Help", "&About Kavelo"}));
    QCOMPARE(window_->mnuHelp->actions().at(0), window_->mnuViewBrowser);
    QCOMPARE(window_->mnuHelp->actions().at(1), window_->mnuHelpAbout);
    QCOMPARE(window_->mnuOptions->actions(),
             (QList<QAction *>{window_->mnuNotify, window_->mnuAutostart}));
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

    const QString entry = config_.filePath(QStringLiteral("autostart/kavelo.desktop"));
    QVERIFY(!window_->mnuAutostart->isChecked());
    window_->mnuAutostart->trigger();
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY2(text.contains("Exec=\"" + QFile::encodeName(QCoreApplication::applicationFilePath()) +
                           "\"\n"),
             text.constData());
    window_->mnuAutostart->trigger();
    QVERIFY(!QFile::exists(entry));
}

void TestTarrow::aboutShowsTheVersion()
{
    window_->mnuHelpAbout->trigger();
    QCOMPARE(messages_.shown.size(), 1);
    QCOMPARE(messages_.shown.first().first, QStringLiteral("Kavelo ver " KAVELO_VERSION));
    QCOMPARE(messages_.shown.first().second, QStringLiteral("Kavelo"));
}

// The real boxes: show() returns with the box open and application modal,
// and the box counts as open until OK closes it.
void TestTarrow::aMessageBoxWaitsForOkWithoutBlocking()
{
    Messages boxes;
    QSignalSpy opened(&boxes, &Messages::opened);
    QSignalSpy closed(&boxes, &Messages::closed);
    boxes.show(QStringLiteral("text"), QStringLiteral("title"));
    QCOMPARE(opened.size(), 1);
    QVERIFY(boxes.anyOpen());

    QMessageBox *box = nullptr;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *found = qobject_cast<QMessageBox *>(window); found && found->isVisible())
            box = found;
    }
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("text"));
    QCOMPARE(box->windowTitle(), QStringLiteral("title"));
    QCOMPARE(box->windowModality(), Qt::ApplicationModal);
    QCOMPARE(closed.size(), 0);

    QPointer<QMessageBox> gone = box;
    box->button(QMessageBox::Ok)->click();
    QCOMPARE(closed.size(), 1);
    QVERIFY(!boxes.anyOpen());
    QTRY_VERIFY(gone.isNull());
}

static QList<frmBrowser *> browsers()
{
    QList<frmBrowser *> found;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *browser = qobject_cast<frmBrowser *>(window))
            found << browser;
    }
    return found;
}

void TestTarrow::webHelpOpensANewBrowserEachTime()
{
    window_->show();
    window_->mnuViewBrowser->trigger();
    window_->mnuViewBrowser->trigger();

    const QList<frmBrowser *> opened = browsers();
    QCOMPARE(opened.size(), 2);
    const QString page = helpPageAddress(*store_);
    QVERIFY2(page.startsWith(QLatin1String("http://127.0.0.1:")), qPrintable(page));
    QVERIFY(page.endsWith(QLatin1String("/help.html")));
    for (frmBrowser *browser : opened) {
        QCOMPARE(browser->StartingAddress, page);
        QVERIFY(browser->isVisible());
        QVERIFY(!browser->parentWidget()); // not owned by the main window
    }
    qDeleteAll(opened);
}

void TestTarrow::closingTakesEveryOtherWindow()
{
    window_->show();
    window_->mnuViewBrowser->trigger();
    QTest::mouseClick(window_->cmdSetup, Qt::LeftButton);
    QVERIFY(setupWindowOnScreen());
    QCOMPARE(browsers().size(), 1);

    QVERIFY(window_->close());
    QVERIFY(!setupWindowOnScreen());
    QVERIFY(browsers().isEmpty());
    QVERIFY(!window_->Comm1->portOpen());
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

static QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
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
    store_->setValue(Keys::thumbsup, upFile);
    store_->setValue(Keys::thumbsdown, downFile);
    thumbs_->add(ThumbsLists::List::Up, QStringLiteral("/music/kept.mp3"));
    thumbs_->add(ThumbsLists::List::Up, QStringLiteral("/music/kept.mp3"));
    thumbs_->add(ThumbsLists::List::Down, QStringLiteral("/music/dropped.mp3"));

    QTest::mouseClick(window_->cmdMakePlaylist, Qt::LeftButton);

    QStringList reported;
    for (const auto &[text, title] : messages_.shown) {
        QCOMPARE(title, QStringLiteral("Kavelo"));
        reported << text;
    }
    QCOMPARE(reported.size(), int(!upWritable) + int(!downWritable));
    if (!upWritable)
        QVERIFY2(reported.first().contains(upFile), qPrintable(reported.first()));
    if (!downWritable)
        QVERIFY2(reported.last().contains(downFile), qPrintable(reported.last()));

    if (upWritable)
        QCOMPARE(readAll(upFile), QByteArray("#EXTM3U\r\n/music/kept.mp3\r\n/music/kept.mp3\r\n"));
    if (downWritable)
        QCOMPARE(readAll(downFile), QByteArray("#EXTM3U\r\n/music/dropped.mp3\r\n"));
    QCOMPARE(window_->listTU->count(), 2);
    QCOMPARE(window_->listTD->count(), 1);
}

void TestTarrow::makePlaylistsReadsThePathsAtTheClick()
{
    QTemporaryDir dir;
    store_->setValue(Keys::thumbsup, dir.filePath(QStringLiteral("before.m3u")));
    thumbs_->add(ThumbsLists::List::Up, QStringLiteral("/music/a.mp3"));
    store_->setValue(Keys::thumbsup, dir.filePath(QStringLiteral("after.m3u")));

    QTest::mouseClick(window_->cmdMakePlaylist, Qt::LeftButton);
    QVERIFY(messages_.shown.isEmpty());
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("before.m3u"))));
    QCOMPARE(readAll(dir.filePath(QStringLiteral("after.m3u"))),
             QByteArray("#EXTM3U\r\n/music/a.mp3\r\n"));
}

int main(int argc, char *argv[])
{
    // The help browser's web view needs this before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestTarrow test;
    return QTest::qExec(&test, argc, argv);
}
#include "TestTarrow.moc"
