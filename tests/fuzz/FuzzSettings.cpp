// SPDX-License-Identifier: GPL-3.0-or-later
// Any stored text through the settings conversions and the main window's start-up.
#include "MemorySettingsStore.h"
#include "RecordingPlayer.h"
#include "RecordingView.h"
#include "core/PlayerSession.h"
#include "core/RemoteControl.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstddef>
#include <cstdint>

// The player session's thread needs an application, as in the program.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    // A converted value written back must read back the same.
    if (const auto byte = toByte(text)) {
        if (toByte(numberText(*byte)) != byte)
            __builtin_trap();
    }
    if (const auto number = toInt16(text)) {
        if (toInt16(numberText(*number)) != number)
            __builtin_trap();
    }
    if (const auto flag = toBoolean(text)) {
        if (toBoolean(booleanText(*flag)) != flag)
            __builtin_trap();
    }

    // The same text in every key: start-up falls back to defaults, never stops.
    MemorySettingsStore store;
    const QStringList keys = {Keys::housecode, Keys::bankb,    Keys::thumbsup, Keys::thumbsdown,
                              Keys::volume,    Keys::volSteps, Keys::comn,     Keys::playlist(1)};
    for (const QString &key : keys)
        store.setValue(key, text);
    SettingsModel settings(store);
    RecordingView view;
    PlayerSession session([] { return std::make_unique<RecordingPlayer>(); });
    RemoteControl remote(settings, view, session);
    remote.getOptions();
    if (settings.houseCode().isEmpty())
        __builtin_trap();
    return 0;
}
