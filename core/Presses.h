// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QtGlobal>

// A remote sends a press as a burst: the same frame again and again, every 70
// to 120 ms, for as long as the key is held, and the receiver hands on every
// copy it hears. A frame with the same bytes as the one before, arriving within
// the release gap of it, belongs to the same press; a different frame, or a
// longer silence, starts a new one.
//
// The gap bridges one copy the receiver missed in a burst sent every 100 ms
// (a silence of 200 ms), and stays below the quarter second that parts two
// taps of a finger.
class Presses
{
public:
    static constexpr qint64 kReleaseGapMs = 200;
    // A key that repeats for longer than this is taken as stuck (a remote
    // wedged under a cushion), not as held.
    static constexpr qint64 kStuckAfterMs = 10000;

    struct Frame
    {
        enum class Kind
        {
            Press,  // the first frame of a press
            Repeat, // a repeat of a held key
            Stuck,  // the first repeat past the stuck limit
            Flood,  // every repeat after it, until the key is released
        };
        Kind kind = Kind::Press;
        qint64 heldMs = 0; // since the press began
    };

    // Where the frame `bytes` (its first two bytes count), arriving at
    // `nowMs` of a monotonic clock, stands in its press.
    Frame feed(const QByteArray &bytes, qint64 nowMs);

private:
    QByteArray last_;
    qint64 lastMs_ = 0;
    qint64 pressedMs_ = 0;
    bool stuck_ = false;
};
