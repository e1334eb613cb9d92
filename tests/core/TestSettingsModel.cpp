// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecordingSettingsStore.h"

#include "core/Settings.h"
#include "core/SettingsModel.h"

#include <QSignalSpy>
#include <QTest>

namespace {
QString text(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}
QString text(int value)
{
    return QString::number(value);
}
template <typename T> QString text(const std::optional<T> &value)
{
    return value ? text(*value) : QStringLiteral("-");
}

void reads(const char *name, const QString &key, const QString &stored, const char *mainReads,
           const char *setupReads)
{
    QTest::newRow(name) << key << stored << QString::fromLatin1(mainReads)
                        << QString::fromLatin1(setupReads);
}
} // namespace

class TestSettingsModel : public QObject
{
    Q_OBJECT

private slots:
    void readers_data();
    void readers();
    void defaults();
    void readsOnceAndWritesThrough();
};

// The two windows read some keys by different rules; both stand in this table.
// A null stored string: the key is missing. "-": the setup window leaves its
// control alone.
void TestSettingsModel::readers_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("mainReads");
    QTest::addColumn<QString>("setupReads");
    reads("port missing", Keys::comn, QString(), "5", "2");
    reads("port 3", Keys::comn, "3", "3", "3");
    reads("port bad", Keys::comn, "x", "5", "x");
    reads("house missing", Keys::housecode, QString(), "A", "A");
    reads("house C", Keys::housecode, "C", "C", "C");
    reads("house lower case kept", Keys::housecode, "c", "c", "c");
    reads("house empty", Keys::housecode, "", "B", "A");
    reads("bank missing", Keys::bankb, QString(), "true", "true");
    reads("bank False", Keys::bankb, "False", "false", "false");
    reads("bank zero", Keys::bankb, "0", "false", "false");
    reads("bank bad", Keys::bankb, "upper", "true", "-");
    reads("step missing", Keys::volSteps, QString(), "5", "5");
    reads("step 0", Keys::volSteps, "0", "0", "0");
    reads("step above 255", Keys::volSteps, "256", "5", "256");
    reads("step negative", Keys::volSteps, "-3", "5", "-3");
    reads("step bad", Keys::volSteps, "big", "5", "-");
}

void TestSettingsModel::readers()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(QString, mainReads);
    QFETCH(QString, setupReads);
    MemorySettingsStore store;
    if (!stored.isNull())
        store.setValue(key, stored);
    const SettingsModel settings(store);

    if (key == Keys::comn) {
        QCOMPARE(text(settings.mainPort()), mainReads);
        QCOMPARE(settings.setupPort(), setupReads);
    } else if (key == Keys::housecode) {
        QCOMPARE(settings.houseCode(), mainReads);
        QCOMPARE(settings.setupHouseCode(), setupReads);
    } else if (key == Keys::bankb) {
        QCOMPARE(text(settings.bankLower()), mainReads);
        QCOMPARE(text(settings.setupBankLower()), setupReads);
    } else {
        QCOMPARE(text(settings.volStep()), mainReads);
        QCOMPARE(text(settings.setupVolStep()), setupReads);
    }
}

void TestSettingsModel::defaults()
{
    MemorySettingsStore store;
    const SettingsModel settings(store);
    QCOMPARE(settings.thumbsUpFile(), Defaults::thumbsup());
    QCOMPARE(settings.thumbsDownFile(), Defaults::thumbsdown());
    QCOMPARE(settings.volume(), qint16(125));
    for (int n = 1; n <= 8; ++n)
        QVERIFY2(settings.playlist(n).isEmpty(), qPrintable(QString::number(n)));
}

// A key is read from the store once; each change is written through and told once.
void TestSettingsModel::readsOnceAndWritesThrough()
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

QTEST_GUILESS_MAIN(TestSettingsModel)
#include "TestSettingsModel.moc"
