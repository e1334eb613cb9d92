#pragma once

#include <QFileInfo>
#include <QString>

#include <optional>

// The playlist file a key is to load, for both player backends: nothing, with
// the reason in `why`, when no file is assigned or the path names no file.
std::optional<QFileInfo> playlistToLoad(const QString &path, QString &why);
