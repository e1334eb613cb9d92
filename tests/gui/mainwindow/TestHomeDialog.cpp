// SPDX-License-Identifier: GPL-3.0-or-later
// Options > "Home automation…", driven through the real main window: the
// dialog saves the broker's keys to the settings file and asks a real
// mosquitto, which lets in one user with one password, whether it takes them.

#include "E2eWindow.h"
#include "FieldNames.h"
#include "MosquittoBroker.h"
#include "PlayerPeers.h"
#include "TestEnvironment.h"

#include "gui/mainwindow/frmHome.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <csignal>

namespace {
const QString user = QStringLiteral("kavelo");
const QString password = QStringLiteral("s3cret pass");
} // namespace

class TestHomeDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void brokerIsAsked_data();
    void brokerIsAsked();
    void anEmptyHostTurnsItOff();
    void keepsNothingThatCannotBeUsed_data();
    void keepsNothingThatCannotBeUsed();
    void fieldsAnswerToTheirNames_data();
    void fieldsAnswerToTheirNames();

private:
    // Null while the one closed before is still there.
    frmHome *openDialog()
    {
        if (!QTest::qWaitFor([this] { return !kavelo_->window().findChild<frmHome *>(); }))
            return nullptr;
        kavelo_->window().mnuHome->trigger();
        return kavelo_->window().findChild<frmHome *>();
    }

    TestEnvironment env_;
    QTemporaryDir root_;
    std::unique_ptr<MosquittoBroker> broker_;
    std::unique_ptr<E2eWindow> kavelo_;
};

void TestHomeDialog::initTestCase()
{
    QVERIFY(root_.isValid());
    broker_ = std::make_unique<MosquittoBroker>(root_.filePath(QStringLiteral("broker")), user,
                                                password, MosquittoBroker::Tls::On);
    QVERIFY2(broker_->start(), qPrintable(broker_->log()));
}

void TestHomeDialog::init()
{
    env_.clearSettings();
    kavelo_ = std::make_unique<E2eWindow>();
    // No player is asked for here.
    kavelo_->store().setValue(Keys::player, PlayerKinds::mpd);
    kavelo_->store().setValue(Keys::mpdHost, root_.filePath(QStringLiteral("no-mpd")));
    QVERIFY(kavelo_->start());
}

void TestHomeDialog::cleanup()
{
    kavelo_.reset();
    signalProcess(broker_->process(), SIGCONT);
}

void TestHomeDialog::brokerIsAsked_data()
{
    QTest::addColumn<QString>("typedUser");
    QTest::addColumn<QString>("typedPassword");
    QTest::addColumn<QString>("brokerIs"); // "up", "frozen" or "gone"
    QTest::addColumn<QString>("ca");       // "" for no TLS, "right", "other" or "missing"
    QTest::addColumn<QString>("said");     // "" when the dialog closes

    const auto row = [](const char *name, const QString &typedUser, const QString &typedPassword,
                        const char *brokerIs, const char *ca, const char *said) {
        QTest::newRow(name) << typedUser << typedPassword << QString::fromUtf8(brokerIs)
                            << QString::fromUtf8(ca) << QString::fromUtf8(said);
    };
    const char *refused = "The broker refused the user name or password.";

    row("the right password", user, password, "up", "", "");
    row("a wrong password", user, "secret", "up", "", refused);
    row("no password", user, "", "up", "", refused);
    row("an unknown user", "nobody", password, "up", "", refused);
    row("no broker on the port", user, password, "gone", "",
        "The broker cannot be reached: Connection refused.");
    row("a broker that does not answer", user, password, "frozen", "",
        "The broker cannot be reached: no answer within 2000 ms.");
    row("TLS, the broker's CA", user, password, "up", "right", "");
    row("TLS, a wrong password over it", user, "secret", "up", "right", refused);
    row("TLS, a CA that did not sign the broker", user, password, "up", "other",
        "The broker cannot be reached: A TLS error occurred (certificate verify failed).");
    row("TLS, no CA file there", user, password, "up", "missing",
        "The broker cannot be reached: the CA file");
}

// The dialog saves what the user typed and says at once what the broker
// answered, without the window waiting for it; the settings stay saved when
// the broker does not take them.
void TestHomeDialog::brokerIsAsked()
{
    QFETCH(QString, typedUser);
    QFETCH(QString, typedPassword);
    QFETCH(QString, brokerIs);
    QFETCH(QString, ca);
    QFETCH(QString, said);

    const quint16 port = brokerIs == QLatin1String("gone") ? freeLoopbackPort()
                         : ca.isEmpty()                    ? broker_->port()
                                                           : broker_->tlsPort();
    const QString caFile = ca == QLatin1String("right")   ? broker_->caFile()
                           : ca == QLatin1String("other") ? broker_->otherCaFile()
                           : ca.isEmpty()                 ? QString()
                                          : root_.filePath(QStringLiteral("no-ca.pem"));
    frmHome *dialog = openDialog();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    dialog->txtMqttHost->setText(QStringLiteral("127.0.0.1"));
    dialog->txtMqttPort->setText(QString::number(port));
    dialog->txtMqttUser->setText(typedUser);
    dialog->txtMqttPassword->setText(typedPassword);
    dialog->txtMqttCaFile->setText(caFile);
    dialog->txtMqttNode->setText(QStringLiteral("kitchen"));
    if (brokerIs == QLatin1String("frozen"))
        signalProcess(broker_->process(), SIGSTOP);
    QSignalSpy answered(dialog, &frmHome::answered);
    StallMeter meter;
    dialog->cmdOk->click();
    // A quick answer may come before the click has returned.
    const bool gotAnswer = QTest::qWaitFor([&] { return !answered.isEmpty(); }, 5000);
    const qint64 stall = meter.longestMs();
    signalProcess(broker_->process(), SIGCONT);

    QVERIFY(gotAnswer);
    QCOMPARE(answered.constFirst().constFirst().toBool(), said.isEmpty());
    QVERIFY2(stall < 250, qPrintable(QStringLiteral("the window stood still %1 ms").arg(stall)));
    QCOMPARE(kavelo_->storedSetting(Keys::mqttHost), QStringLiteral("127.0.0.1"));
    QCOMPARE(kavelo_->storedSetting(Keys::mqttPort), QString::number(port));
    QCOMPARE(kavelo_->storedSetting(Keys::mqttUser), typedUser);
    QCOMPARE(kavelo_->storedSetting(Keys::mqttPassword), typedPassword);
    QCOMPARE(kavelo_->storedSetting(Keys::mqttCaFile), caFile);
    QCOMPARE(kavelo_->storedSetting(Keys::mqttNode), QStringLiteral("kitchen"));
    QCOMPARE(kavelo_->store().broker().discovery, QStringLiteral("homeassistant"));
    if (said.isEmpty()) {
        QTRY_VERIFY(!kavelo_->window().findChild<frmHome *>());
        return;
    }
    QVERIFY(dialog->isVisible());
    QVERIFY2(dialog->lblMqttState->text().startsWith(said),
             qPrintable(dialog->lblMqttState->text()));
    QCOMPARE(dialog->cmdCancel->text(), QStringLiteral("Close"));
    dialog->cmdCancel->click();

    // Opened again, it shows what was saved.
    dialog = openDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->txtMqttHost->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(dialog->txtMqttPort->text(), QString::number(port));
    QCOMPARE(dialog->txtMqttUser->text(), typedUser);
    QCOMPARE(dialog->txtMqttPassword->text(), typedPassword);
    QCOMPARE(dialog->txtMqttNode->text(), QStringLiteral("kitchen"));
    dialog->cmdCancel->click();
}

// No broker, no question: the dialog closes at once and MQTT is off.
void TestHomeDialog::anEmptyHostTurnsItOff()
{
    kavelo_->store().setValue(Keys::mqttHost, QStringLiteral("127.0.0.1"));
    frmHome *dialog = openDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->txtMqttHost->text(), QStringLiteral("127.0.0.1"));
    QSignalSpy answered(dialog, &frmHome::answered);
    dialog->txtMqttHost->clear();
    dialog->cmdOk->click();
    QTRY_VERIFY(!kavelo_->window().findChild<frmHome *>());
    QCOMPARE(kavelo_->storedSetting(Keys::mqttHost), QString());
    QVERIFY(kavelo_->store().broker().host.isEmpty());
    QCOMPARE(answered.count(), 0);
}

void TestHomeDialog::keepsNothingThatCannotBeUsed_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("said");

    const QString wildcards = QStringLiteral("The node name and the prefixes cannot hold");
    QTest::newRow("a port beyond 65535") << "txtMqttPort"
                                         << "65536"
                                         << "The port is a number up to 65535";
    QTest::newRow("a node of two levels") << "txtMqttNode"
                                          << "house/kitchen" << wildcards;
    QTest::newRow("a wildcard in the prefix") << "txtMqttPrefix"
                                              << "kavelo/#" << wildcards;
    QTest::newRow("a wildcard in the discovery prefix") << "txtMqttDiscovery"
                                                        << "home+assistant" << wildcards;
}

// What would make topics that cannot be used is said, and nothing is saved.
void TestHomeDialog::keepsNothingThatCannotBeUsed()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, said);

    frmHome *dialog = openDialog();
    QVERIFY(dialog);
    dialog->txtMqttHost->setText(QStringLiteral("127.0.0.1"));
    auto *line = dialog->findChild<QLineEdit *>(field);
    QVERIFY(line);
    line->clear();
    QTest::keyClicks(line, typed); // as typed, past the box's own check
    dialog->cmdOk->click();
    QVERIFY2(dialog->lblMqttState->text().startsWith(said),
             qPrintable(dialog->lblMqttState->text()));
    QVERIFY(dialog->isVisible());
    QCOMPARE(kavelo_->storedSetting(Keys::mqttHost), QString());
    dialog->cmdCancel->click();
}

void TestHomeDialog::fieldsAnswerToTheirNames_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("key"); // with Alt; 0 for none
    QTest::addColumn<QString>("name");

    QTest::newRow("host") << "txtMqttHost" << int(Qt::Key_B) << "Broker's host";
    QTest::newRow("port") << "txtMqttPort" << int(Qt::Key_P) << "Port";
    QTest::newRow("user") << "txtMqttUser" << int(Qt::Key_U) << "User name";
    QTest::newRow("password") << "txtMqttPassword" << int(Qt::Key_W) << "Password";
    QTest::newRow("CA file") << "txtMqttCaFile" << int(Qt::Key_C) << "CA file for TLS";
    QTest::newRow("CA file chooser") << "cmdMqttCaFile" << 0 << "Choose the CA file";
    QTest::newRow("node") << "txtMqttNode" << int(Qt::Key_N) << "This machine's node name";
    QTest::newRow("prefix") << "txtMqttPrefix" << int(Qt::Key_T) << "Topic prefix";
    QTest::newRow("discovery") << "txtMqttDiscovery" << int(Qt::Key_D) << "Discovery prefix";
}

// Each field is named for a screen reader, and its label's Alt key goes to it
// rather than typing into the field that has the focus.
void TestHomeDialog::fieldsAnswerToTheirNames()
{
    QFETCH(QString, field);
    QFETCH(int, key);
    QFETCH(QString, name);

    frmHome *dialog = openDialog();
    QVERIFY(dialog);
    checkFieldAnswersToItsName(dialog, field, key, name, dialog->txtMqttHost, dialog->txtMqttPort);
    dialog->cmdCancel->click();
}

QTEST_MAIN(TestHomeDialog)
#include "TestHomeDialog.moc"
