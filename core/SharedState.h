#pragma once

#include <QString>
#include <QtGlobal>

#include <array>

// The program-wide working copy of the settings that the main window uses while
// it runs. The setup window changes it the moment the user changes a value.
struct SharedState
{
    QString houseCode = QStringLiteral("A");
    std::array<QString, 8> playlists; // playlistFile(1..8) is playlists[0..7]
    QString thumbsUpFile;
    QString thumbsDownFile;
    quint8 volStep = 5;

    QString &playlistFile(int n) { return playlists.at(n - 1); }
    const QString &playlistFile(int n) const { return playlists.at(n - 1); }
};

// The one instance of the program.
SharedState &sharedState();
