// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecordingSettingsStore.h"

#include "core/FrameDecoder.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"

#include <QTest>

using Verdict = DecodedFrame::Verdict;
Q_DECLARE_METATYPE(Verdict)

constexpr int kNoCommand = -1;

static int commandOf(const DecodedFrame &frame)
{
    return frame.command ? int(*frame.command) : kNoCommand;
}

static QByteArray bytes(int first, int second)
{
    return QByteArray(1, char(first)) + char(second);
}

class TestFrameDecoder : public QObject
{
    Q_OBJECT

private slots:
    void frames_data();
    void frames();
    void houseLetters_data();
    void houseLetters();
    void unitsAndBanks_data();
    void unitsAndBanks();
    void droppedFramesReadNothing_data();
    void droppedFramesReadNothing();
};

// The units of both banks stand in unitsAndBanks, the houses in houseLetters.
void TestFrameDecoder::frames_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QString>("bankb");
    QTest::addColumn<Verdict>("verdict");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("command");

    const QString low = QStringLiteral("True");
    const QString high = QStringLiteral("False");
    QTest::newRow("bright, halves not compared, any bank")
        << bytes(0x05, 0x7F) << low << Verdict::Accepted << "A 16 brt" << 16;
    QTest::newRow("dim, any bank")
        << bytes(0x04, 0x00) << high << Verdict::Accepted << "A1 dim" << 17;
    QTest::newRow("dim, other house in byte 2")
        << bytes(0x04, 0xF9) << low << Verdict::Accepted << "A 10 dim" << 17;
    QTest::newRow("bright for another house")
        << bytes(0x15, 0x00) << low << Verdict::Rejected << "B1 brt" << kNoCommand;
    QTest::newRow("all off") << bytes(0x00, 0x00) << low << Verdict::Accepted << "A1 all off"
                             << kNoCommand;
    QTest::newRow("all on, outside the bank")
        << bytes(0x01, 0x08) << low << Verdict::Rejected << "A9 all on" << kNoCommand;
    QTest::newRow("bank missing reads as 1-8")
        << bytes(0x03, 0x0A) << QString() << Verdict::Rejected << "A 11 off" << kNoCommand;
    QTest::newRow("bank as the number 0")
        << bytes(0x02, 0x09) << "0" << Verdict::Accepted << "A 10 on" << 1;
    QTest::newRow("bank unreadable reads as 1-8")
        << bytes(0x02, 0x00) << "sideways" << Verdict::Accepted << "A1 on" << 0;
    QTest::newRow("only the first two bytes count")
        << QByteArray("\x02\x02\x13\x03", 4) << low << Verdict::Accepted << "A3 on" << 2;
}

void TestFrameDecoder::frames()
{
    QFETCH(QByteArray, received);
    QFETCH(QString, bankb);
    QFETCH(Verdict, verdict);
    QFETCH(QString, text);
    QFETCH(int, command);

    MemorySettingsStore store;
    if (!bankb.isNull())
        store.setValue(Keys::bankb, bankb);
    const SettingsModel settings(store);
    bool optLower = true;
    const DecodedFrame frame = decodeFrame(received, QStringLiteral("A"), settings, optLower);
    QCOMPARE(frame.verdict, verdict);
    QCOMPARE(frame.text, text);
    QCOMPARE(commandOf(frame), command);
}

void TestFrameDecoder::houseLetters_data()
{
    QTest::addColumn<int>("house");
    QTest::addColumn<QString>("letter");
    for (int house = 0; house < 16; ++house) {
        const QString letter(QChar(u'A' + house));
        QTest::newRow(qPrintable(letter)) << house << letter;
    }
}

void TestFrameDecoder::houseLetters()
{
    QFETCH(int, house);
    QFETCH(QString, letter);
    MemorySettingsStore store;
    const SettingsModel settings(store);
    bool optLower = true;
    const QByteArray received = bytes(house << 4 | 0x02, house << 4 | 0x01);

    const DecodedFrame own = decodeFrame(received, letter, settings, optLower);
    QCOMPARE(own.verdict, Verdict::Accepted);
    QCOMPARE(own.text, letter + QStringLiteral("2 on"));
    QCOMPARE(commandOf(own), 1);

    const QString other(QChar(u'A' + (house + 1) % 16));
    const DecodedFrame foreign = decodeFrame(received, other, settings, optLower);
    QCOMPARE(foreign.verdict, Verdict::Rejected);
    QCOMPARE(foreign.text, own.text);
    QCOMPARE(commandOf(foreign), kNoCommand);

    const DecodedFrame lowerCase = decodeFrame(received, letter.toLower(), settings, optLower);
    QCOMPARE(lowerCase.verdict, Verdict::Rejected);
}

void TestFrameDecoder::unitsAndBanks_data()
{
    QTest::addColumn<int>("unitIndex");
    QTest::addColumn<QString>("unitText");
    for (int index = 0; index < 16; ++index) {
        const int unit = index + 1;
        const QString text =
            unit < 10 ? QString::number(unit) : QStringLiteral(" ") + QString::number(unit);
        QTest::addRow("unit %d", unit) << index << text;
    }
}

void TestFrameDecoder::unitsAndBanks()
{
    QFETCH(int, unitIndex);
    QFETCH(QString, unitText);
    const bool inLowerBank = unitIndex < 8;
    MemorySettingsStore store;
    SettingsModel settings(store);

    // The bank changes between frames, as the setup window changes it, and
    // the very next frame is judged by it.
    for (const bool lower : {true, false}) {
        settings.setValue(Keys::bankb, booleanText(lower));
        bool optLower = !lower;
        const DecodedFrame on =
            decodeFrame(bytes(0x02, unitIndex), QStringLiteral("A"), settings, optLower);
        const DecodedFrame off =
            decodeFrame(bytes(0x03, unitIndex), QStringLiteral("A"), settings, optLower);
        QCOMPARE(optLower, lower);
        QCOMPARE(on.text, QStringLiteral("A") + unitText + QStringLiteral(" on"));
        QCOMPARE(off.text, QStringLiteral("A") + unitText + QStringLiteral(" off"));
        if (lower == inLowerBank) {
            QCOMPARE(on.verdict, Verdict::Accepted);
            QCOMPARE(commandOf(on), unitIndex % 8);
            QCOMPARE(commandOf(off), unitIndex % 8 + 8);
        } else {
            QCOMPARE(on.verdict, Verdict::Rejected);
            QCOMPARE(off.verdict, Verdict::Rejected);
        }
    }
}

void TestFrameDecoder::droppedFramesReadNothing_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::newRow("nothing") << QByteArray();
    QTest::newRow("one byte") << QByteArray(1, char(0x02));
    QTest::newRow("halves differ") << bytes(0x02, 0x10);
    for (int function = 6; function <= 15; ++function)
        QTest::addRow("function %d undefined", function) << bytes(function, 0x00);
}

void TestFrameDecoder::droppedFramesReadNothing()
{
    QFETCH(QByteArray, received);
    RecordingSettingsStore store;
    store.setValue(Keys::bankb, QStringLiteral("False"));
    store.accesses.clear();
    const SettingsModel settings(store);
    bool optLower = true;
    const DecodedFrame frame = decodeFrame(received, QStringLiteral("A"), settings, optLower);
    QCOMPARE(frame.verdict, Verdict::Dropped);
    QVERIFY(frame.text.isEmpty());
    QVERIFY(!frame.command);
    QCOMPARE(store.accesses, QStringList());
    QCOMPARE(optLower, true);
}

QTEST_GUILESS_MAIN(TestFrameDecoder)
#include "TestFrameDecoder.moc"
