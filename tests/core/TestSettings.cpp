#include "RemoteHarness.h"

#include "core/Settings.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// A missing value in a table: the conversion must give nothing.
constexpr int kNone = std::numeric_limits<int>::min();

template <typename T> static int orNone(const std::optional<T> &value)
{
    return value ? static_cast<int>(*value) : kNone;
}

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void toByte_data();
    void toByte();
    void toInt16_data();
    void toInt16();
    void toBoolean_data();
    void toBoolean();
    void writtenTextReadsBack_data();
    void writtenTextReadsBack();
    void readFallsBackToDefault_data();
    void readFallsBackToDefault();

    void keyNames();
    void defaultsFollowTheUserFolders();

    void getOptionsWithEmptyStore();
    void readers_data();
    void readers();
    void getOptionsWithStoredValues_data();
    void getOptionsWithStoredValues();
    void modelReadsOnceAndWritesThrough();
    void getOptionsWithoutAPlayerComponent();

private:
    QTemporaryDir home_;
};

void TestSettings::initTestCase()
{
    QVERIFY(home_.isValid());
    const QString config = home_.filePath(QStringLiteral(".config"));
    QVERIFY(QDir().mkpath(config));
    // The music folder is renamed, so a hard-coded "Music" is caught.
    QFile userDirs(config + QStringLiteral("/user-dirs.dirs"));
    QVERIFY(userDirs.open(QIODevice::WriteOnly));
    userDirs.write("XDG_MUSIC_DIR=\"$HOME/Tunes\"\n");
    userDirs.close();
    qputenv("HOME", QFile::encodeName(home_.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
}

void TestSettings::toByte_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("top") << "255" << 255;
    QTest::newRow("default step") << "5" << 5;
    QTest::newRow("blanks around") << " 7 " << 7;
    QTest::newRow("above a byte") << "256" << kNone;
    QTest::newRow("negative") << "-1" << kNone;
    QTest::newRow("empty") << "" << kNone;
    QTest::newRow("word") << "abc" << kNone;
    QTest::newRow("trailing junk") << "12abc" << kNone;
    QTest::newRow("fraction") << "5.5" << kNone;
    QTest::newRow("hex") << "0x10" << kNone;
    QTest::newRow("huge") << "99999999999999999999" << kNone;
}

void TestSettings::toByte()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(orNone(::toByte(text)), expected);
}

void TestSettings::toInt16_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("default volume") << "125" << 125;
    QTest::newRow("above 255 kept") << "300" << 300;
    QTest::newRow("minus one") << "-1" << -1;
    QTest::newRow("top") << "32767" << 32767;
    QTest::newRow("bottom") << "-32768" << -32768;
    QTest::newRow("above the range") << "32768" << kNone;
    QTest::newRow("below the range") << "-32769" << kNone;
    QTest::newRow("empty") << "" << kNone;
    QTest::newRow("word") << "abc" << kNone;
    QTest::newRow("fraction") << "12.5" << kNone;
}

void TestSettings::toInt16()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(orNone(::toInt16(text)), expected);
}

void TestSettings::toBoolean_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("True") << "True" << 1;
    QTest::newRow("False") << "False" << 0;
    QTest::newRow("true") << "true" << 1;
    QTest::newRow("FALSE") << "FALSE" << 0;
    QTest::newRow("mixed case") << "tRuE" << 1;
    QTest::newRow("one") << "1" << 1;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("minus one") << "-1" << 1;
    QTest::newRow("two") << "2" << 1;
    QTest::newRow("zero point zero") << "0.0" << 0;
    QTest::newRow("half") << "0.5" << 1;
    QTest::newRow("empty") << "" << kNone;
    QTest::newRow("word") << "abc" << kNone;
    QTest::newRow("yes") << "yes" << kNone;
    QTest::newRow("not a number") << "nan" << kNone;
    QTest::newRow("infinity") << "inf" << kNone;
}

void TestSettings::toBoolean()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(orNone(::toBoolean(text)), expected);
}

void TestSettings::writtenTextReadsBack_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("expectedText");
    QTest::addColumn<int>("readBack");
    QTest::newRow("true") << booleanText(true) << "True" << 1;
    QTest::newRow("false") << booleanText(false) << "False" << 0;
    QTest::newRow("255") << numberText(255) << "255" << 255;
    QTest::newRow("0") << numberText(0) << "0" << 0;
}

void TestSettings::writtenTextReadsBack()
{
    QFETCH(QString, written);
    QFETCH(QString, expectedText);
    QFETCH(int, readBack);
    QCOMPARE(written, expectedText);
    const auto back = written.startsWith(QLatin1Char('T')) || written.startsWith(QLatin1Char('F'))
                          ? orNone(::toBoolean(written))
                          : orNone(::toByte(written));
    QCOMPARE(back, readBack);
}

void TestSettings::readFallsBackToDefault_data()
{
    QTest::addColumn<QString>("reader");
    QTest::addColumn<QVariant>("stored"); // an invalid QVariant: the key is missing
    QTest::addColumn<QString>("defaultValue");
    QTest::addColumn<int>("expected");
    QTest::newRow("byte missing") << "byte" << QVariant() << "5" << 5;
    QTest::newRow("byte stored") << "byte" << QVariant("10") << "5" << 10;
    QTest::newRow("byte above 255") << "byte" << QVariant("256") << "5" << 5;
    QTest::newRow("byte empty") << "byte" << QVariant("") << "5" << 5;
    QTest::newRow("byte default bad too") << "byte" << QVariant("x") << "y" << 0;
    QTest::newRow("int16 missing") << "int16" << QVariant() << "125" << 125;
    QTest::newRow("int16 stored 300") << "int16" << QVariant("300") << "125" << 300;
    QTest::newRow("int16 word") << "int16" << QVariant("loud") << "125" << 125;
    QTest::newRow("int16 out of range") << "int16" << QVariant("40000") << "125" << 125;
    QTest::newRow("bool missing") << "bool" << QVariant() << "1" << 1;
    QTest::newRow("bool False") << "bool" << QVariant("False") << "1" << 0;
    QTest::newRow("bool zero") << "bool" << QVariant("0") << "1" << 0;
    QTest::newRow("bool word") << "bool" << QVariant("maybe") << "1" << 1;
    QTest::newRow("bool empty") << "bool" << QVariant("") << "1" << 1;
    QTest::newRow("bool default False") << "bool" << QVariant("junk") << "False" << 0;
}

void TestSettings::readFallsBackToDefault()
{
    QFETCH(QString, reader);
    QFETCH(QVariant, stored);
    QFETCH(QString, defaultValue);
    QFETCH(int, expected);
    MemorySettingsStore store;
    const QString key = QStringLiteral("someKey");
    if (stored.isValid())
        store.setValue(key, stored.toString());

    int actual = kNone;
    if (reader == QLatin1String("byte"))
        actual = readByte(store, key, defaultValue);
    else if (reader == QLatin1String("int16"))
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
    const QString home = home_.path();
    QCOMPARE(Defaults::thumbsFolder(), home + QStringLiteral("/"));
    QCOMPARE(Defaults::dir1Path(), home);
    QCOMPARE(Defaults::thumbsup(), home + QStringLiteral("/Tunes/keepers.m3u"));
    QCOMPARE(Defaults::thumbsdown(), home + QStringLiteral("/Tunes/loosers.m3u"));
    QCOMPARE(Defaults::mpdMusicDir(), home + QStringLiteral("/Tunes"));
}

void TestSettings::getOptionsWithEmptyStore()
{
    RemoteHarness h;
    h.remote.optLower = false;
    h.remote.getOptions();

    QCOMPARE(h.settings.houseCode(), QStringLiteral("A"));
    QCOMPARE(h.remote.optLower, true);
    QCOMPARE(h.settings.thumbsUpFile(), home_.path() + QStringLiteral("/Tunes/keepers.m3u"));
    QCOMPARE(h.settings.thumbsDownFile(), home_.path() + QStringLiteral("/Tunes/loosers.m3u"));
    QCOMPARE(h.remote.vol, qint16(125));
    QVERIFY(h.settle());
    QCOMPARE(h.player.calls, QStringList{QStringLiteral("setVolume(125)")});
    QCOMPARE(h.settings.volStep(), quint8(5));
    for (int n = 1; n <= 8; ++n)
        QVERIFY2(h.settings.playlist(n).isEmpty(), qPrintable(QString::number(n)));
    QVERIFY2(h.store.values.isEmpty(), "getOptions writes nothing");
}

// The two windows read some keys by different rules; both stand in this table.
void TestSettings::readers_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored"); // a null string: the key is missing
    QTest::addColumn<QString>("mainReads");
    QTest::addColumn<QString>("setupReads"); // "-": the setup window leaves its control alone

    QTest::newRow("port missing") << "comn" << QString() << "5"
                                  << "2";
    QTest::newRow("port 3") << "comn"
                            << "3"
                            << "3"
                            << "3";
    QTest::newRow("port bad") << "comn"
                              << "x"
                              << "5"
                              << "x";
    QTest::newRow("house missing") << "housecode" << QString() << "A"
                                   << "A";
    QTest::newRow("house C") << "housecode"
                             << "C"
                             << "C"
                             << "C";
    QTest::newRow("house lower case kept") << "housecode"
                                           << "c"
                                           << "c"
                                           << "c";
    QTest::newRow("house empty") << "housecode"
                                 << ""
                                 << "B"
                                 << "A";
    QTest::newRow("bank missing") << "bankb" << QString() << "true"
                                  << "true";
    QTest::newRow("bank False") << "bankb"
                                << "False"
                                << "false"
                                << "false";
    QTest::newRow("bank zero") << "bankb"
                               << "0"
                               << "false"
                               << "false";
    QTest::newRow("bank bad") << "bankb"
                              << "upper"
                              << "true"
                              << "-";
    QTest::newRow("step missing") << "volSteps" << QString() << "5"
                                  << "5";
    QTest::newRow("step 0") << "volSteps"
                            << "0"
                            << "0"
                            << "0";
    QTest::newRow("step above 255") << "volSteps"
                                    << "256"
                                    << "5"
                                    << "256";
    QTest::newRow("step negative") << "volSteps"
                                   << "-3"
                                   << "5"
                                   << "-3";
    QTest::newRow("step bad") << "volSteps"
                              << "big"
                              << "5"
                              << "-";
}

void TestSettings::readers()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(QString, mainReads);
    QFETCH(QString, setupReads);

    MemorySettingsStore store;
    if (!stored.isNull())
        store.setValue(key, stored);
    const SettingsModel settings(store);
    const auto text = [](const auto &value) -> QString {
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, QString>)
            return value;
        else if constexpr (std::is_same_v<T, bool>)
            return value ? QStringLiteral("true") : QStringLiteral("false");
        else
            return QString::number(value);
    };
    const auto optional = [&text](const auto &value) {
        return value ? text(*value) : QStringLiteral("-");
    };

    if (key == Keys::comn) {
        QCOMPARE(text(settings.mainPort()), mainReads);
        QCOMPARE(settings.setupPort(), setupReads);
    } else if (key == Keys::housecode) {
        QCOMPARE(settings.houseCode(), mainReads);
        QCOMPARE(settings.setupHouseCode(), setupReads);
    } else if (key == Keys::bankb) {
        QCOMPARE(text(settings.bankLower()), mainReads);
        QCOMPARE(optional(settings.setupBankLower()), setupReads);
    } else {
        QCOMPARE(text(settings.volStep()), mainReads);
        QCOMPARE(optional(settings.setupVolStep()), setupReads);
    }
}

void TestSettings::getOptionsWithStoredValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("optLower");
    QTest::addColumn<int>("vol");

    QTest::newRow("bank False") << "bankb"
                                << "False" << false << 125;
    QTest::newRow("bank bad") << "bankb"
                              << "upper" << true << 125;
    QTest::newRow("volume 200") << "volume"
                                << "200" << true << 200;
    QTest::newRow("volume 300 kept") << "volume"
                                     << "300" << true << 300;
    QTest::newRow("volume bad") << "volume"
                                << "loud" << true << 125;
    QTest::newRow("volume empty") << "volume"
                                  << "" << true << 125;
    QTest::newRow("volume too big") << "volume"
                                    << "70000" << true << 125;
}

void TestSettings::getOptionsWithStoredValues()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(bool, optLower);
    QFETCH(int, vol);

    RemoteHarness h;
    h.store.setValue(key, stored);
    h.remote.getOptions();
    QCOMPARE(h.remote.optLower, optLower);
    QCOMPARE(int(h.remote.vol), vol);
    QVERIFY(h.settle());
    QCOMPARE(h.player.calls, QStringList{QStringLiteral("setVolume(%1)").arg(vol)});
}

// The model reads each key from the store once and writes each change through.
void TestSettings::modelReadsOnceAndWritesThrough()
{
    RecordingSettingsStore store;
    store.setValue(Keys::playlist(2), QStringLiteral("/m/two.m3u"));
    SettingsModel settings(store);
    QSignalSpy changes(&settings, &SettingsModel::changed);
    store.accesses.clear();

    QCOMPARE(settings.playlist(2), QStringLiteral("/m/two.m3u"));
    QCOMPARE(settings.playlist(2), QStringLiteral("/m/two.m3u"));
    settings.setValue(Keys::volume, QStringLiteral("130"));
    settings.setValue(Keys::volume, QStringLiteral("130"));
    QCOMPARE(settings.volume(), qint16(130));
    QCOMPARE(store.accesses, (QStringList{"read(playlist2)", "read(volume)", "write(volume=130)",
                                          "write(volume=130)"}));
    QCOMPARE(changes.count(), 1);
    QCOMPARE(changes.first().first().toString(), Keys::volume);
}

void TestSettings::getOptionsWithoutAPlayerComponent()
{
    MemorySettingsStore store;
    store.setValue(Keys::volume, QStringLiteral("90"));
    store.setValue(Keys::playlist(1), QStringLiteral("/m/a.m3u"));
    SettingsModel settings(store);
    RecordingView view;
    PlayerSession session([] { return std::unique_ptr<PlayerControl>(); });
    RemoteControl remote(settings, view, session);
    remote.getOptions();
    QCOMPARE(remote.vol, qint16(90));

    remote.dispatch(0);
    QCOMPARE(view.commandText, QStringLiteral("/m/a.m3u"));
    remote.dispatch(16);
    QCOMPARE(remote.vol, qint16(90)); // the player counts as not running
}

QTEST_GUILESS_MAIN(TestSettings)
#include "TestSettings.moc"
