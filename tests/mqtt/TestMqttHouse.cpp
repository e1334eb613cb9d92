// SPDX-License-Identifier: GPL-3.0-or-later
// The real service on a real broker: what a hub subscribed to the broker
// sees of the keys, the commands it sends, rooms that take their keys from
// another room's receiver, and a broker that goes away and comes back.

#include "AdapterEmulator.h"
#include "MqttPeers.h"
#include "PlayerPeers.h"
#include "TestEnvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <csignal>

#include <mpd/status.h>

namespace {
// kavelod as its units start it, with a settings folder of its own: no
// display, no session bus.
class Kavelod
{
public:
    Kavelod(const TestEnvironment &env, const QString &name)
        : env_(env), folder_(env.work() + u'/' + name)
    {
        QDir().mkpath(folder_);
    }
    ~Kavelod()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(process.processId()), SIGTERM);
        if (!process.waitForFinished(5000))
            process.kill();
    }

    // The settings file, written as a user's editor would.
    bool write(const QByteArray &settings)
    {
        QFile file(folder_ + QStringLiteral("/rarozavE.ini"));
        return file.open(QIODevice::WriteOnly) && file.write(settings) == settings.size();
    }

    bool start(const QByteArray &settings)
    {
        if (!write(settings))
            return false;
        QProcessEnvironment environment = env_.processEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(name));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder_);
        environment.insert(QStringLiteral("XDG_STATE_HOME"), folder_);
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           QStringLiteral("unix:path=") + folder_ + QStringLiteral("/no-bus"));
        process.setProcessEnvironment(environment);
        QObject::connect(&process, &QProcess::readyReadStandardError, &process, [this] {
            errors += QString::fromLocal8Bit(process.readAllStandardError());
        });
        process.start(QStringLiteral(KAVELO_BINARY_DIR "/kavelod"), {});
        return process.waitForStarted() &&
               QTest::qWaitFor(
                   [this] {
                       return errors.contains(QStringLiteral("kavelo: listening on ")) ||
                              errors.contains(QStringLiteral("kavelo: taking keys from "));
                   },
                   10000);
    }
    int times(const QString &line) const { return int(errors.count(line)); }

    QProcess process;
    QString errors;

private:
    const TestEnvironment &env_;
    QString folder_;
};

QStringList playlist(MpdServer &mpd, const QString &file)
{
    QStringList songs;
    for (const QString &song : {QStringLiteral("one.wav"), QStringLiteral("two.wav")}) {
        songs << mpd.musicFolder() + u'/' + song;
        writeWav(songs.last(), 30);
    }
    QFile list(file);
    if (list.open(QIODevice::WriteOnly))
        list.write(songs.join(u'\n').toUtf8() + '\n');
    return songs;
}

QJsonObject lastJson(const QStringList &payloads)
{
    return QJsonDocument::fromJson(payloads.value(payloads.size() - 1).toUtf8()).object();
}

const QString kKey = QStringLiteral("kavelo/hall/key");
// A key pressed after the one a test looks at: once its message is in, the
// messages of the key before are all in too.
const QString kLastKey = QStringLiteral("P16 off");
} // namespace

class TestMqttHouse : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void keyMessages_data();
    void keyMessages();
    void discoveryIsAnnouncedAgainWhenTheHubIsBack();
    void commandTopicDrivesMpdButRunsNothing();
    void keysPlayWhileTheBrokerIsAwayAndMessagesResume();
    void roomsTakeKeysFromOtherReceiversOnce();
    void aWrongPasswordIsSaidOnce();
    void tlsVerifiesTheBroker_data();
    void tlsVerifiesTheBroker();
    void theLastWillSaysOfflineWhenKilled();

private:
    // The key messages of hall for what `line` typed, up to the next key.
    QStringList keyMessagesOf(AdapterEmulator &adapter, const QString &line);
    QByteArray settingsFor(const QString &node, const QString &device, MpdServer &mpd,
                           const QString &list, const QByteArray &more = {}) const;

    TestEnvironment env_;
    MqttBroker broker_;
    MqttWatch watch_{broker_};
    std::unique_ptr<MpdServer> mpd_;
    std::unique_ptr<AdapterEmulator> adapter_;
    std::unique_ptr<Kavelod> hall_;
    QString ran_;
};

QByteArray TestMqttHouse::settingsFor(const QString &node, const QString &device, MpdServer &mpd,
                                      const QString &list, const QByteArray &more) const
{
    return "[Startup]\ncomn=1\ncomDevice1=" + QFile::encodeName(device) +
           "\nplayer=mpd\nmpdHost=" + QFile::encodeName(mpd.socketPath()) +
           "\nplaylist3=" + QFile::encodeName(list) + "\nmqttNode=" + node.toUtf8() + '\n' +
           broker_.settings() + more;
}

void TestMqttHouse::initTestCase()
{
    for (const char *program : {"mosquitto", "mosquitto_sub", "mosquitto_pub", "mpd"}) {
        if (!installed(QLatin1String(program)))
            QSKIP("the broker or MPD is not installed (scripts/install-deps)");
    }
    QVERIFY2(broker_.start(), qPrintable(broker_.log()));
    QVERIFY(watch_.start());
    mpd_ = std::make_unique<MpdServer>(env_.work() + QStringLiteral("/mpd"));
    const QString list = env_.work() + QStringLiteral("/list.m3u");
    playlist(*mpd_, list);
    QVERIFY(mpd_->start());
    QVERIFY(mpd_->updateDatabase());
    adapter_ = std::make_unique<AdapterEmulator>();
    ran_ = env_.work() + QStringLiteral("/ran");
    hall_ = std::make_unique<Kavelod>(env_, QStringLiteral("hall"));
    QVERIFY2(hall_->start(settingsFor(QStringLiteral("hall"), adapter_->devicePath(), *mpd_, list,
                                      "[Keys]\nC5on=run touch " + QFile::encodeName(ran_) + '\n')),
             qPrintable(hall_->errors));
    QTRY_COMPARE(watch_.on(QStringLiteral("kavelo/hall/availability")),
                 QStringList{QStringLiteral("online")});
}

QStringList TestMqttHouse::keyMessagesOf(AdapterEmulator &adapter, const QString &line)
{
    watch_.clear();
    adapter.send(line);
    adapter.send(kLastKey);
    if (!QTest::qWaitFor(
            [this] { return lastJson(watch_.on(kKey)).value("key") == QStringLiteral("P16off"); },
            10000))
        return {QStringLiteral("no message for the last key")};
    QStringList messages = watch_.on(kKey);
    messages.removeLast();
    return messages;
}

void TestMqttHouse::keyMessages_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("a burst is one press")
        << "A3 on"
        << QStringList{
               R"({"action":"playlist3","event":"press","function":"on","house":"A","key":"A3on","unit":3})"};
    QTest::newRow("another house: nothing done")
        << "B3 on"
        << QStringList{
               R"({"action":null,"event":"press","function":"on","house":"B","key":"B3on","unit":3})"};
    QTest::newRow("a long hold")
        << "hold 1500ms A bright"
        << QStringList{
               R"({"action":"volumeup","event":"press","function":"bright","house":"A","key":"Abright","unit":null})",
               R"({"action":"volumeup","event":"hold","function":"bright","house":"A","key":"Abright","unit":null})"};
}

void TestMqttHouse::keyMessages()
{
    QFETCH(QString, line);
    QFETCH(QStringList, messages);
    QCOMPARE(keyMessagesOf(*adapter_, line), messages);
}

// A device trigger for the press and the hold of each key heard, an event
// entity for each house code heard, as the hub's schema has them; and all of
// it once more when the hub says it is back.
void TestMqttHouse::discoveryIsAnnouncedAgainWhenTheHubIsBack()
{
    // Retained: a hub that subscribes now gets them.
    MqttWatch hub(broker_);
    QVERIFY(hub.start());
    const QString triggers = QStringLiteral("homeassistant/device_automation/kavelo_hall/");
    const QJsonObject press = lastJson(hub.on(triggers + "A3on_press/config"));
    QCOMPARE(press.value("automation_type"), QStringLiteral("trigger"));
    QCOMPARE(press.value("topic"), kKey);
    QCOMPARE(press.value("type"), QStringLiteral("button_short_press"));
    QCOMPARE(press.value("subtype"), QStringLiteral("A3on"));
    QCOMPARE(press.value("payload"), QStringLiteral("A3on press"));
    QCOMPARE(press.value("value_template"),
             QStringLiteral("{{ value_json.key }} {{ value_json.event }}"));
    const QJsonObject device = press.value("device").toObject();
    QCOMPARE(device.value("name"), QStringLiteral("Kavelo hall"));
    QCOMPARE(device.value("identifiers"), QJsonArray{QStringLiteral("kavelo_hall")});
    const QJsonObject hold = lastJson(hub.on(triggers + "A3on_hold/config"));
    QCOMPARE(hold.value("type"), QStringLiteral("button_long_press"));
    QCOMPARE(hold.value("payload"), QStringLiteral("A3on hold"));

    const QJsonObject house =
        lastJson(hub.on(QStringLiteral("homeassistant/event/kavelo_hall/house_a/config")));
    QCOMPARE(house.value("state_topic"), kKey);
    QCOMPARE(house.value("availability_topic"), QStringLiteral("kavelo/hall/availability"));
    QCOMPARE(house.value("unique_id"), QStringLiteral("kavelo_hall_house_a"));
    const QJsonArray types = house.value("event_types").toArray();
    QCOMPARE(types.size(), 2 * (32 + 4));
    QVERIFY(types.contains(QStringLiteral("A3on_press")));
    QVERIFY(types.contains(QStringLiteral("Abright_hold")));
    QCOMPARE(house.value("device").toObject(), device);

    watch_.clear();
    QVERIFY(broker_.publish(QStringLiteral("homeassistant/status"), "online"));
    QStringList expected;
    for (const char *key : {"A3on", "B3on", "Abright", "P16off"}) {
        expected << triggers + QLatin1String(key) + "_press/config"
                 << triggers + QLatin1String(key) + "_hold/config";
    }
    for (const char *letter : {"a", "b", "p"})
        expected << "homeassistant/event/kavelo_hall/house_" + QLatin1String(letter) + "/config";
    expected.sort();
    const auto announced = [this] {
        QStringList topics;
        for (const QString &line : watch_.lines()) {
            if (line.startsWith(QLatin1String("homeassistant/")) &&
                !line.startsWith("homeassistant/status"))
                topics << line.section(u' ', 0, 0);
        }
        topics.sort();
        return topics;
    };
    QTRY_COMPARE(announced(), expected);
}

// An action name or a key name acts as the remote would; a key bound to a
// program, or a payload that is no text, is refused and said once.
void TestMqttHouse::commandTopicDrivesMpdButRunsNothing()
{
    const QString command = QStringLiteral("kavelo/hall/command");
    QVERIFY(mpd_->reset());
    QVERIFY(broker_.publish(command, "A3on"));
    QTRY_COMPARE(mpd_->queue().size(), 2);
    QTRY_COMPARE(mpd_->state(), MPD_STATE_PLAY);
    QVERIFY(broker_.publish(command, "next\n"));
    QTRY_COMPARE(mpd_->status(mpd_status_get_song_pos, -1), 1);

    for (int i = 0; i < 2; ++i) {
        QVERIFY(broker_.publish(command, "C5on"));
        QVERIFY(broker_.publish(command, "\xff\xfe"));
    }
    QVERIFY(broker_.publish(command, "previous"));
    QTRY_COMPARE(mpd_->status(mpd_status_get_song_pos, -1), 0);
    QCOMPARE(hall_->times(QStringLiteral(
                 "kavelo.keys: command refused: C5on runs a program, which a command from "
                 "outside may not do\n")),
             1);
    QCOMPARE(hall_->times(QStringLiteral("kavelo.mqtt: refused a command on ") + command), 1);
    QVERIFY(!QFile::exists(ran_));
}

// The broker killed: keys still drive MPD. Back on the same port: the
// service is online again and its messages resume.
void TestMqttHouse::keysPlayWhileTheBrokerIsAwayAndMessagesResume()
{
    watch_.stop();
    broker_.kill();
    QTRY_VERIFY(hall_->errors.contains(QStringLiteral("kavelo.mqtt: lost the broker 127.0.0.1:")));
    const int volume = mpd_->volume();
    adapter_->send(QStringLiteral("A dim"));
    QTRY_VERIFY(mpd_->volume() < volume);

    QVERIFY2(broker_.start(), qPrintable(broker_.log()));
    // The press made while the broker was away reaches it once it is back.
    QTRY_COMPARE_WITH_TIMEOUT(broker_.log().count(QStringLiteral("'kavelo/hall/key'")), 1, 15000);
    QVERIFY(watch_.start());
    QVERIFY(watch_.on(QStringLiteral("kavelo/hall/availability")).contains("online"));
    QCOMPARE(
        keyMessagesOf(*adapter_, QStringLiteral("A4 off")),
        QStringList{
            R"({"action":"next","event":"press","function":"off","house":"A","key":"A4off","unit":4})"});
    QCOMPARE(hall_->times(QStringLiteral("kavelo.mqtt: lost the broker")), 1);
}

// A room without a receiver drives its own MPD from hall's and den's
// receivers, and a press that both heard counts once.
void TestMqttHouse::roomsTakeKeysFromOtherReceiversOnce()
{
    MpdServer mpd(env_.work() + QStringLiteral("/room-mpd"));
    const QString list = env_.work() + QStringLiteral("/room.m3u");
    playlist(mpd, list);
    QVERIFY(mpd.start());
    QVERIFY(mpd.updateDatabase());
    Kavelod room(env_, QStringLiteral("room"));
    QVERIFY2(room.start(settingsFor(QStringLiteral("room"), QString(), mpd, list,
                                    "keysFrom=mqtt:hall,den\n")),
             qPrintable(room.errors));
    QVERIFY(room.errors.contains(
        QStringLiteral("kavelo: taking keys from the receivers of hall, den through the broker")));
    AdapterEmulator denAdapter;
    Kavelod den(env_, QStringLiteral("den"));
    QVERIFY2(den.start(settingsFor(QStringLiteral("den"), denAdapter.devicePath(), *mpd_, list)),
             qPrintable(den.errors));
    QTRY_VERIFY(watch_.on(QStringLiteral("kavelo/room/availability")).contains("online"));

    const QString roomKey = QStringLiteral("kavelo/room/key");
    const auto lastKeyIn = [&] {
        return QTest::qWaitFor(
            [&] { return lastJson(watch_.on(roomKey)).value("key") == QStringLiteral("P16off"); },
            10000);
    };
    // Each burst is five frames; the bursts of one adapter follow each other.
    const auto burstsSent = [](AdapterEmulator &adapter, int before, int bursts) {
        return adapter.waitForSent(before + 5 * bursts, 10000);
    };
    int hallSent = int(adapter_->sent().size());
    adapter_->send(QStringLiteral("A3 on"));
    adapter_->send(kLastKey);
    QTRY_COMPARE(mpd.queue().size(), 2);
    QVERIFY(burstsSent(*adapter_, hallSent, 2));
    QVERIFY(lastKeyIn());
    // The emulator keeps 300 ms of silence after a key before the next one,
    // and says nothing when they are over: both receivers hear the next press
    // at once only after them.
    QTest::qWait(400);

    room.errors.clear();
    watch_.clear();
    hallSent = int(adapter_->sent().size());
    const int denSent = int(denAdapter.sent().size());
    adapter_->send(QStringLiteral("A dim"));
    denAdapter.send(QStringLiteral("A dim"));
    adapter_->send(kLastKey);
    QVERIFY(burstsSent(*adapter_, hallSent, 2));
    QVERIFY(burstsSent(denAdapter, denSent, 1));
    QVERIFY(lastKeyIn());
    // Both receivers' frames went out, and made one press.
    QCOMPARE(watch_.on(QStringLiteral("kavelo/den/frame")).size(), 5);
    QVERIFY(room.times(QStringLiteral("kavelo: frame A1 dim (accepted)")) >= 5);
    QCOMPARE(watch_.on(roomKey).filter(QStringLiteral("\"Adim\"")).size(), 1);

    // Stopped, it says goodbye itself: "offline", then a clean disconnect.
    ::kill(pid_t(room.process.processId()), SIGTERM);
    QTRY_VERIFY(watch_.on(QStringLiteral("kavelo/room/availability")).contains("offline"));
    QVERIFY(broker_.log().contains(QStringLiteral("Received DISCONNECT from kavelo-room-")));
}

// The line a user needs, once, whatever the retries; the password is never
// in it. A change of the file connects again, with the new password.
void TestMqttHouse::aWrongPasswordIsSaidOnce()
{
    Kavelod intruder(env_, QStringLiteral("intruder"));
    QVERIFY(intruder.start("[Startup]\nkeysFrom=mqtt:hall\nmqttNode=intruder\n" +
                           broker_.settings() + "mqttPassword=not-the-password\n"));
    const QString refused = QStringLiteral("kavelo.mqtt: the broker 127.0.0.1:%1 refused the user "
                                           "name or password\n")
                                .arg(broker_.port());
    QTRY_COMPARE(intruder.times(refused), 1);
    // Two tries more, with 1 s and 2 s between them.
    QTRY_VERIFY_WITH_TIMEOUT(broker_.log().count(QStringLiteral("not authorised")) >= 3, 10000);
    QCOMPARE(intruder.times(refused), 1);
    QVERIFY(!intruder.errors.contains(QStringLiteral("not-the-password")));

    // The password put right in the file: it connects with it.
    QVERIFY(
        intruder.write("[Startup]\nkeysFrom=mqtt:hall\nmqttNode=intruder\n" + broker_.settings()));
    QTRY_VERIFY(watch_.on(QStringLiteral("kavelo/intruder/availability")).contains("online"));
}

void TestMqttHouse::tlsVerifiesTheBroker_data()
{
    QTest::addColumn<QString>("certifiedHost");
    QTest::addColumn<bool>("ownCa"); // else a CA that did not sign the broker's certificate
    QTest::addColumn<bool>("connects");
    QTest::newRow("the CA and the host name") << "localhost" << true << true;
    QTest::newRow("another host's certificate") << "elsewhere.example" << true << false;
    QTest::newRow("another CA") << "localhost" << false << false;
}

void TestMqttHouse::tlsVerifiesTheBroker()
{
    QFETCH(QString, certifiedHost);
    QFETCH(bool, ownCa);
    QFETCH(bool, connects);
    if (!installed(QStringLiteral("openssl")))
        QSKIP("openssl makes the certificates");
    MqttBroker broker;
    QVERIFY2(broker.start(certifiedHost), qPrintable(broker.log()));
    QString caFile = broker.caFile();
    if (!ownCa) {
        QVERIFY(broker.makeCertificate(QStringLiteral("other"), QStringLiteral("Other CA"), {}));
        caFile = QFileInfo(caFile).dir().filePath(QStringLiteral("other.crt"));
    }
    Kavelod secure(env_, QStringLiteral("secure"));
    QVERIFY(secure.start(QStringLiteral("[Startup]\nkeysFrom=mqtt:hall\nmqttNode=secure\n"
                                        "mqttHost=localhost\nmqttPort=%1\nmqttUser=%2\n"
                                        "mqttPassword=%3\nmqttCaFile=%4\n")
                             .arg(broker.port())
                             .arg(MqttBroker::user, MqttBroker::password, caFile)
                             .toUtf8()));
    if (connects) {
        QTRY_VERIFY(broker.log().contains(QStringLiteral("'kavelo/secure/availability'")));
    } else {
        QTRY_VERIFY(secure.errors.contains(
            QStringLiteral("kavelo.mqtt: cannot reach the broker localhost:%1: ")
                .arg(broker.port())));
        QVERIFY(!broker.log().contains(QStringLiteral("New client connected")));
    }
}

void TestMqttHouse::theLastWillSaysOfflineWhenKilled()
{
    watch_.clear();
    hall_->process.kill();
    QVERIFY(hall_->process.waitForFinished(5000));
    QTRY_COMPARE(watch_.on(QStringLiteral("kavelo/hall/availability")),
                 QStringList{QStringLiteral("offline")});
}

QTEST_GUILESS_MAIN(TestMqttHouse)
#include "TestMqttHouse.moc"
