// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeyPath.h"

#include "HouseLink.h"
#include "Settings.h"

KeyPath::KeyPath(SettingsModel &settings, SerialLine &line, RemoteView &view,
                 PlayerFactory createPlayer)
    : settings_(settings), line_(line), createPlayer_(std::move(createPlayer)),
      choice_(settings.playerChoice()), session_(playerFor(choice_)),
      remote_(settings, view, session_), loop_(line)
{
    QObject::connect(&loop_, &ReceiveLoop::frameReceived, &loop_,
                     [this](const QByteArray &received) { handleFrame(received); });

    // The menu writes several keys at once, and so may a hand edit of the file:
    // the player is made again once, after the last of them.
    choiceChanged_.setSingleShot(true);
    choiceChanged_.setInterval(0);
    QObject::connect(&choiceChanged_, &QTimer::timeout, &loop_, [this] { followPlayerChoice(); });
    QObject::connect(&settings_, &SettingsModel::changed, &loop_, [this](const QString &key) {
        if (Keys::choosesPlayer(key))
            choiceChanged_.start();
    });
}

// The choice is read here, on the settings' thread; the player's thread gets
// it as a value.
PlayerSession::Factory KeyPath::playerFor(const PlayerChoice &choice) const
{
    return [create = createPlayer_, choice]() -> std::unique_ptr<PlayerControl> {
        if (!create)
            return nullptr;
        return create(choice);
    };
}

void KeyPath::handleFrame(const QByteArray &received)
{
    followPendingChoice();
    remote_.handleFrame(received);
}

// A frame that arrives in the same moment as a change of player may come
// before the timer's turn: the change goes first.
void KeyPath::followPendingChoice()
{
    if (choiceChanged_.isActive()) {
        choiceChanged_.stop();
        followPlayerChoice();
    }
}

void KeyPath::followPlayerChoice()
{
    PlayerChoice now = settings_.playerChoice();
    if (now == choice_)
        return;
    choice_ = std::move(now);
    session_.replacePlayer(playerFor(choice_));
}

void KeyPath::setHouse(HouseLink *house)
{
    if (house_)
        QObject::disconnect(house_, nullptr, &loop_, nullptr);
    house_ = house;
    remote_.setHouse(house);
    if (!house)
        return;
    QObject::connect(house, &HouseLink::commandReceived, &loop_,
                     [this](const QString &payload) { remote_.command(payload); });
    QObject::connect(
        house, &HouseLink::frameReceived, &loop_,
        [this](const QByteArray &frame, const QString &node) { frameFromRoom(frame, node); });
}

namespace {
// Two receivers hear one transmission of the remote within a few ms of each
// other, and the broker may hand the copies on some tens of ms apart; a remote
// repeats it 70 ms later at the soonest.
constexpr qint64 kSameTransmissionMs = 60;
} // namespace

// A frame another room's receiver heard goes the way of this room's own, for
// the rooms this one listens to. The copy a second receiver heard of the same
// transmission is dropped, so a held volume key steps once a repeat.
void KeyPath::frameFromRoom(const QByteArray &frame, const QString &node)
{
    if (!roomsHeard().contains(node) || frame.size() < 2)
        return;
    const bool copy = frame == roomFrame_ && node != roomNode_ && roomFrameAge_.isValid() &&
                      roomFrameAge_.elapsed() < kSameTransmissionMs;
    if (copy)
        return;
    roomFrame_ = frame;
    roomNode_ = node;
    roomFrameAge_.start();
    followPendingChoice();
    remote_.handleFrame(frame, RemoteControl::FrameSource::OtherRoom);
}

SerialLine::OpenResult KeyPath::start()
{
    remote_.getOptions();
    if (!roomsHeard().isEmpty()) {
        remote_.timeOver = 1;
        return SerialLine::OpenResult::Opened;
    }
    const SerialLine::OpenResult opened = line_.openAdapter(settings_.mainPort());
    remote_.timeOver = 1;
    loop_.start();
    return opened;
}

void KeyPath::stop()
{
    loop_.stop();
    if (line_.portOpen())
        line_.close();
}
