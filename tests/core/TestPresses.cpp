// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Presses.h"

#include <QTest>

using Kind = Presses::Frame::Kind;

class TestPresses : public QObject
{
    Q_OBJECT

private slots:
    void frames_data();
    void frames();
};

namespace {
struct Heard
{
    const char *frame; // two bytes
    qint64 atMs;
};

// A burst of `count` copies of `frame`, `intervalMs` apart from `startMs`.
QList<Heard> burst(const char *frame, qint64 startMs, int count, qint64 intervalMs)
{
    QList<Heard> frames;
    for (int i = 0; i < count; ++i)
        frames << Heard{frame, startMs + i * intervalMs};
    return frames;
}

QString kinds(const QList<Heard> &frames)
{
    Presses presses;
    QString seen;
    for (const Heard &heard : frames) {
        switch (presses.feed(QByteArray(heard.frame, 2), heard.atMs).kind) {
        case Kind::Press:
            seen += u'P';
            break;
        case Kind::Repeat:
            seen += u'r';
            break;
        case Kind::Stuck:
            seen += u'S';
            break;
        case Kind::Flood:
            seen += u'-';
            break;
        }
    }
    return seen;
}
} // namespace

void TestPresses::frames_data()
{
    QTest::addColumn<QString>("seen");
    QTest::addColumn<QString>("expected");

    const char *next = "\x03\x03";
    const char *previous = "\x03\x02";
    QTest::newRow("a tap") << kinds(burst(next, 0, 5, 90)) << "Prrrr";
    QTest::newRow("slow repeats") << kinds(burst(next, 0, 5, 120)) << "Prrrr";
    QTest::newRow("one copy missed")
        << kinds({{next, 0}, {next, 90}, {next, 270}, {next, 360}}) << "Prrr";
    QTest::newRow("two taps, 0.6 s of silence between")
        << kinds(burst(next, 0, 5, 90) + burst(next, 960, 5, 90)) << "PrrrrPrrrr";
    QTest::newRow("two taps, 0.6 s from press to press")
        << kinds(burst(next, 0, 5, 90) + burst(next, 600, 5, 90)) << "PrrrrPrrrr";
    QTest::newRow("silence of the gap") << kinds({{next, 0}, {next, 200}}) << "PP";
    QTest::newRow("another key ends the press")
        << kinds(burst(next, 0, 3, 90) + burst(previous, 270, 3, 90) + burst(next, 540, 2, 90))
        << "PrrPrrPr";
    QTest::newRow("only the first two bytes count")
        << kinds({{"\x03\x03", 0}, {"\x03\x03", 90}}) << "Pr";
    // 10.1 s of repeats: stuck once, then nothing until released.
    QTest::newRow("stuck key") << kinds(burst(next, 0, 104, 100)).right(5) << "rrS--";
    QTest::newRow("released after stuck")
        << kinds(burst(next, 0, 104, 100) + burst(next, 10600, 2, 100)).right(4) << "--Pr";
}

void TestPresses::frames()
{
    QFETCH(QString, seen);
    QFETCH(QString, expected);
    QCOMPARE(seen, expected);
}

QTEST_APPLESS_MAIN(TestPresses)
#include "TestPresses.moc"
