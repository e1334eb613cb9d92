#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The text of one thumbs playlist: "#EXTM3U" and one line per entry, every line
// ending in CR LF, in the locale's 8-bit encoding.
QByteArray m3uText(const QStringList &entries);

struct PlaylistWriteError
{
    QString path;
    QString reason;
};

// Replaces the file at `path` with `content` as a whole, or leaves it as it was:
// a crash or a full disk mid-write never leaves half a file.
std::optional<PlaylistWriteError> writeFileWhole(const QString &path, const QByteArray &content);

// Writes the thumbs-up list, then the thumbs-down list, each to its file,
// replacing the file whole. An empty list leaves its file untouched. A file that
// cannot be written is reported and the other one is still written.
QList<PlaylistWriteError> makePlaylists(const QStringList &thumbsUp, const QStringList &thumbsDown,
                                        const QString &thumbsUpFile, const QString &thumbsDownFile);
