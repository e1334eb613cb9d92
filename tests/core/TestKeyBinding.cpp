// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/KeyBinding.h"
#include "core/X10Key.h"

#include <QTest>

class TestKeyBinding : public QObject
{
    Q_OBJECT

private slots:
    void keyNames_data();
    void keyNames();
    void values_data();
    void values();
    void commandLines_data();
    void commandLines();
    void unreadableValuesAreListed();
};

void TestKeyBinding::keyNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("house");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("function");

    const auto add = [](const char *name, bool valid, int house = 0, int unit = 0,
                        X10Function function = X10Function::AllOff) {
        QTest::newRow(name) << QString::fromLatin1(name) << valid << house << unit << int(function);
    };
    add("A4off", true, 0, 3, X10Function::Off);
    add("B11on", true, 1, 10, X10Function::On);
    add("P16on", true, 15, 15, X10Function::On);
    add("Cbright", true, 2, 0, X10Function::Bright);
    add("Cdim", true, 2, 0, X10Function::Dim);
    add("Pallon", true, 15, 0, X10Function::AllOn);
    add("Palloff", true, 15, 0, X10Function::AllOff);
    for (const char *name : {"A0on", "A17off", "A04off", "A+4off", "Aoff", "C3bright", "Q1on",
                             "a1on", "A1On", "A1 on", "A1", "", "A1alloff"})
        add(name, false);
}

// A name read back names the same key.
void TestKeyBinding::keyNames()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    const std::optional<X10Key> key = parseKeyName(name);
    QCOMPARE(key.has_value(), valid);
    if (!valid)
        return;
    QFETCH(int, house);
    QFETCH(int, unit);
    QFETCH(int, function);
    QCOMPARE(int(key->house), house);
    QCOMPARE(int(key->unit), unit);
    QCOMPARE(int(key->function), function);
    QCOMPARE(key->name(), name);
}

void TestKeyBinding::values_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("reads"); // bindingText, or "" when unreadable
    QTest::addColumn<int>("kind");      // KeyBinding::Kind
    QTest::addColumn<bool>("repeats");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<QStringList>("program");

    const int action = int(KeyBinding::Kind::Action), none = int(KeyBinding::Kind::None),
              run = int(KeyBinding::Kind::Run);
    QTest::newRow("action") << "next"
                            << "next" << action << false << 0 << QStringList();
    QTest::newRow("volume repeats") << "volumeup"
                                    << "volumeup" << action << true << 0 << QStringList();
    QTest::newRow("volume once") << " once  volumedown "
                                 << "once volumedown" << action << false << 0 << QStringList();
    QTest::newRow("repeat") << "repeat next"
                            << "repeat next" << action << true << 0 << QStringList();
    QTest::newRow("delay in ms") << "repeat after 500ms previous"
                                 << "repeat after 500ms previous" << action << true << 500
                                 << QStringList();
    QTest::newRow("delay in s") << "repeat after 1.5s volumeup"
                                << "repeat after 1500ms volumeup" << action << true << 1500
                                << QStringList();
    QTest::newRow("none") << "none"
                          << "none" << none << false << 0 << QStringList();
    QTest::newRow("run") << "run notify-send \"Hello there\""
                         << "run notify-send 'Hello there'" << run << false << 0
                         << QStringList{"notify-send", "Hello there"};
    QTest::newRow("run held") << "repeat after 1s run amixer set Master 5%+"
                              << "repeat after 1s run amixer set Master 5%+" << run << true << 1000
                              << QStringList{"amixer", "set", "Master", "5%+"};
    for (const char *value :
         {"", "Next", "next song", "playlist9", "playlist0", "run", "run   ", "once",
          "repeat after next", "repeat after 20s next", "repeat after -1s next",
          "once after 1s next", "run 'open", "none really", "runx"})
        QTest::newRow(value) << value << "" << 0 << false << 0 << QStringList();
}

void TestKeyBinding::values()
{
    QFETCH(QString, value);
    QFETCH(QString, reads);
    QString why;
    const std::optional<KeyBinding> binding = parseBinding(value, &why);
    QCOMPARE(binding.has_value(), !reads.isEmpty());
    if (!binding) {
        QVERIFY(!why.isEmpty());
        return;
    }
    QFETCH(int, kind);
    QFETCH(bool, repeats);
    QFETCH(int, delayMs);
    QFETCH(QStringList, program);
    QCOMPARE(int(binding->kind), kind);
    QCOMPARE(binding->repeats, repeats);
    QCOMPARE(binding->repeatDelayMs, delayMs);
    QCOMPARE(binding->program, program);
    QCOMPARE(bindingText(*binding), reads);
    QCOMPARE(parseBinding(reads), binding);
}

void TestKeyBinding::commandLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<bool>("valid");

    QTest::newRow("blanks") << " a \t b  " << QStringList{"a", "b"} << true;
    QTest::newRow("single quotes keep all")
        << R"('a "b" \c $d')" << QStringList{R"(a "b" \c $d)"} << true;
    QTest::newRow("double quotes")
        << R"("a 'b' \"c\" \$d \e")" << QStringList{R"(a 'b' "c" $d \e)"} << true;
    QTest::newRow("backslash") << R"(a\ b \'c)" << QStringList{"a b", "'c"} << true;
    QTest::newRow("quotes join a word") << R"(x"y z"'w')" << QStringList{"xy zw"} << true;
    QTest::newRow("backslash, end of line") << "a\\\nb c\n" << QStringList{"ab", "c"} << true;
    QTest::newRow("empty word") << R"(a "" b)" << QStringList{"a", "", "b"} << true;
    QTest::newRow("nothing expands")
        << "echo $HOME ~ * `id` $(id) ; rm -rf /"
        << QStringList{"echo", "$HOME", "~", "*", "`id`", "$(id)", ";", "rm", "-rf", "/"} << true;
    QTest::newRow("open single quote") << "echo 'a" << QStringList() << false;
    QTest::newRow("open double quote") << R"(echo "a\")" << QStringList() << false;
}

// Words given back by splitCommandLine quote back to the same words.
void TestKeyBinding::commandLines()
{
    QFETCH(QString, line);
    QFETCH(QStringList, words);
    QFETCH(bool, valid);
    const std::optional<QStringList> split = splitCommandLine(line);
    QCOMPARE(split.has_value(), valid);
    if (!valid)
        return;
    QCOMPARE(*split, words);
    QCOMPARE(splitCommandLine(joinCommandLine(words)), split);
}

void TestKeyBinding::unreadableValuesAreListed()
{
    const KeyMap map = KeyMap::read({{"A4off", "previous"}, {"A5off", "skip"}, {"Z1on", "next"}});
    QCOMPARE(map.bindings.keys(), QStringList{"A4off"});
    QCOMPARE(map.unreadable.size(), 2);
    QVERIFY(map.unreadable.at(0).startsWith(QLatin1String("A5off=skip: ")));
    QVERIFY(map.unreadable.at(1).startsWith(QLatin1String("Z1on=next: ")));
}

QTEST_APPLESS_MAIN(TestKeyBinding)
#include "TestKeyBinding.moc"
