// SPDX-License-Identifier: GPL-3.0-or-later
// The payloads that come in from the broker, each taken or refused.

#include "mqtt/MqttMessages.h"

#include <QtTest>

class TestMqttMessages : public QObject
{
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void frames_data();
    void frames();
    void keyMessagesOfEveryKind_data();
    void keyMessagesOfEveryKind();
};

void TestMqttMessages::commands_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QString>("command"); // "" when refused
    QTest::newRow("action") << QByteArray("next") << "next";
    QTest::newRow("line end and blanks") << QByteArray(" \tA4off\r\n") << "A4off";
    QTest::newRow("64 bytes") << QByteArray(64, 'x') << QString(64, u'x');
    QTest::newRow("65 bytes") << QByteArray(65, 'x') << "";
    QTest::newRow("empty") << QByteArray() << "";
    QTest::newRow("blanks only") << QByteArray(" \n") << "";
    QTest::newRow("not UTF-8") << QByteArray("ne\xffxt") << "";
    QTest::newRow("cut in a character") << QByteArray("next\xc3") << "";
    QTest::newRow("NUL inside") << QByteArray("next\0rm", 7) << "";
    QTest::newRow("escape inside") << QByteArray("ne\x1bxt") << "";
    QTest::newRow("UTF-8 text") << QByteArray("lecture \xc3\xa9t\xc3\xa9") << "lecture été";
}

void TestMqttMessages::commands()
{
    QFETCH(QByteArray, payload);
    QFETCH(QString, command);
    QCOMPARE(Mqtt::commandFromPayload(payload).value_or(QString()), command);
}

void TestMqttMessages::frames_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("frame"); // empty when ignored
    QTest::newRow("lower case") << QByteArray("0203") << QByteArray("\x02\x03");
    QTest::newRow("upper case") << QByteArray("FFA0") << QByteArray("\xff\xa0");
    QTest::newRow("three digits") << QByteArray("020") << QByteArray();
    QTest::newRow("five digits") << QByteArray("02030") << QByteArray();
    QTest::newRow("not hex") << QByteArray("02g3") << QByteArray();
    QTest::newRow("blank inside") << QByteArray("02 3") << QByteArray();
    QTest::newRow("raw bytes") << QByteArray("\x02\x03", 2) << QByteArray();
}

void TestMqttMessages::frames()
{
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, frame);
    QCOMPARE(Mqtt::frameFromPayload(payload).value_or(QByteArray()), frame);
    if (!frame.isEmpty())
        QCOMPARE(Mqtt::frameFromPayload(Mqtt::framePayload(frame)), frame);
}

void TestMqttMessages::keyMessagesOfEveryKind_data()
{
    QTest::addColumn<X10Key>("key");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("unit 16 off")
        << X10Key{15, 15, X10Function::Off}
        << QByteArray(
               R"({"action":null,"event":"press","function":"off","house":"P","key":"P16off","unit":16})");
    QTest::newRow("dim")
        << X10Key{2, 0, X10Function::Dim}
        << QByteArray(
               R"({"action":null,"event":"press","function":"dim","house":"C","key":"Cdim","unit":null})");
    QTest::newRow("all on")
        << X10Key{0, 0, X10Function::AllOn}
        << QByteArray(
               R"({"action":null,"event":"press","function":"allon","house":"A","key":"Aallon","unit":null})");
}

void TestMqttMessages::keyMessagesOfEveryKind()
{
    QFETCH(X10Key, key);
    QFETCH(QByteArray, message);
    QCOMPARE(Mqtt::keyMessage({key, HouseLink::Event::Press, QString()}), message);
}

QTEST_GUILESS_MAIN(TestMqttMessages)
#include "TestMqttMessages.moc"
