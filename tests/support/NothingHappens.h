// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDeadlineTimer>
#include <QTest>

#include <algorithm>
#include <functional>

// Runs the event loop for `ms` and tells whether `happened` stayed false all
// along: for checks whose point is that something does not happen. Without a
// condition it only lets the loop run, so that a stray warning fails the test.
inline bool nothingHappensWithin(
    int ms, const std::function<bool()> &happened = [] { return false; })
{
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        if (happened())
            return false;
        QTest::qWait(std::min<qint64>(10, deadline.remainingTime()));
    }
    return !happened();
}
