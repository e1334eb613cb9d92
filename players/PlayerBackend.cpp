// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlayerBackend.h"

#include "core/Logging.h"

#include <QDebug>

#include <algorithm>

bool PlayerBackend::loadPlaylist(const QString &path)
{
    if (path.isEmpty()) {
        warn("load", QStringLiteral("no playlist file is assigned to this key"));
        return false;
    }
    const QFileInfo file(path);
    if (!file.isFile()) {
        warn("load", QStringLiteral("playlist file \"%1\" does not exist").arg(path));
        return false;
    }
    // Players take a file they cannot read for an empty list, and some drop
    // their own list for it.
    if (!file.isReadable()) {
        warn("load", QStringLiteral("playlist file \"%1\" cannot be read").arg(path));
        return false;
    }
    return loadPlaylistFile(file);
}

// A stored volume above 255 must not drive the player past full volume.
bool PlayerBackend::setVolume(qint16 level)
{
    return setVolumeLevel(std::clamp<int>(level, 0, 255));
}

void PlayerBackend::warn(const char *what, const QString &why) const
{
    qCWarning(lcPlayer).noquote()
        << QStringLiteral("%1 %2 failed: %3").arg(QLatin1String(name_), QLatin1String(what), why);
}
