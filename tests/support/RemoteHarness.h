#pragma once

#include "RecordingPlayer.h"
#include "RecordingSettingsStore.h"
#include "RecordingView.h"

#include "core/RemoteControl.h"
#include "core/SharedState.h"

#include <memory>

// A RemoteControl wired to recording doubles. `player` may be configured before
// the control creates it on first use; `playersCreated` counts the creations.
struct RemoteHarness
{
    SharedState state;
    RecordingSettingsStore store;
    RecordingView view;
    std::unique_ptr<RecordingPlayer> pendingPlayer = std::make_unique<RecordingPlayer>();
    RecordingPlayer &player = *pendingPlayer;
    int playersCreated = 0;
    RemoteControl remote{state, store, view, [this]() -> std::unique_ptr<PlayerControl> {
                             ++playersCreated;
                             return std::move(pendingPlayer);
                         }};
};
