#include "PlaylistFile.h"

std::optional<QFileInfo> playlistToLoad(const QString &path, QString &why)
{
    if (path.isEmpty()) {
        why = QStringLiteral("no playlist file is assigned to this key");
        return std::nullopt;
    }
    const QFileInfo file(path);
    if (!file.isFile()) {
        why = QStringLiteral("playlist file \"%1\" does not exist").arg(path);
        return std::nullopt;
    }
    return file;
}
