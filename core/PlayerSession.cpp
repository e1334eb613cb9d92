// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlayerSession.h"
#include "Logging.h"

#include <QDebug>

namespace {
// Stands in when no player component could be created: every operation fails,
// so every command is skipped the way a failing player is.
class UnavailablePlayer : public PlayerControl
{
public:
    bool prepareLoad() override { return false; }
    bool play() override { return false; }
    bool setVolume(qint16) override { return false; }
    bool loadPlaylist(const QString &) override { return false; }
    std::optional<QString> getCurrentSong() override { return std::nullopt; }
    bool findPlayer() override { return false; }
    bool toggleShuffle() override { return false; }
    bool pause() override { return false; }
    bool nextTrack() override { return false; }
    bool previousTrack() override { return false; }
    bool back5Seconds() override { return false; }
    std::optional<bool> getShuffle() override { return std::nullopt; }
};

// What jobs get to call: the backend, until the session closes. From then on
// every call fails at once, so a job with several calls to a frozen player
// does not keep the program from ending.
class GuardedPlayer : public ForwardingPlayer
{
public:
    GuardedPlayer(PlayerControl &player, const std::atomic<bool> &closing)
        : player_(player), closing_(closing)
    {
    }

protected:
    PlayerControl &target() override { return closing_.load() ? closed_ : player_; }

private:
    PlayerControl &player_;
    UnavailablePlayer closed_;
    const std::atomic<bool> &closing_;
};
} // namespace

PlayerSession::PlayerSession(Factory create, QObject *parent) : QObject(parent)
{
    thread_.setObjectName(QStringLiteral("player"));
    worker_ = new QObject;
    worker_->moveToThread(&thread_);
    thread_.start();

    // The backend belongs to the thread that calls it: its bus watches, sockets
    // and timers are served by that thread's event loop.
    QMetaObject::invokeMethod(
        worker_, [this, create = std::move(create)] { makeBackend(create); },
        Qt::BlockingQueuedConnection);
}

// Runs on the player's thread. The backend in use goes first: it lets go of
// its bus watch and its MPD connection before the next one takes them up.
void PlayerSession::makeBackend(const Factory &create)
{
    guarded_.reset();
    backend_.reset();
    if (create)
        backend_ = create();
    if (!backend_)
        backend_ = std::make_unique<UnavailablePlayer>();
    guarded_ = std::make_unique<GuardedPlayer>(*backend_, closing_);
    // Another player may have come: what it offers is asked between jobs.
    backend_->onRunningChanged([this](bool running) {
        setRunning(running);
        QMetaObject::invokeMethod(
            worker_, [this] { learnShuffle(); }, Qt::QueuedConnection);
    });
    setRunning(backend_->findPlayer());
    learnShuffle();
}

void PlayerSession::replacePlayer(Factory create)
{
    if (closing_)
        return;
    // Queued behind the runNext of every job posted so far, each of which takes
    // one job: so the jobs keep their order around the change.
    ++replacing_;
    QMetaObject::invokeMethod(
        worker_,
        [this, create = std::move(create)] {
            if (!closing_)
                makeBackend(create);
            --replacing_;
        },
        Qt::QueuedConnection);
}

PlayerSession::~PlayerSession()
{
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        waiting_.clear();
    }
    // Waits behind the job that runs, if any; the backend goes on its own thread.
    QMetaObject::invokeMethod(
        worker_,
        [this] {
            guarded_.reset();
            backend_.reset();
            worker_->deleteLater();
        },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

bool PlayerSession::post(Job job)
{
    {
        std::lock_guard lock(mutex_);
        if (closing_)
            return false;
        if (waiting_.size() >= kMaxWaitingJobs) {
            if (!stalled_)
                qCWarning(lcPlayer, "the player does not keep up; key presses are dropped until it "
                                    "has caught up");
            stalled_ = true;
            return false;
        }
        waiting_.push_back(std::move(job));
    }
    QMetaObject::invokeMethod(
        worker_, [this] { runNext(); }, Qt::QueuedConnection);
    return true;
}

void PlayerSession::runNext()
{
    Job job;
    {
        std::lock_guard lock(mutex_);
        if (waiting_.empty())
            return;
        job = std::move(waiting_.front());
        waiting_.pop_front();
    }
    job(*guarded_);
    std::lock_guard lock(mutex_);
    if (waiting_.empty())
        stalled_ = false;
}

// Runs on the player's thread.
void PlayerSession::learnShuffle()
{
    if (!closing_ && backend_)
        hasShuffle_ = backend_->hasShuffle();
}

void PlayerSession::setRunning(bool running)
{
    if (running_.exchange(running) != running)
        emit runningChanged(running);
}
