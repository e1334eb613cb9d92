// SPDX-License-Identifier: GPL-3.0-or-later
#include "MemorySettingsStore.h"
#include "TestEnvironment.h"

#include "core/Settings.h"

#include <QFile>
#include <QTest>

namespace {
// A missing value in a table: the conversion gives nothing.
constexpr int kNone = std::numeric_limits<int>::min();

template <typename T> int orNone(const std::optional<T> &value)
{
    return value ? static_cast<int>(*value) : kNone;
}

// `text` converted as "byte", "int16", "port" or "bool".
int convert(const QString &type, const QString &text)
{
    if (type == u"byte")
        return orNone(toByte(text));
    if (type == u"int16")
        return orNone(toInt16(text));
    if (type == u"port")
        return orNone(toPort(text));
    return orNone(toBoolean(text));
}

void conversion(const char *type, const char *name, const QString &text, int expected)
{
    QTest::addRow("%s, %s", type, name) << QString::fromLatin1(type) << text << expected;
}
} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void conversions_data();
    void conversions();
    void readFallsBackToDefault_data();
    void readFallsBackToDefault();
    void keyNames();
    void defaultsFollowTheUserFolders();

private:
    TestEnvironment env_;
};

void TestSettings::initTestCase()
{
    // The music folder is renamed, so a hard-coded "Music" is caught.
    QFile userDirs(env_.config() + QStringLiteral("/user-dirs.dirs"));
    QVERIFY(userDirs.open(QIODevice::WriteOnly));
    userDirs.write("XDG_MUSIC_DIR=\"$HOME/Tunes\"\n");
}

void TestSettings::conversions_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    conversion("byte", "zero", "0", 0);
    conversion("byte", "top", "255", 255);
    conversion("byte", "blanks around", " 7 ", 7);
    conversion("byte", "above a byte", "256", kNone);
    conversion("byte", "negative", "-1", kNone);
    conversion("byte", "empty", "", kNone);
    conversion("byte", "word", "abc", kNone);
    conversion("byte", "trailing junk", "12abc", kNone);
    conversion("byte", "fraction", "5.5", kNone);
    conversion("byte", "hex", "0x10", kNone);
    conversion("byte", "huge", "99999999999999999999", kNone);
    conversion("int16", "above 255 kept", "300", 300);
    conversion("int16", "minus one", "-1", -1);
    conversion("int16", "top", "32767", 32767);
    conversion("int16", "bottom", "-32768", -32768);
    conversion("int16", "above the range", "32768", kNone);
    conversion("int16", "below the range", "-32769", kNone);
    conversion("int16", "empty", "", kNone);
    conversion("int16", "word", "abc", kNone);
    conversion("int16", "fraction", "12.5", kNone);
    conversion("port", "zero, MPD's own", "0", 0);
    conversion("port", "the last port", "65535", 65535);
    conversion("port", "one past the last port", "65536", kNone);
    conversion("port", "negative", "-1", kNone);
    conversion("port", "empty", "", kNone);
    conversion("bool", "True", "True", 1);
    conversion("bool", "False", "False", 0);
    conversion("bool", "FALSE", "FALSE", 0);
    conversion("bool", "mixed case", "tRuE", 1);
    conversion("bool", "one", "1", 1);
    conversion("bool", "zero", "0", 0);
    conversion("bool", "minus one", "-1", 1);
    conversion("bool", "zero point zero", "0.0", 0);
    conversion("bool", "half", "0.5", 1);
    conversion("bool", "empty", "", kNone);
    conversion("bool", "word", "abc", kNone);
    conversion("bool", "not a number", "nan", kNone);
    conversion("bool", "infinity", "inf", kNone);
}

void TestSettings::conversions()
{
    QFETCH(QString, type);
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(convert(type, text), expected);
}

void TestSettings::readFallsBackToDefault_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("stored"); // a null string: the key is missing
    QTest::addColumn<QString>("defaultValue");
    QTest::addColumn<int>("expected");
    QTest::newRow("byte missing") << "byte" << QString() << "5" << 5;
    QTest::newRow("byte stored") << "byte"
                                 << "10"
                                 << "5" << 10;
    QTest::newRow("byte above 255") << "byte"
                                    << "256"
                                    << "5" << 5;
    QTest::newRow("byte empty") << "byte"
                                << ""
                                << "5" << 5;
    QTest::newRow("byte default bad too") << "byte"
                                          << "x"
                                          << "y" << 0;
    QTest::newRow("int16 missing") << "int16" << QString() << "125" << 125;
    QTest::newRow("int16 stored 300") << "int16"
                                      << "300"
                                      << "125" << 300;
    QTest::newRow("int16 out of range") << "int16"
                                        << "40000"
                                        << "125" << 125;
    QTest::newRow("bool missing") << "bool" << QString() << "1" << 1;
    QTest::newRow("bool zero") << "bool"
                               << "0"
                               << "1" << 0;
    QTest::newRow("bool word") << "bool"
                               << "maybe"
                               << "1" << 1;
    QTest::newRow("bool default False") << "bool"
                                        << "junk"
                                        << "False" << 0;
}

void TestSettings::readFallsBackToDefault()
{
    QFETCH(QString, type);
    QFETCH(QString, stored);
    QFETCH(QString, defaultValue);
    QFETCH(int, expected);
    MemorySettingsStore store;
    const QString key = QStringLiteral("someKey");
    if (!stored.isNull())
        store.setValue(key, stored);

    int actual = kNone;
    if (type == u"byte")
        actual = readByte(store, key, defaultValue);
    else if (type == u"int16")
        actual = readInt16(store, key, defaultValue);
    else
        actual = readBoolean(store, key, defaultValue) ? 1 : 0;
    QCOMPARE(actual, expected);
}

void TestSettings::keyNames()
{
    QCOMPARE(Keys::playlist(1), QStringLiteral("playlist1"));
    QCOMPARE(Keys::playlist(8), QStringLiteral("playlist8"));
    QCOMPARE(Keys::comDevice(3), QStringLiteral("comDevice3"));
    QCOMPARE(Defaults::comDevice(1), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(Defaults::comDevice(5), QStringLiteral("/dev/ttyS4"));
}

void TestSettings::defaultsFollowTheUserFolders()
{
    const QString home = env_.home();
    QCOMPARE(Defaults::thumbsFolder(), home + QStringLiteral("/"));
    QCOMPARE(Defaults::dir1Path(), home);
    QCOMPARE(Defaults::thumbsup(), home + QStringLiteral("/Tunes/keepers.m3u"));
    QCOMPARE(Defaults::thumbsdown(), home + QStringLiteral("/Tunes/loosers.m3u"));
    QCOMPARE(Defaults::mpdMusicDir(), home + QStringLiteral("/Tunes"));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "TestSettings.moc"
