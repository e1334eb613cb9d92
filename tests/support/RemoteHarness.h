#pragma once

#include "RecordingPlayer.h"
#include "RecordingSettingsStore.h"
#include "RecordingView.h"

#include "core/RemoteControl.h"
#include "core/SettingsModel.h"

#include <memory>

// A RemoteControl wired to recording doubles; `store` is the file behind `settings`. `player` may
// be configured before the control creates it on first use; `playersCreated` counts the creations.
struct RemoteHarness
{
    RecordingSettingsStore store;
    SettingsModel settings{store};
    RecordingView view;
    std::unique_ptr<RecordingPlayer> pendingPlayer = std::make_unique<RecordingPlayer>();
    RecordingPlayer &player = *pendingPlayer;
    int playersCreated = 0;
    RemoteControl remote{settings, view, [this]() -> std::unique_ptr<PlayerControl> {
                             ++playersCreated;
                             return std::move(pendingPlayer);
                         }};
};
