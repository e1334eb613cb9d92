// SPDX-License-Identifier: GPL-3.0-or-later
#include "FailDevice.h"

#include "core/PlaylistWriter.h"

#include "TestFiles.h"
#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <QTemporaryDir>
#include <QTest>

static QStringList numberedSongs(int count)
{
    QStringList songs;
    for (int i = 0; i < count; ++i)
        songs.append(QStringLiteral("/music/song %1.mp3").arg(i));
    return songs;
}

static QByteArray expectedFile(const QStringList &songs)
{
    QByteArray text("#EXTM3U\r\n");
    for (const QString &song : songs)
        text += song.toUtf8() + "\r\n";
    return text;
}

class TestPlaylistWriter : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void text_data();
    void text();
    void writesBothFiles_data();
    void writesBothFiles();
    void emptyListsLeaveFilesAlone_data();
    void emptyListsLeaveFilesAlone();
    void replacesALongerFileWhole();
    void unwritableTarget_data();
    void unwritableTarget();
    void bothUnwritableAreReportedInOrder();
    void aFullDiskLeavesTheOldFile_data();
    void aFullDiskLeavesTheOldFile();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString up_;
    QString down_;
};

void TestPlaylistWriter::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    up_ = dir_->filePath(QStringLiteral("keepers.m3u"));
    down_ = dir_->filePath(QStringLiteral("loosers.m3u"));
}

void TestPlaylistWriter::text_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("no entry") << QStringList() << QByteArray("#EXTM3U\r\n");
    QTest::newRow("kept in order")
        << QStringList{"/m/b.mp3", "/m/a.mp3"} << QByteArray("#EXTM3U\r\n/m/b.mp3\r\n/m/a.mp3\r\n");
    QTest::newRow("duplicates kept")
        << QStringList{"/m/a.mp3", "/m/a.mp3"} << QByteArray("#EXTM3U\r\n/m/a.mp3\r\n/m/a.mp3\r\n");
    QTest::newRow("empty entry stays a line")
        << QStringList{"", "Y"} << QByteArray("#EXTM3U\r\n\r\nY\r\n");
    QTest::newRow("blanks kept") << QStringList{"  /m/x y.mp3 "}
                                 << QByteArray("#EXTM3U\r\n  /m/x y.mp3 \r\n");
    QTest::newRow("line feed inside")
        << QStringList{"/m/a\nb.mp3"} << QByteArray("#EXTM3U\r\n/m/a b.mp3\r\n");
    QTest::newRow("carriage return and line feed inside")
        << QStringList{"/m/a\r\n#EXTINF:1,x"} << QByteArray("#EXTM3U\r\n/m/a  #EXTINF:1,x\r\n");
    QTest::newRow("non-ASCII") << QStringList{QStringLiteral("/music/Björk/Jóga – ライブ.mp3")}
                               << QByteArray(
                                      "#EXTM3U\r\n/music/Bj\xc3\xb6rk/J\xc3\xb3ga \xe2\x80\x93 "
                                      "\xe3\x83\xa9\xe3\x82\xa4\xe3\x83\x96.mp3\r\n");
}

void TestPlaylistWriter::text()
{
    QFETCH(QStringList, entries);
    QFETCH(QByteArray, expected);
    QCOMPARE(m3uText(entries), expected);
}

void TestPlaylistWriter::writesBothFiles_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("1") << 1;
    QTest::newRow("255") << 255;
    QTest::newRow("256") << 256;
    QTest::newRow("10000") << 10000;
}

// Written in full, and nothing left behind next to the two files.
void TestPlaylistWriter::writesBothFiles()
{
    QFETCH(int, count);
    const QStringList up = numberedSongs(count);
    const QStringList down = numberedSongs(count + 1);
    QVERIFY(makePlaylists(up, down, up_, down_).isEmpty());
    QCOMPARE(readFile(up_), expectedFile(up));
    QCOMPARE(readFile(down_), expectedFile(down));
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden, QDir::Name),
             (QStringList{"keepers.m3u", "loosers.m3u"}));
}

void TestPlaylistWriter::emptyListsLeaveFilesAlone_data()
{
    QTest::addColumn<bool>("upEmpty");
    QTest::addColumn<bool>("downEmpty");
    QTest::addColumn<bool>("filesExist");
    for (const bool exist : {false, true}) {
        const char *state = exist ? "existing" : "missing";
        QTest::addRow("both empty, %s", state) << true << true << exist;
        QTest::addRow("thumbs down empty, %s", state) << false << true << exist;
        QTest::addRow("thumbs up empty, %s", state) << true << false << exist;
    }
}

void TestPlaylistWriter::emptyListsLeaveFilesAlone()
{
    QFETCH(bool, upEmpty);
    QFETCH(bool, downEmpty);
    QFETCH(bool, filesExist);
    const QByteArray old("old content\r\n");
    if (filesExist) {
        QVERIFY(writeFile(up_, old));
        QVERIFY(writeFile(down_, old));
    }
    const QStringList up = upEmpty ? QStringList() : QStringList{"X"};
    const QStringList down = downEmpty ? QStringList() : QStringList{"Y"};
    QVERIFY(makePlaylists(up, down, up_, down_).isEmpty());

    const auto check = [&](const QString &path, bool empty, const QByteArray &written) {
        if (!empty)
            return readFile(path) == written;
        return filesExist ? readFile(path) == old : !QFile::exists(path);
    };
    QVERIFY(check(up_, upEmpty, "#EXTM3U\r\nX\r\n"));
    QVERIFY(check(down_, downEmpty, "#EXTM3U\r\nY\r\n"));
}

void TestPlaylistWriter::replacesALongerFileWhole()
{
    QVERIFY(writeFile(up_, QByteArray(5000, 'z')));
    QVERIFY(makePlaylists(QStringList{"X"}, QStringList(), up_, down_).isEmpty());
    QCOMPARE(readFile(up_), QByteArray("#EXTM3U\r\nX\r\n"));
}

void TestPlaylistWriter::unwritableTarget_data()
{
    QTest::addColumn<bool>("upBroken");
    QTest::addColumn<QString>("brokenPath"); // relative to the temporary folder
    QTest::newRow("thumbs up under a file") << true << "blocker/keepers.m3u";
    QTest::newRow("thumbs up in a missing folder") << true << "missing/keepers.m3u";
    QTest::newRow("thumbs down under a file") << false << "blocker/loosers.m3u";
    QTest::newRow("thumbs down in a missing folder") << false << "missing/loosers.m3u";
    QTest::newRow("thumbs up is a folder") << true << "folder";
    QTest::newRow("thumbs up without a name") << true << "";
}

void TestPlaylistWriter::unwritableTarget()
{
    QFETCH(bool, upBroken);
    QFETCH(QString, brokenPath);
    QVERIFY(writeFile(dir_->filePath(QStringLiteral("blocker")), "a plain file"));
    QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("folder")));
    const QByteArray old("old content\r\n");
    QVERIFY(writeFile(up_, old));
    QVERIFY(writeFile(down_, old));

    const QString broken = brokenPath.isEmpty() ? QString() : dir_->filePath(brokenPath);
    const QString up = upBroken ? broken : up_;
    const QString down = upBroken ? down_ : broken;
    const auto errors = makePlaylists(QStringList{"X"}, QStringList{"Y"}, up, down);

    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors.first().path, broken);
    QVERIFY2(!errors.first().reason.isEmpty(), "the reason is reported");
    QCOMPARE(readFile(upBroken ? down_ : up_),
             upBroken ? QByteArray("#EXTM3U\r\nY\r\n") : QByteArray("#EXTM3U\r\nX\r\n"));
    QCOMPARE(readFile(upBroken ? up_ : down_), old);
    QCOMPARE(readFile(dir_->filePath(QStringLiteral("blocker"))), QByteArray("a plain file"));
    QVERIFY(QFileInfo(dir_->filePath(QStringLiteral("folder"))).isDir());
    QVERIFY(QDir(dir_->filePath(QStringLiteral("folder"))).isEmpty());
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

void TestPlaylistWriter::bothUnwritableAreReportedInOrder()
{
    const QString up = dir_->filePath(QStringLiteral("no/keepers.m3u"));
    const QString down = dir_->filePath(QStringLiteral("none/loosers.m3u"));
    const auto errors = makePlaylists(QStringList{"X"}, QStringList{"Y"}, up, down);
    QCOMPARE(errors.size(), 2);
    QCOMPARE(errors.at(0).path, up);
    QCOMPARE(errors.at(1).path, down);
}

void TestPlaylistWriter::aFullDiskLeavesTheOldFile_data()
{
    QTest::addColumn<bool>("upFails");
    QTest::addColumn<qint64>("budget"); // bytes the disk takes before it is full
    QTest::newRow("thumbs down, half-way") << false << qint64(4096);
    QTest::newRow("thumbs up, at once") << true << qint64(0);
}

// The disk fills up while one playlist is written: that file keeps its old
// content, nothing is left beside it, and the other playlist is still written.
void TestPlaylistWriter::aFullDiskLeavesTheOldFile()
{
    QFETCH(bool, upFails);
    QFETCH(qint64, budget);
    const QByteArray old("old content\r\n");
    QVERIFY(writeFile(up_, old));
    QVERIFY(writeFile(down_, old));
    const QStringList shortList{QStringLiteral("/music/a.mp3")};
    const QStringList longList = numberedSongs(1000);
    const QString failing = upFails ? up_ : down_;
    const QString written = upFails ? down_ : up_;

    const auto errors =
        makePlaylists(upFails ? longList : shortList, upFails ? shortList : longList, up_, down_,
                      [&](const QString &path) -> std::unique_ptr<QSaveFile> {
                          if (path == failing)
                              return std::make_unique<FailDevice<QSaveFile>>(budget, path);
                          return std::make_unique<QSaveFile>(path);
                      });

    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors.first().path, failing);
    QCOMPARE(errors.first().reason, QStringLiteral("No space left on device"));
    QCOMPARE(readFile(written), expectedFile(shortList));
    QCOMPARE(readFile(failing), old);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

QTEST_GUILESS_MAIN(TestPlaylistWriter)
#include "TestPlaylistWriter.moc"
