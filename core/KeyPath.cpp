// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeyPath.h"

#include "SettingsModel.h"

KeyPath::KeyPath(SettingsModel &settings, SerialLine &line, RemoteView &view,
                 PlayerFactory createPlayer)
    : settings_(settings), line_(line), session_(std::move(createPlayer)),
      remote_(settings, view, session_), loop_(line)
{
    QObject::connect(&loop_, &ReceiveLoop::frameReceived, &loop_,
                     [this](const QByteArray &received) { remote_.handleFrame(received); });
}

SerialLine::OpenResult KeyPath::start()
{
    remote_.getOptions();
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
