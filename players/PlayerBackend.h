// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/PlayerControl.h"

#include <QFileInfo>
#include <QString>

// What the MPRIS and MPD backends share. The playlist file and the volume are
// checked here, once: a backend is handed only a file that exists and can be
// read, and a level in 0..255. Warnings name the backend as `name` ("player", "MPD").
class PlayerBackend : public PlayerControl
{
public:
    bool loadPlaylist(const QString &path) final;
    bool setVolume(qint16 level) final;

protected:
    explicit PlayerBackend(const char *name) : name_(name) {}

    // Loads `file`, which exists and can be read. May block; false when the player did not take it.
    virtual bool loadPlaylistFile(const QFileInfo &file) = 0;
    // Sets the volume to `level`, 0..255. May block; false when the player did not take it.
    virtual bool setVolumeLevel(int level) = 0;

    // "kavelo.player: <name> <what> failed: <why>" on stderr.
    void warn(const char *what, const QString &why) const;

private:
    const char *name_;
};
