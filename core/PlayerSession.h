// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PlayerControl.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// The player, driven from a thread of its own so that the window never waits
// for it. Jobs run one after the other in the order they were posted; while
// the player does not answer, only a few wait and further ones are dropped.
class PlayerSession : public QObject
{
    Q_OBJECT

public:
    using Job = std::function<void(PlayerControl &)>;
    using Factory = std::function<std::unique_ptr<PlayerControl>()>;

    // Jobs that may wait behind the one that runs.
    static constexpr int kMaxWaitingJobs = 4;

    // Starts the thread, creates the backend there with `create` (nothing, or a
    // factory that makes nothing, gives a player whose every call fails) and
    // learns whether the player runs, within the backend's time limit.
    explicit PlayerSession(Factory create, QObject *parent = nullptr);
    // Drops the waiting jobs and lets the running one end: its further calls
    // fail at once, so a frozen player holds this up for one call at most.
    ~PlayerSession() override;

    // What the backend last said; never blocks, never asks the player. While
    // another backend is being made, true: a key then goes to it, as it may
    // well have a player, and fails there like any call if it has none.
    bool running() const { return replacing_.load() > 0 || running_.load(); }
    // Whether the player has a shuffle mode, as the backend last said: asked
    // when the session starts and whenever a player comes or goes.
    bool hasShuffle() const { return hasShuffle_.load(); }
    // Queues a job; false when the queue is full and the job was dropped.
    bool post(Job job);
    // Puts the backend that `create` makes in place of the one in use, on the
    // player's thread: jobs posted before run on the old one, jobs posted after
    // on the new one. Never blocks, and nothing is dropped.
    void replacePlayer(Factory create);
    // Runs `query` on the player's thread and hands its result to `reply` on
    // this object's thread. False when the queue is full.
    template <typename R>
    bool ask(std::function<R(PlayerControl &)> query, std::function<void(R)> reply);

signals:
    void runningChanged(bool running);

private:
    void makeBackend(const Factory &create);
    void runNext();
    void setRunning(bool running);
    void learnShuffle();

    QThread thread_;
    QObject *worker_ = nullptr; // lives on thread_; jobs run in its event loop
    std::unique_ptr<PlayerControl> backend_;
    std::unique_ptr<PlayerControl> guarded_;

    std::mutex mutex_;
    std::deque<Job> waiting_;
    bool stalled_ = false; // a job was dropped since the queue was last empty

    std::atomic<bool> running_{false};
    std::atomic<int> replacing_{0}; // backends asked for and not yet made
    std::atomic<bool> hasShuffle_{true};
    std::atomic<bool> closing_{false};
};

template <typename R>
bool PlayerSession::ask(std::function<R(PlayerControl &)> query, std::function<void(R)> reply)
{
    return post([this, query = std::move(query), reply = std::move(reply)](PlayerControl &player) {
        QMetaObject::invokeMethod(
            this, [reply, result = query(player)]() mutable { reply(std::move(result)); },
            Qt::QueuedConnection);
    });
}
