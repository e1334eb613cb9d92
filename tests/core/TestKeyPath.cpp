// SPDX-License-Identifier: GPL-3.0-or-later
// The key path follows the choice of player: a choice made in the window's
// menu, or written to the file by another program, sends the next key to the
// player now chosen, without a restart.

#include "MemorySettingsStore.h"
#include "RecordingPlayer.h"
#include "RecordingView.h"

#include "core/KeyPath.h"
#include "core/Settings.h"
#include "serial/SerialComm.h"

#include <QMutex>
#include <QTest>

namespace {
// The players the key path had made, each with the choice it was made for
// and the calls it was handed. Filled on the player's thread.
class MadePlayers
{
public:
    PlayerFactory factory()
    {
        return [this](const PlayerChoice &choice) {
            auto player = std::make_unique<RecordingPlayer>();
            QMutexLocker lock(&mutex_);
            const qsizetype index = choices_.size();
            choices_ << choice;
            calls_ << QStringList();
            player->onCall = [this, index](const QString &call) {
                QMutexLocker lock(&mutex_);
                calls_[index] << call;
            };
            return player;
        };
    }

    QList<PlayerChoice> choices()
    {
        QMutexLocker lock(&mutex_);
        return choices_;
    }
    QStringList calls(qsizetype player)
    {
        QMutexLocker lock(&mutex_);
        return calls_.value(player);
    }

private:
    QMutex mutex_;
    QList<PlayerChoice> choices_;
    QList<QStringList> calls_;
};

using Writes = QList<QPair<QString, QString>>;
} // namespace

class TestKeyPath : public QObject
{
    Q_OBJECT

private slots:
    void followsThePlayerChoice_data();
    void followsThePlayerChoice();
};

void TestKeyPath::followsThePlayerChoice_data()
{
    QTest::addColumn<Writes>("before"); // the settings the key path starts with
    QTest::addColumn<bool>("inFile");
    QTest::addColumn<Writes>("writes");
    QTest::addColumn<bool>("newPlayer");
    QTest::addColumn<PlayerChoice>("chosen");

    const PlayerChoice automatic{"auto", "", "", 0, Defaults::mpdMusicDir()};
    QTest::newRow("the menu picks VLC")
        << Writes{} << false << Writes{{Keys::mprisPlayer, "vlc"}, {Keys::player, "mpris"}} << true
        << PlayerChoice{"mpris", "vlc", "", 0, Defaults::mpdMusicDir()};
    QTest::newRow("the MPD dialog saves an address, in one new player")
        << Writes{} << false
        << Writes{{Keys::mpdHost, "secret@server"},
                  {Keys::mpdPort, "6601"},
                  {Keys::mpdMusicDir, "/mnt/music"},
                  {Keys::player, "mpd"}}
        << true << PlayerChoice{"mpd", "", "secret@server", 6601, "/mnt/music"};
    QTest::newRow("another program writes the file")
        << Writes{} << true << Writes{{Keys::player, "MPD"}, {Keys::mpdHost, "/run/mpd/socket"}}
        << true << PlayerChoice{"mpd", "", "/run/mpd/socket", 0, Defaults::mpdMusicDir()};
    QTest::newRow("the same choice written again")
        << Writes{} << false << Writes{{Keys::player, "auto"}, {Keys::mprisPlayer, ""}} << false
        << automatic;
    QTest::newRow("a key that chooses no player")
        << Writes{} << true << Writes{{Keys::volume, "90"}} << false << automatic;

    // One key alone changes, "player" staying what it was.
    const Writes vlc{{Keys::player, "mpris"}, {Keys::mprisPlayer, "vlc"}};
    const Writes mpd{{Keys::player, "mpd"}, {Keys::mpdHost, "server"}, {Keys::mpdPort, "6600"}};
    const auto mpdAt = [](const char *host, quint16 port, const QString &musicDir) {
        return PlayerChoice{"mpd", "", host, port, musicDir};
    };
    const struct
    {
        const char *name;
        Writes before;
        QString key;
        QString value;
        PlayerChoice chosen;
    } alone[] = {
        {"the menu picks a second MPRIS player", vlc, Keys::mprisPlayer, "strawberry",
         PlayerChoice{"mpris", "strawberry", "", 0, Defaults::mpdMusicDir()}},
        {"the MPD dialog saves a new host", mpd, Keys::mpdHost, "other",
         mpdAt("other", 6600, Defaults::mpdMusicDir())},
        {"the MPD dialog saves a new port", mpd, Keys::mpdPort, "6601",
         mpdAt("server", 6601, Defaults::mpdMusicDir())},
        {"the MPD dialog saves a new music folder", mpd, Keys::mpdMusicDir, "/mnt/music",
         mpdAt("server", 6600, "/mnt/music")},
    };
    for (const auto &row : alone) {
        for (const bool inFile : {false, true}) {
            QTest::addRow("%s%s", row.name, inFile ? ", in the file" : "")
                << row.before << inFile << Writes{{row.key, row.value}} << true << row.chosen;
        }
    }
}

void TestKeyPath::followsThePlayerChoice()
{
    QFETCH(Writes, before);
    QFETCH(bool, inFile);
    QFETCH(Writes, writes);
    QFETCH(bool, newPlayer);
    QFETCH(PlayerChoice, chosen);

    MemorySettingsStore file;
    for (const auto &[key, value] : before)
        file.setValue(key, value);
    SettingsModel settings(file);
    SerialComm line(settings);
    RecordingView view;
    MadePlayers made;
    KeyPath keyPath(settings, line, view, made.factory());
    QCOMPARE(made.choices().size(), 1);

    for (const auto &[key, value] : writes) {
        if (inFile)
            file.setValue(key, value);
        else
            settings.setValue(key, value);
    }
    if (inFile)
        settings.reload(); // as when the file changes on disk

    // "A4 off" arrives in the same moment, before the event loop has turned.
    emit keyPath.loop().frameReceived(QByteArray("\x03\x03", 2));
    const qsizetype last = newPlayer ? 1 : 0;
    QTRY_VERIFY(made.calls(last).contains(QStringLiteral("nextTrack")));
    QCOMPARE(made.choices().size(), last + 1);
    QCOMPARE(made.choices().constLast(), chosen);
    if (newPlayer)
        QVERIFY(!made.calls(0).contains(QStringLiteral("nextTrack")));
}

QTEST_GUILESS_MAIN(TestKeyPath)
#include "TestKeyPath.moc"
