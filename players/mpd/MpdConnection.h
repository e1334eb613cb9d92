// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <memory>

#include <mpd/client.h>

// One connection to MPD, opened without ever waiting longer than a player call
// may: the connect, MPD's greeting and the password each count against the
// same kPlayerTimeoutMs. libmpdclient's own connect would wait as long as the
// system lets a TCP connect wait.
struct MpdConnection
{
    std::unique_ptr<mpd_connection, decltype(&mpd_connection_free)> connection{
        nullptr, &mpd_connection_free};
    bool overTcp = false;         // not MPD's local socket
    bool passwordRefused = false; // MPD answered, but refused the password of the address
};

// Connects to `host` (a name, an address, a socket path, or "" for
// libmpdclient's defaults; "password@" before it sends the password) on
// `port` (0: the default). No connection, and `why`, on failure.
MpdConnection connectMpd(const QString &host, unsigned port, QString &why);

// Between exchanges MPD has nothing to say: a connection that can be read
// then was closed (or broke, or is out of step), and is of no further use.
bool isSpent(int fd);

// Waits for the answer to a command that was sent; libmpdclient then reads it.
bool answered(mpd_connection *connection, QString &why);
// One command without a reply of its own: sent, answered, acknowledged.
bool acknowledged(mpd_connection *connection, QString &why, bool sent);
// What `why` says when MPD did not answer in time.
QString noAnswer();
