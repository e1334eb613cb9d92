// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlaylistWriter.h"

#include <QSaveFile>
#include <QStringEncoder>

namespace {
const QString kLineEnd = QStringLiteral("\r\n");

// A line break inside an entry would split it into two playlist lines.
QString asOneLine(QString entry)
{
    entry.replace(QLatin1Char('\r'), QLatin1Char(' '));
    entry.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return entry;
}

} // namespace

std::unique_ptr<QSaveFile> saveFileFor(const QString &path)
{
    return std::make_unique<QSaveFile>(path);
}

std::optional<PlaylistWriteError> writeFileWhole(const QString &path, const QByteArray &content,
                                                 const SaveFileFor &open)
{
    const std::unique_ptr<QSaveFile> file = open(path);
    if (!file->open(QIODevice::WriteOnly))
        return PlaylistWriteError{path, file->errorString()};
    if (file->write(content) != content.size()) {
        const QString reason = file->errorString();
        file->cancelWriting();
        return PlaylistWriteError{path, reason};
    }
    if (!file->commit())
        return PlaylistWriteError{path, file->errorString()};
    return std::nullopt;
}

QByteArray m3uText(const QStringList &entries)
{
    QString text = QStringLiteral("#EXTM3U") + kLineEnd;
    for (const QString &entry : entries)
        text += asOneLine(entry) + kLineEnd;
    QStringEncoder toLocale(QStringConverter::System);
    return toLocale.encode(text);
}

QList<PlaylistWriteError> makePlaylists(const QStringList &thumbsUp, const QStringList &thumbsDown,
                                        const QString &thumbsUpFile, const QString &thumbsDownFile,
                                        const SaveFileFor &open)
{
    QList<PlaylistWriteError> errors;
    const auto writeList = [&errors, &open](const QStringList &entries, const QString &path) {
        if (entries.isEmpty())
            return;
        if (const auto error = writeFileWhole(path, m3uText(entries), open))
            errors.append(*error);
    };
    writeList(thumbsUp, thumbsUpFile);
    writeList(thumbsDown, thumbsDownFile);
    return errors;
}
