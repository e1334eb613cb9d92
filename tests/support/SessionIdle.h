// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/PlayerSession.h"

#include <QDeadlineTimer>
#include <QThread>

#include <chrono>
#include <future>
#include <memory>

// Waits until the session has run every job posted before: jobs run in order,
// so a last job of the test's own tells. False when that took longer than
// `timeoutMs`. A full queue is waited out, as a key press would be dropped.
inline bool waitForIdle(PlayerSession &session, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    const auto done = std::make_shared<std::promise<void>>();
    std::future<void> ran = done->get_future();
    while (!session.post([done](PlayerControl &) { done->set_value(); })) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(1);
    }
    return ran.wait_for(std::chrono::milliseconds(deadline.remainingTime())) ==
           std::future_status::ready;
}
