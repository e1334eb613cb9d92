// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestEnvironment.h"

#include "core/IniSettingsStore.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>

#include <sys/stat.h>

namespace {

// Another process with its own store, run from this test binary with
// "--store" and a list of steps: "KEY?" reads, "KEY=TEXT" writes, "!mode"
// looks at the file. Each read answers "missing" or "value:TEXT", each look
// "mode:" and the file's mode in octal ("mode:none" when there is no file).
struct OtherProcess
{
    QStringList answers;
    QString errors; // what it said on stderr
};

OtherProcess runOtherProcess(const QStringList &steps)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                QStringList{QStringLiteral("--store")} + steps);
    if (!child.waitForFinished(10000) || child.exitCode() != 0)
        return {{QStringLiteral("child failed")}, {}};
    OtherProcess result;
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        if (!line.isEmpty())
            result.answers.append(QString::fromUtf8(QByteArray::fromPercentEncoding(line)));
    }
    result.errors = QString::fromLocal8Bit(child.readAllStandardError());
    return result;
}

QString readInOtherProcess(const QString &key)
{
    return runOtherProcess({key + QLatin1Char('?')}).answers.value(0);
}

void writeInOtherProcess(const QString &key, const QString &value)
{
    runOtherProcess({key + QLatin1Char('=') + value});
}

int otherProcessMain(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    IniSettingsStore file;
    SettingsModel store(file); // as the program reads and writes its settings
    for (const QString &step : app.arguments().mid(2)) {
        if (step == QLatin1String("!mode")) {
            struct stat info = {};
            if (::stat(QFile::encodeName(file.fileName()).constData(), &info) == 0)
                std::printf("mode:%o\n", unsigned(info.st_mode & 07777));
            else
                std::printf("mode:none\n");
            continue;
        }
        const qsizetype equals = step.indexOf(QLatin1Char('='));
        if (equals > 0) {
            store.setValue(step.left(equals), step.mid(equals + 1));
            continue;
        }
        const auto value = store.value(step.chopped(1));
        const QString answer =
            value ? QStringLiteral("value:") + *value : QStringLiteral("missing");
        const QByteArray line = answer.toUtf8().toPercentEncoding() + '\n';
        std::fwrite(line.constData(), 1, line.size(), stdout);
    }
    return 0;
}

} // namespace

class TestIniSettingsStore : public QObject
{
    Q_OBJECT

public:
    explicit TestIniSettingsStore(const TestEnvironment &environment) : env_(environment) {}

private slots:
    void init();
    void cleanup();

    void plainTextUnderStartup_data();
    void plainTextUnderStartup();
    void missingAndEmptyStayApart();
    void valuesSurviveTheFile_data();
    void valuesSurviveTheFile();
    void settingsFollowAnotherProcessWrite();
    void handWrittenFileIsRead_data();
    void handWrittenFileIsRead();
    void unwritableFileKeepsValuesInMemory();
    void damagedFileIsKeptAside();
    void keyMapIsReadAsWritten_data();
    void keyMapIsReadAsWritten();
    void fileIsItsOwnersAlone_data();
    void fileIsItsOwnersAlone();

private:
    QByteArray fileContents() const
    {
        QFile file(env_.settingsFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Written as the program keeps it, its owner's alone: a file open to
    // others is a case of its own.
    void writeFile(const QByteArray &contents) const
    {
        QFile file(env_.settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(file.write(contents), contents.size());
    }

    const TestEnvironment &env_;
};

void TestIniSettingsStore::init()
{
    env_.clearSettings();
}

void TestIniSettingsStore::cleanup()
{
    env_.clearSettings();
}

void TestIniSettingsStore::missingAndEmptyStayApart()
{
    IniSettingsStore store;
    QCOMPARE(store.value(Keys::housecode), std::nullopt);
    QCOMPARE(readSetting(store, Keys::housecode, QStringLiteral("A")), QStringLiteral("A"));

    store.setValue(Keys::housecode, QString());
    QCOMPARE(store.value(Keys::housecode), std::optional<QString>(QString()));
    QCOMPARE(readSetting(store, Keys::housecode, QStringLiteral("A")), QString());
    QCOMPARE(readInOtherProcess(Keys::housecode), QStringLiteral("value:"));
    QCOMPARE(readInOtherProcess(Keys::volume), QStringLiteral("missing"));
}

void TestIniSettingsStore::valuesSurviveTheFile_data()
{
    QTest::addColumn<QString>("value");

    QTest::newRow("backslashes") << R"(C:\Program Files\Player\keepers.m3u)";
    QTest::newRow("trailing backslash") << R"(C:\)";
    QTest::newRow("spaces inside and around") << "  my music/best of  ";
    QTest::newRow("comment signs") << "#1 hits; vol. 2";
    QTest::newRow("equals sign") << "a=b";
    QTest::newRow("comma, read as a list when unquoted") << "4800,N,8,1";
    QTest::newRow("quotes") << R"("quoted" and 'single')";
    QTest::newRow("at sign first") << "@Invalid()";
    QTest::newRow("brackets") << "[Startup]";
    QTest::newRow("non-ASCII letters") << "/home/zoë/Müsik/Ærø/日本.m3u";
    QTest::newRow("line break") << "one\ntwo";
}

// Each value read back by another process, so it went through the file at
// once; a value written again replaces the first.
void TestIniSettingsStore::valuesSurviveTheFile()
{
    QFETCH(QString, value);
    IniSettingsStore store;
    store.setValue(Keys::volume, QStringLiteral("6"));
    store.setValue(Keys::thumbsup, value);
    store.setValue(Keys::volume, QStringLiteral("7"));

    QCOMPARE(readInOtherProcess(Keys::thumbsup), QStringLiteral("value:") + value);
    QCOMPARE(readInOtherProcess(Keys::volume), QStringLiteral("value:7"));
}

void TestIniSettingsStore::plainTextUnderStartup_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("port") << Keys::comn << QStringLiteral("3") << QByteArray("comn=3\n");
    QTest::newRow("volume") << Keys::volume << numberText(255) << QByteArray("volume=255\n");
    QTest::newRow("zero") << Keys::volume << numberText(0) << QByteArray("volume=0\n");
    QTest::newRow("True") << Keys::bankb << booleanText(true) << QByteArray("bankb=True\n");
    QTest::newRow("False") << Keys::bankb << booleanText(false) << QByteArray("bankb=False\n");
}

// The user's own ini file, group [Startup], numbers and booleans as plain text.
void TestIniSettingsStore::plainTextUnderStartup()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, line);
    IniSettingsStore store;
    QCOMPARE(store.fileName(), env_.settingsFile());
    store.setValue(key, value);
    QCOMPARE(fileContents(), "[Startup]\n" + line);
}

// The program's settings take in what another process or a hand edit writes,
// as soon as the file changes, and tell their readers.
void TestIniSettingsStore::settingsFollowAnotherProcessWrite()
{
    IniSettingsStore file;
    SettingsModel settings(file);
    settings.setValue(Keys::bankb, QStringLiteral("True"));
    QCOMPARE(settings.bankLower(), true);
    QSignalSpy changes(&settings, &SettingsModel::changed);

    writeInOtherProcess(Keys::bankb, QStringLiteral("False"));
    QTRY_COMPARE(settings.bankLower(), false);
    QCOMPARE(changes.count(), 1);
    QCOMPARE(changes.first().first().toString(), Keys::bankb);
    // The other process's write did not lose this one's keys, nor this one its.
    settings.setValue(Keys::housecode, QStringLiteral("C"));
    QCOMPARE(readInOtherProcess(Keys::bankb), QStringLiteral("value:False"));
    QCOMPARE(readInOtherProcess(Keys::housecode), QStringLiteral("value:C"));

    // The file removed and written anew by hand is still followed.
    QVERIFY(QFile::remove(env_.settingsFile()));
    writeFile("[Startup]\nhousecode=E\n");
    QTRY_COMPARE(settings.houseCode(), QStringLiteral("E"));
}

void TestIniSettingsStore::handWrittenFileIsRead_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("key");
    QTest::addColumn<std::optional<QString>>("expected");

    QTest::newRow("device added by hand")
        << QByteArray("[Startup]\ncomn=2\n\n[Startup]\ncomDevice1=/dev/ttyUSB0\n")
        << Keys::comDevice(1) << std::optional<QString>(QStringLiteral("/dev/ttyUSB0"));
    QTest::newRow("empty value") << QByteArray("[Startup]\nhousecode=\n") << Keys::housecode
                                 << std::optional<QString>(QString());
    QTest::newRow("unquoted commas")
        << QByteArray("[Startup]\nplaylist1=a,b\n") << Keys::playlist(1)
        << std::optional<QString>(QStringLiteral("a,b"));
    QTest::newRow("key of another group")
        << QByteArray("[General]\nvolume=3\n") << Keys::volume << std::optional<QString>();
    QTest::newRow("keys differ by case")
        << QByteArray("[Startup]\nVolume=3\n") << Keys::volume << std::optional<QString>();
}

void TestIniSettingsStore::handWrittenFileIsRead()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, key);
    QFETCH(std::optional<QString>, expected);
    writeFile(contents);
    IniSettingsStore store;

    QCOMPARE(store.value(key), expected);
}

// The failures run in a process of their own: QSettings keeps what it could not
// write for later stores of the same file, and this process must not inherit it.
void TestIniSettingsStore::unwritableFileKeepsValuesInMemory()
{
    // A folder where the file should be: it can be neither read nor written,
    // whoever runs the test.
    QVERIFY(QDir().mkpath(env_.settingsFile()));

    const OtherProcess run = runOtherProcess(
        {QStringLiteral("volume?"), QStringLiteral("volume=130"), QStringLiteral("housecode=D"),
         QStringLiteral("volume?"), QStringLiteral("housecode?")});
    QCOMPARE(run.answers, (QStringList{QStringLiteral("missing"), QStringLiteral("value:130"),
                                       QStringLiteral("value:D")}));
    QCOMPARE(run.errors.count(QStringLiteral("kavelo.settings:")), 1);
    QVERIFY2(run.errors.contains(QStringLiteral("cannot read or write the settings file ") +
                                 env_.settingsFile()),
             qPrintable(run.errors));
}

void TestIniSettingsStore::damagedFileIsKeptAside()
{
    const QByteArray damaged("[Startup]\ncomn=3\n\0\xff\xfe[[[\n=\n", 26);
    writeFile(damaged);

    const OtherProcess run = runOtherProcess(
        {QStringLiteral("comn?"), QStringLiteral("volume=99"), QStringLiteral("volume=100")});
    QCOMPARE(run.answers, QStringList{QStringLiteral("value:3")});
    QCOMPARE(run.errors.count(QStringLiteral("kavelo.settings:")), 1);
    QVERIFY2(run.errors.contains(env_.settingsFile() + QStringLiteral(" is damaged")),
             qPrintable(run.errors));

    QFile copy(env_.settingsFile() + QStringLiteral(".damaged"));
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), damaged);
    QCOMPARE(readInOtherProcess(Keys::volume), QStringLiteral("value:100"));
    QCOMPARE(readInOtherProcess(Keys::comn), QStringLiteral("value:3"));
}

void TestIniSettingsStore::keyMapIsReadAsWritten_data()
{
    QTest::addColumn<QByteArray>("handWritten"); // a line of [Keys], or none
    QTest::addColumn<QString>("written");        // a value this program writes, or none
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << QByteArray("A4off=next") << QString() << "next";
    QTest::newRow("quotes, semicolon") << QByteArray(R"(B3on=run sh -c "echo hi; date" >> /tmp/f)")
                                       << QString() << R"(run sh -c "echo hi; date" >> /tmp/f)";
    QTest::newRow("commas") << QByteArray("B3on=run echo a, b,c") << QString() << "run echo a, b,c";
    QTest::newRow("quoted as the file writes it")
        << QByteArray(R"(B3on="run echo \"a; b\"")") << QString() << R"(run echo "a; b")";
    QTest::newRow("written with quotes and backslashes")
        << QByteArray() << R"(run printf '%s\n' "a b" \ c;d)"
        << R"(run printf '%s\n' "a b" \ c;d)";
    QTest::newRow("written with a tab") << QByteArray() << "run echo \ta"
                                        << "run echo \ta";
}

// What a hand wrote reads as it stands, and both that and what this program
// wrote read the same after the file has been written again, twice.
void TestIniSettingsStore::keyMapIsReadAsWritten()
{
    QFETCH(QByteArray, handWritten);
    QFETCH(QString, written);
    QFETCH(QString, expected);
    writeFile("[Startup]\nvolume=3\n\n[Keys]\n" + handWritten + "\n");
    if (!written.isEmpty())
        IniSettingsStore().setKeyBinding(QStringLiteral("B3on"), written);
    const QString key = handWritten.isEmpty()
                            ? QStringLiteral("B3on")
                            : QString::fromUtf8(handWritten.left(handWritten.indexOf('=')));
    for (int round = 0; round < 3; ++round) {
        IniSettingsStore store;
        QCOMPARE(store.keyMap().value(key), expected);
        QCOMPARE(store.value(Keys::volume), QStringLiteral("3"));
        store.setValue(Keys::volume, QStringLiteral("3"));
    }
}

void TestIniSettingsStore::fileIsItsOwnersAlone_data()
{
    QTest::addColumn<int>("foundMode"); // -1: no file yet
    QTest::addColumn<bool>("said");     // that the file was closed to others

    QTest::newRow("new file") << -1 << false;
    QTest::newRow("readable by all") << 0644 << true;
    QTest::newRow("group may read and write") << 0660 << true;
    QTest::newRow("owner's alone already") << 0600 << false;
}

// The file holds passwords: after every write it is its owner's alone, though
// the umask would let anyone read a new file; one found open to others is
// closed to them at the start, and that is said once.
void TestIniSettingsStore::fileIsItsOwnersAlone()
{
    QFETCH(int, foundMode);
    QFETCH(bool, said);
    if (foundMode >= 0) {
        writeFile("[Startup]\nmpdHost=secret@host\n");
        QCOMPARE(::chmod(QFile::encodeName(env_.settingsFile()).constData(), mode_t(foundMode)), 0);
    }

    const mode_t umaskBefore = ::umask(0);
    const OtherProcess run = runOtherProcess(
        {QStringLiteral("!mode"), QStringLiteral("mpdHost=secret@host"), QStringLiteral("!mode"),
         QStringLiteral("mqttPassword=secret"), QStringLiteral("!mode")});
    ::umask(umaskBefore);

    const QString found = foundMode < 0 ? QStringLiteral("mode:none") : QStringLiteral("mode:600");
    QCOMPARE(run.answers,
             (QStringList{found, QStringLiteral("mode:600"), QStringLiteral("mode:600")}));
    QCOMPARE(run.errors.count(QStringLiteral("kavelo.settings:")), said ? 1 : 0);
    if (said)
        QVERIFY2(
            run.errors.contains(
                QStringLiteral("(mode 0%1); it is now its owner's alone").arg(foundMode, 0, 8)),
            qPrintable(run.errors));
    QCOMPARE(readInOtherProcess(Keys::mqttPassword), QStringLiteral("value:secret"));
}

int main(int argc, char **argv)
{
    if (argc >= 2 && qstrcmp(argv[1], "--store") == 0)
        return otherProcessMain(argc, argv);

    TestEnvironment environment;
    QCoreApplication app(argc, argv);
    TestIniSettingsStore test(environment);
    return QTest::qExec(&test, argc, argv);
}

#include "TestIniSettingsStore.moc"
