// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// What an accepted frame asks for, as its number (0 to 17) goes from the
// decoding to the dispatch: the on keys of the bank's units 1 to 8 load the
// eight playlists, their off keys control playback, bright and dim the volume.
enum class Command : quint8
{
    FirstPlaylist = 0, // unit 1 on; unit n on is FirstPlaylist + n - 1
    LastPlaylist = 7,  // unit 8 on
    Pause = 8,         // unit 1 off
    Back5Seconds = 9,
    Previous = 10,
    Advance = 11,
    ThumbsUp = 12,
    ThumbsDown = 13,
    ShuffleOn = 14,
    ShuffleOff = 15, // unit 8 off
    VolumeUp = 16,   // bright
    VolumeDown = 17, // dim
};

constexpr int kUnitsPerBank = 8;

// The on and off keys of a bank unit, 0 to 7.
constexpr Command onKey(quint8 unitIndex)
{
    return Command(quint8(Command::FirstPlaylist) + unitIndex);
}
constexpr Command offKey(quint8 unitIndex)
{
    return Command(quint8(Command::Pause) + unitIndex);
}
