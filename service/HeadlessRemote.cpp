// SPDX-License-Identifier: GPL-3.0-or-later
#include "HeadlessRemote.h"

#include "core/FrameDecoder.h"
#include "core/PlaylistWriter.h"
#include "core/SettingsModel.h"
#include "core/ThumbsLists.h"
#include "mqtt/BrokerFollower.h"
#include "serial/SerialComm.h"
#include "system/DesktopNotifier.h"

#include <QTimer>

#include <cstdio>

namespace {
void say(const QString &line)
{
    const QByteArray text = QStringLiteral("kavelo: %1\n").arg(line).toLocal8Bit();
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    std::fflush(stderr);
}
} // namespace

HeadlessRemote::HeadlessRemote(SettingsModel &settings, ThumbsLists &thumbs,
                               PlayerFactory createPlayer, QObject *parent)
    : QObject(parent), settings_(settings), thumbs_(thumbs), comm_(new SerialComm(settings, this)),
      notifier_(new DesktopNotifier(QDBusConnection::sessionBus(), this)),
      keyPath_(settings, *comm_, *this, std::move(createPlayer)),
      broker_(new BrokerFollower(settings, keyPath_, this))
{
}

HeadlessRemote::~HeadlessRemote()
{
    stop();
}

// What the window would tell in a message goes to the journal, and a port that
// cannot be opened is opened as soon as its device lets it.
void HeadlessRemote::start()
{
    const SerialLine::OpenResult opened = keyPath_.start();
    if (const QStringList rooms = keyPath_.roomsHeard(); !rooms.isEmpty()) {
        say(settings_.broker().host.isEmpty()
                ? QStringLiteral("keysFrom names the receivers of %1, but no broker is set "
                                 "(mqttHost): no key comes in")
                      .arg(rooms.join(QStringLiteral(", ")))
                : QStringLiteral("taking keys from the receivers of %1 through the broker")
                      .arg(rooms.join(QStringLiteral(", "))));
        return;
    }
    const QString device = comm_->deviceName();
    // Said once the loop waits: a key pressed from here on counts.
    if (opened == SerialLine::OpenResult::Opened) {
        say(QStringLiteral("listening on %1").arg(device));
        return;
    }
    const QString message = comm_->openMessage(opened);
    say(message.isEmpty() ? QStringLiteral("cannot open %1").arg(device) : message);
    say(QStringLiteral("waiting for %1").arg(device));
    keyPath_.loop().reopenWhenAvailable();
}

void HeadlessRemote::stop()
{
    keyPath_.stop();
    // "offline" goes out on the way out, while the event loop still runs.
    delete broker_;
    broker_ = nullptr;
}

void HeadlessRemote::showFrame(const QString &text)
{
    frame_ = text;
}

void HeadlessRemote::highlightFrame(bool accepted)
{
    say(QStringLiteral("frame %1 (%2)")
            .arg(frame_,
                 accepted ? QStringLiteral("accepted") : QStringLiteral("other house or bank")));
}

void HeadlessRemote::showCommand(const QString &text)
{
    if (!text.isEmpty())
        say(QStringLiteral("command %1").arg(text));
}

void HeadlessRemote::startPauseGuard(int intervalMs)
{
    QTimer::singleShot(intervalMs, Qt::PreciseTimer, this,
                       [this] { keyPath_.remote().endPauseGuard(); });
}

void HeadlessRemote::addThumbsUp(const QString &song)
{
    thumbs_.add(ThumbsLists::List::Up, song);
    for (const PlaylistWriteError &failure :
         makePlaylists(thumbs_.entries(ThumbsLists::List::Up), {}, settings_.thumbsUpFile(), {}))
        say(QStringLiteral("cannot write %1: %2").arg(failure.path, failure.reason));
}

void HeadlessRemote::addThumbsDown(const QString &song)
{
    thumbs_.add(ThumbsLists::List::Down, song);
    for (const PlaylistWriteError &failure : makePlaylists(
             {}, thumbs_.entries(ThumbsLists::List::Down), {}, settings_.thumbsDownFile()))
        say(QStringLiteral("cannot write %1: %2").arg(failure.path, failure.reason));
}

// A music server may still have a desktop session on its bus.
void HeadlessRemote::announce(const QString &summary, const QString &body)
{
    notifier_->notify(summary, body);
}
