// SPDX-License-Identifier: GPL-3.0-or-later
#include "Presses.h"

Presses::Frame Presses::feed(const QByteArray &bytes, qint64 nowMs)
{
    const QByteArray frame = bytes.left(2);
    const bool sameKey = !last_.isEmpty() && frame == last_ && nowMs - lastMs_ < kReleaseGapMs;
    last_ = frame;
    lastMs_ = nowMs;
    if (!sameKey) {
        pressedMs_ = nowMs;
        stuck_ = false;
        return {Frame::Kind::Press, 0};
    }
    const qint64 held = nowMs - pressedMs_;
    if (stuck_)
        return {Frame::Kind::Flood, held};
    if (held > kStuckAfterMs) {
        stuck_ = true;
        return {Frame::Kind::Stuck, held};
    }
    return {Frame::Kind::Repeat, held};
}
