// SPDX-License-Identifier: GPL-3.0-or-later
// Options > Player and its MPD dialog, driven through the real main window:
// the MPRIS players of a private session bus come and go in the menu, a choice
// is written to the settings file and the next key on the adapter emulator
// goes to the chosen player; the dialog asks a real MPD with a password.

#include "E2eWindow.h"
#include "FakeMprisPlayer.h"
#include "FieldNames.h"
#include "PlayerPeers.h"
#include "TestEnvironment.h"

#include "gui/mainwindow/PlayerMenu.h"
#include "gui/mainwindow/frmMpd.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <csignal>

namespace {
const QString fakeName = QStringLiteral("kavelotest");
const QString fakeIdentity = QStringLiteral("Kavelo Test Player");
} // namespace

class TestPlayerMenu : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void menuFollowsThePlayersOnTheBus();
    void aChosenPlayerTakesTheNextKey();
    void mpdDialog_data();
    void mpdDialog();
    void mpdDialogFieldsAnswerToTheirNames_data();
    void mpdDialogFieldsAnswerToTheirNames();
    void mpdDialogKeepsNoAddressThatWouldReadBackOtherwise_data();
    void mpdDialogKeepsNoAddressThatWouldReadBackOtherwise();

private:
    PlayerMenu &menu() { return *kavelo_->window().mnuPlayer; }
    // The MPRIS items of the menu, by their text, the checked one marked "*".
    QStringList mprisItems()
    {
        QStringList texts;
        for (QAction *item : menu().mprisItems())
            texts << (item->isChecked() ? QStringLiteral("*") : QString()) + item->text();
        return texts;
    }
    QAction *mprisItem(const QString &text)
    {
        for (QAction *item : menu().mprisItems()) {
            if (item->text() == text)
                return item;
        }
        return nullptr;
    }
    // Null while the one closed before is still there.
    frmMpd *openMpdDialog()
    {
        if (!QTest::qWaitFor([this] { return !kavelo_->window().findChild<frmMpd *>(); }))
            return nullptr;
        menu().mnuPlayerMpd->trigger();
        return kavelo_->window().findChild<frmMpd *>();
    }

    TestEnvironment env_;
    QTemporaryDir root_;
    SessionBus bus_;
    std::unique_ptr<MpdServer> mpd_;
    std::unique_ptr<E2eWindow> kavelo_;
};

void TestPlayerMenu::initTestCase()
{
    QVERIFY(root_.isValid());
    // Before anything touches the session bus: this test has its own.
    QVERIFY2(bus_.start(), "dbus-daemon did not start");
    mpd_ = std::make_unique<MpdServer>(root_.filePath(QStringLiteral("mpd")), 0,
                                       QStringLiteral("secret"));
    QVERIFY2(mpd_->start(), "MPD did not start");
}

void TestPlayerMenu::init()
{
    env_.clearSettings();
    kavelo_ = std::make_unique<E2eWindow>();
    QVERIFY(kavelo_->start());
}

void TestPlayerMenu::cleanup()
{
    kavelo_.reset();
}

// The players on the bus are listed by the names they give themselves, and
// the one chosen keeps its item, and the name it was listed under, while it is
// gone; by its bus name only when it was never seen.
void TestPlayerMenu::menuFollowsThePlayersOnTheBus()
{
    QVERIFY(menu().mnuPlayerAuto->isChecked());
    QCOMPARE(mprisItems(), QStringList());
    kavelo_->store().setValue(Keys::mprisPlayer, QStringLiteral("vlc"));
    kavelo_->store().setValue(Keys::player, PlayerKinds::mpris);
    QCOMPARE(mprisItems(), QStringList{QStringLiteral("*vlc (not running)")});
    {
        FakeMprisPlayer single(bus_.address(), fakeName);
        QTRY_COMPARE(mprisItems(),
                     (QStringList{fakeIdentity, QStringLiteral("*vlc (not running)")}));
        mprisItem(fakeIdentity)->trigger();
        QTRY_COMPARE(mprisItems(), QStringList{QStringLiteral("*") + fakeIdentity});
    }
    QTRY_COMPARE(mprisItems(), QStringList{QStringLiteral("*") + fakeIdentity +
                                           QStringLiteral(" (not running)")});
    menu().mnuPlayerAuto->trigger();
    QCOMPARE(mprisItems(), QStringList());
    {
        FakeMprisPlayer fake(bus_.address(), fakeName);
        QTRY_COMPARE(mprisItems(), QStringList{fakeIdentity});
        FakeMprisPlayer twin(bus_.address(), QStringLiteral("kavelotwin"));
        QTRY_COMPARE(mprisItems(), (QStringList{fakeIdentity + QStringLiteral(" (kavelotest)"),
                                                fakeIdentity + QStringLiteral(" (kavelotwin)")}));
        mprisItem(fakeIdentity + QStringLiteral(" (kavelotwin)"))->trigger();
        QTRY_COMPARE(mprisItems(), (QStringList{fakeIdentity + QStringLiteral(" (kavelotest)"),
                                                QStringLiteral("*") + fakeIdentity +
                                                    QStringLiteral(" (kavelotwin)")}));
    }
    QTRY_COMPARE(mprisItems(), QStringList{QStringLiteral("*") + fakeIdentity +
                                           QStringLiteral(" (kavelotwin) (not running)")});
    QVERIFY(!menu().mnuPlayerAuto->isChecked());
}

// A choice is written in the settings' own format and the next key goes
// there. With both players stopped, "Automatic" takes the first one found.
void TestPlayerMenu::aChosenPlayerTakesTheNextKey()
{
    FakeMprisPlayer first(bus_.address(), fakeName);
    FakeMprisPlayer twin(bus_.address(), QStringLiteral("kavelotwin"),
                         [](FakePlayerState &state) { state.identity = QStringLiteral("Twin"); });
    QTRY_VERIFY(mprisItem(QStringLiteral("Twin")));
    mprisItem(QStringLiteral("Twin"))->trigger();
    QCOMPARE(kavelo_->storedSetting(Keys::player), QStringLiteral("mpris"));
    QCOMPARE(kavelo_->storedSetting(Keys::mprisPlayer), QStringLiteral("kavelotwin"));
    QVERIFY(mprisItem(QStringLiteral("Twin"))->isChecked());
    QVERIFY(kavelo_->press(QStringLiteral("A4 off"), QStringLiteral("A4 off")));
    QTRY_COMPARE(twin.calls(), QStringList{QStringLiteral("Next")});

    menu().mnuPlayerAuto->trigger();
    QCOMPARE(kavelo_->storedSetting(Keys::player), QStringLiteral("auto"));
    QCOMPARE(kavelo_->storedSetting(Keys::mprisPlayer), QString());
    QVERIFY(menu().mnuPlayerAuto->isChecked());
    QVERIFY(kavelo_->press(QStringLiteral("A3 off"), QStringLiteral("A3 off")));
    QTRY_COMPARE(first.calls(), QStringList{QStringLiteral("Previous")});
    QCOMPARE(twin.calls(), QStringList{QStringLiteral("Next")});
}

void TestPlayerMenu::mpdDialog_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("mpdAnswers"); // false: MPD is frozen
    QTest::addColumn<QString>("said");    // "" when the dialog closes

    QTest::newRow("the right password") << "secret" << true << "";
    QTest::newRow("a wrong password") << "wrong" << true << "MPD refused the password.";
    QTest::newRow("MPD does not answer")
        << "secret" << false << "MPD cannot be reached: no greeting within 500 ms.";
}

// The dialog saves what the user typed, as the address MPD_HOST takes, and says
// at once what MPD answered, without the window waiting for it.
void TestPlayerMenu::mpdDialog()
{
    QFETCH(QString, password);
    QFETCH(bool, mpdAnswers);
    QFETCH(QString, said);

    frmMpd *dialog = openMpdDialog();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(menu().mnuPlayerAuto->isChecked()); // nothing chosen until it is saved
    dialog->txtMpdHost->setText(QStringLiteral("127.0.0.1"));
    dialog->txtMpdPort->setText(QString::number(mpd_->port()));
    dialog->txtMpdPassword->setText(password);
    dialog->txtMpdMusicDir->setText(mpd_->musicFolder());
    if (!mpdAnswers)
        signalProcess(mpd_->process(), SIGSTOP);
    QSignalSpy answered(dialog, &frmMpd::answered);
    StallMeter meter;
    dialog->cmdOk->click();
    // A quick answer may come before the click has returned.
    const bool gotAnswer = QTest::qWaitFor([&] { return !answered.isEmpty(); }, 3000);
    const qint64 stall = meter.longestMs();
    signalProcess(mpd_->process(), SIGCONT);

    QVERIFY(gotAnswer);
    QCOMPARE(answered.constFirst().constFirst().toBool(), said.isEmpty());
    QVERIFY2(stall < 250, qPrintable(QStringLiteral("the window stood still %1 ms").arg(stall)));
    QCOMPARE(kavelo_->storedSetting(Keys::player), QStringLiteral("mpd"));
    QCOMPARE(kavelo_->storedSetting(Keys::mpdHost), password + QStringLiteral("@127.0.0.1"));
    QCOMPARE(kavelo_->storedSetting(Keys::mpdPort), QString::number(mpd_->port()));
    QCOMPARE(kavelo_->storedSetting(Keys::mpdMusicDir), mpd_->musicFolder());
    QVERIFY(menu().mnuPlayerMpd->isChecked());
    if (said.isEmpty()) {
        QTRY_VERIFY(!kavelo_->window().findChild<frmMpd *>());
        // The next key goes to MPD: 125 and a step of 5 is 51 % of 255.
        QVERIFY(kavelo_->press(QStringLiteral("A bright"), QStringLiteral("A1 brt")));
        QTRY_COMPARE(mpd_->volume(), 51);
        return;
    }
    QVERIFY(dialog->isVisible());
    QVERIFY2(dialog->lblMpdState->text().startsWith(said), qPrintable(dialog->lblMpdState->text()));
    QCOMPARE(dialog->cmdCancel->text(), QStringLiteral("Close"));
    dialog->cmdCancel->click();

    // Opened again, it shows what was saved.
    dialog = openMpdDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->txtMpdHost->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(dialog->txtMpdPassword->text(), password);
    QCOMPARE(dialog->txtMpdPort->text(), QString::number(mpd_->port()));
    dialog->cmdCancel->click();
    QVERIFY(menu().mnuPlayerMpd->isChecked());
}

void TestPlayerMenu::mpdDialogFieldsAnswerToTheirNames_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("key"); // with Alt; 0 for none
    QTest::addColumn<QString>("name");

    QTest::newRow("host") << "txtMpdHost" << int(Qt::Key_H) << "Host name or socket path";
    QTest::newRow("port") << "txtMpdPort" << int(Qt::Key_P) << "Port";
    QTest::newRow("password") << "txtMpdPassword" << int(Qt::Key_W) << "Password";
    QTest::newRow("music folder") << "txtMpdMusicDir" << int(Qt::Key_M) << "Music folder here";
    QTest::newRow("music folder chooser") << "cmdMpdMusicDir" << 0 << "Choose the music folder";
}

// Each field is named for a screen reader, and its label's Alt key goes to it
// rather than typing into the field that has the focus.
void TestPlayerMenu::mpdDialogFieldsAnswerToTheirNames()
{
    QFETCH(QString, field);
    QFETCH(int, key);
    QFETCH(QString, name);

    frmMpd *dialog = openMpdDialog();
    QVERIFY(dialog);
    checkFieldAnswersToItsName(dialog, field, key, name, dialog->txtMpdHost, dialog->txtMpdPort);
    dialog->cmdCancel->click();
}

void TestPlayerMenu::mpdDialogKeepsNoAddressThatWouldReadBackOtherwise_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("said");

    const QString at = QStringLiteral("MPD's address cannot hold an \"@\"");
    QTest::newRow("a password with an @") << "server"
                                          << ""
                                          << "se@cret" << at;
    QTest::newRow("a host with an @ inside") << "user@server"
                                             << ""
                                             << "" << at;
    QTest::newRow("a password without a host") << ""
                                               << ""
                                               << "secret"
                                               << "A password needs MPD's host name";
    QTest::newRow("a port beyond 65535") << "server"
                                         << "70000"
                                         << ""
                                         << "The port is a number";
    QTest::newRow("the first number past the last port") << "server"
                                                         << "65536"
                                                         << ""
                                                         << "The port is a number";
}

// MPD_HOST's form keeps the password up to the first "@": what would read back
// as another address is said, and nothing is saved.
void TestPlayerMenu::mpdDialogKeepsNoAddressThatWouldReadBackOtherwise()
{
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(QString, password);
    QFETCH(QString, said);

    frmMpd *dialog = openMpdDialog();
    QVERIFY(dialog);
    dialog->txtMpdHost->setText(host);
    QTest::keyClicks(dialog->txtMpdPort, port); // as typed, past the box's own check
    dialog->txtMpdPassword->setText(password);
    dialog->cmdOk->click();
    QVERIFY2(dialog->lblMpdState->text().startsWith(said), qPrintable(dialog->lblMpdState->text()));
    QVERIFY(dialog->isVisible());
    QCOMPARE(kavelo_->storedSetting(Keys::mpdHost), QString());
    QCOMPARE(kavelo_->storedSetting(Keys::player), QString());
    dialog->cmdCancel->click();
}

QTEST_MAIN(TestPlayerMenu)
#include "TestPlayerMenu.moc"
