#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The text of one thumbs playlist: "#EXTM3U" and one line per entry, every line
// ending in CR LF, in the locale's 8-bit encoding.
QByteArray m3uText(const QStringList &entries);

struct PlaylistWriteError
{
    QString path;
    QString reason;
};

// Writes the thumbs-up list, then the thumbs-down list, each to its file,
// replacing the file whole. An empty list leaves its file untouched. A file that
// cannot be written is reported and the other one is still written.
QList<PlaylistWriteError> makePlaylists(const QStringList &thumbsUp, const QStringList &thumbsDown,
                                        const QString &thumbsUpFile,
                                        const QString &thumbsDownFile);
