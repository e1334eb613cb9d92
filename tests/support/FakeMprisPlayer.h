// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A small MPRIS player of the tests' own, for what mpv's plugin does not do
// (it always reports shuffle on) and for choosing among several players. It
// answers from a thread of its own, since the player under test blocks the
// main thread while it waits for an answer.

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QMutex>
#include <QStringList>
#include <QThread>
#include <QVariantMap>

#include <functional>

struct FakePlayerState
{
    QString identity = QStringLiteral("Kavelo Test Player");
    bool shuffle = false;
    QVariantMap metadata;
    QString playbackStatus = QStringLiteral("Stopped");
    QStringList calls;
};

class FakePlayerAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(bool Shuffle READ shuffle WRITE setShuffle)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)

public:
    FakePlayerAdaptor(QObject *parent, QMutex &mutex, FakePlayerState &state)
        : QDBusAbstractAdaptor(parent), mutex_(mutex), state_(state)
    {
    }

    bool shuffle() const { return read(&FakePlayerState::shuffle); }
    void setShuffle(bool on)
    {
        QMutexLocker lock(&mutex_);
        state_.shuffle = on;
    }
    QVariantMap metadata() const { return read(&FakePlayerState::metadata); }
    QString playbackStatus() const { return read(&FakePlayerState::playbackStatus); }

public slots:
    void Play() { record(QStringLiteral("Play")); }
    void PlayPause() { record(QStringLiteral("PlayPause")); }
    void Stop() { record(QStringLiteral("Stop")); }
    void Next() { record(QStringLiteral("Next")); }
    void Previous() { record(QStringLiteral("Previous")); }
    void Seek(qlonglong offset) { record(QStringLiteral("Seek %1").arg(offset)); }
    void OpenUri(const QString &uri) { record(QStringLiteral("OpenUri ") + uri); }

private:
    template <typename T> T read(T FakePlayerState::*field) const
    {
        QMutexLocker lock(&mutex_);
        return state_.*field;
    }
    void record(const QString &call)
    {
        QMutexLocker lock(&mutex_);
        state_.calls << call;
    }

    QMutex &mutex_;
    FakePlayerState &state_;
};

// The player's own name, as a menu shows it.
class FakeRootAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(QString Identity READ identity)

public:
    FakeRootAdaptor(QObject *parent, QMutex &mutex, FakePlayerState &state)
        : QDBusAbstractAdaptor(parent), mutex_(mutex), state_(state)
    {
    }

    QString identity() const
    {
        QMutexLocker lock(&mutex_);
        return state_.identity;
    }

private:
    QMutex &mutex_;
    FakePlayerState &state_;
};

class FakeMprisPlayer
{
public:
    // `set` sets the player up before it is on the bus.
    FakeMprisPlayer(const QString &busAddress, const QString &name,
                    const std::function<void(FakePlayerState &)> &set = {})
        : connection_(QDBusConnection::connectToBus(busAddress, QStringLiteral("fake-") + name)),
          service_(QStringLiteral("org.mpris.MediaPlayer2.") + name)
    {
        if (set)
            set(state_);
        thread_.start();
        host_ = new QObject;
        new FakeRootAdaptor(host_, mutex_, state_);
        new FakePlayerAdaptor(host_, mutex_, state_);
        host_->moveToThread(&thread_);
        connection_.registerObject(QStringLiteral("/org/mpris/MediaPlayer2"), host_);
        connection_.registerService(service_);
    }

    ~FakeMprisPlayer()
    {
        connection_.unregisterService(service_);
        connection_.unregisterObject(QStringLiteral("/org/mpris/MediaPlayer2"));
        QDBusConnection::disconnectFromBus(connection_.name());
        // Deleted on its own thread before that thread's loop is told to stop.
        QMetaObject::invokeMethod(
            host_, [host = host_] { delete host; }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }

    template <typename F> auto with(F f)
    {
        QMutexLocker lock(&mutex_);
        return f(state_);
    }

    QString service() const { return service_; }
    QStringList calls()
    {
        return with([](FakePlayerState &state) { return state.calls; });
    }

private:
    QDBusConnection connection_;
    QString service_;
    QThread thread_;
    QObject *host_ = nullptr;
    QMutex mutex_;
    FakePlayerState state_;
};
