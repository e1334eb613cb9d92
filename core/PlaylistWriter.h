// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QSaveFile>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

// The text of one thumbs playlist: "#EXTM3U" and one line per entry, every line
// ending in CR LF, in the locale's 8-bit encoding.
QByteArray m3uText(const QStringList &entries);

struct PlaylistWriteError
{
    QString path;
    QString reason;
};

// The device one file is written through before it replaces the file: a
// QSaveFile on the path. Tests hand in one that fails as a full disk does.
using SaveFileFor = std::function<std::unique_ptr<QSaveFile>(const QString &path)>;
std::unique_ptr<QSaveFile> saveFileFor(const QString &path);

// Replaces the file at `path` with `content` as a whole, or leaves it as it was:
// a crash or a full disk mid-write never leaves half a file.
std::optional<PlaylistWriteError> writeFileWhole(const QString &path, const QByteArray &content,
                                                 const SaveFileFor &open = saveFileFor);

// Writes the thumbs-up list, then the thumbs-down list, each to its file,
// replacing the file whole. An empty list leaves its file untouched. A file that
// cannot be written is reported and the other one is still written.
QList<PlaylistWriteError> makePlaylists(const QStringList &thumbsUp, const QStringList &thumbsDown,
                                        const QString &thumbsUpFile, const QString &thumbsDownFile,
                                        const SaveFileFor &open = saveFileFor);
