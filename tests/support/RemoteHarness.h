// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "RecordingPlayer.h"
#include "RecordingSettingsStore.h"
#include "RecordingView.h"
#include "SessionIdle.h"

#include "core/PlayerSession.h"
#include "core/RemoteControl.h"
#include "core/SettingsModel.h"

#include <QCoreApplication>

#include <functional>
#include <memory>

// A RemoteControl wired to recording doubles, with its player behind a real
// PlayerSession. `configure` sets the player up before the session first asks
// it whether it runs; the player's calls start out empty. `store` is the file
// behind `settings`.
struct RemoteHarness
{
    using Configure = std::function<void(RecordingPlayer &)>;

    explicit RemoteHarness(const Configure &configure = {})
        : session([this, &configure] {
              if (configure)
                  configure(*pendingPlayer);
              return std::move(pendingPlayer);
          })
    {
        player.calls.clear();
    }

    // Waits until the session has run every posted job and the window has had
    // the answers; false when the player took longer than five seconds.
    bool settle()
    {
        if (!waitForIdle(session, 5000))
            return false;
        QCoreApplication::sendPostedEvents();
        return true;
    }

    RecordingSettingsStore store;
    SettingsModel settings{store};
    RecordingView view;
    std::unique_ptr<RecordingPlayer> pendingPlayer = std::make_unique<RecordingPlayer>();
    RecordingPlayer &player = *pendingPlayer;
    PlayerSession session;
    RemoteControl remote{settings, view, session};
};
