// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestEnvironment.h"

#include "core/ThumbsLists.h"

#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestThumbsLists : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
    }
    void marksAndClearingSurviveARestart();
    void damagedFileIsKeptAside();
    void unwritableStateKeepsTheListsInMemory();
    void defaultFileFollowsXdgStateHome();

private:
    QString stateFile() const { return dir_->filePath(QStringLiteral("kavelo/thumbs.json")); }
    std::unique_ptr<QTemporaryDir> dir_;
    TestEnvironment env_;
};

void TestThumbsLists::marksAndClearingSurviveARestart()
{
    const QString odd = QStringLiteral("/music/ü \"quoted\"\r\nnext.mp3");
    const QString song = QStringLiteral("/music/a.mp3");
    {
        ThumbsLists lists(stateFile());
        QSignalSpy added(&lists, &ThumbsLists::added);
        lists.add(ThumbsLists::List::Up, song);
        lists.add(ThumbsLists::List::Up, song);
        lists.add(ThumbsLists::List::Down, odd);
        QCOMPARE(added.count(), 3);
    }
    {
        ThumbsLists again(stateFile());
        QCOMPARE(again.entries(ThumbsLists::List::Up), (QStringList{song, song}));
        QCOMPARE(again.entries(ThumbsLists::List::Down), QStringList{odd});
        again.clear(ThumbsLists::List::Up);
    }
    ThumbsLists cleared(stateFile());
    QVERIFY(cleared.entries(ThumbsLists::List::Up).isEmpty());
    QCOMPARE(cleared.entries(ThumbsLists::List::Down), QStringList{odd});
}

void TestThumbsLists::damagedFileIsKeptAside()
{
    QVERIFY(QDir().mkpath(dir_->filePath(QStringLiteral("kavelo"))));
    QFile file(stateFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{\"thumbsUp\": [\"/music/a.mp3\"");
    file.close();

    ThumbsLists lists(stateFile());
    QVERIFY(lists.entries(ThumbsLists::List::Up).isEmpty());
    QVERIFY(QFile::exists(stateFile() + QStringLiteral(".damaged")));
    lists.add(ThumbsLists::List::Up, QStringLiteral("/music/new.mp3"));
    QCOMPARE(ThumbsLists(stateFile()).entries(ThumbsLists::List::Up),
             QStringList{QStringLiteral("/music/new.mp3")});
}

void TestThumbsLists::unwritableStateKeepsTheListsInMemory()
{
    // A plain file where the state folder should be.
    QFile blocker(dir_->filePath(QStringLiteral("kavelo")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    ThumbsLists lists(stateFile());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot keep the thumbs lists"));
    lists.add(ThumbsLists::List::Up, QStringLiteral("/music/a.mp3"));
    lists.add(ThumbsLists::List::Up, QStringLiteral("/music/b.mp3")); // reported once
    QCOMPARE(lists.entries(ThumbsLists::List::Up).size(), 2);
}

void TestThumbsLists::defaultFileFollowsXdgStateHome()
{
    QCOMPARE(ThumbsLists::defaultStateFile(), env_.state() + QStringLiteral("/kavelo/thumbs.json"));
    qunsetenv("XDG_STATE_HOME");
    const auto restore =
        qScopeGuard([this] { qputenv("XDG_STATE_HOME", QFile::encodeName(env_.state())); });
    QCOMPARE(ThumbsLists::defaultStateFile(),
             env_.home() + QStringLiteral("/.local/state/kavelo/thumbs.json"));
}

QTEST_GUILESS_MAIN(TestThumbsLists)
#include "TestThumbsLists.moc"
