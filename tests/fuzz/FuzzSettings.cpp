// SPDX-License-Identifier: GPL-3.0-or-later
// Any stored text through the settings conversions, the key map and the main
// window's start-up.
#include "MemorySettingsStore.h"
#include "RecordingPlayer.h"
#include "RecordingView.h"
#include "core/KeyBinding.h"
#include "core/PlayerSession.h"
#include "core/RemoteControl.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "core/X10Key.h"

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

    // A binding written back reads back the same; so does a key name and a
    // command line. Reading a value runs nothing.
    if (const auto binding = parseBinding(text)) {
        if (parseBinding(bindingText(*binding)) != binding)
            __builtin_trap();
    }
    if (const auto key = parseKeyName(text)) {
        if (parseKeyName(key->name()) != key)
            __builtin_trap();
    }
    if (const auto words = splitCommandLine(text)) {
        if (splitCommandLine(joinCommandLine(*words)) != words)
            __builtin_trap();
    }
    const KeyMap map =
        KeyMap::read({{QStringLiteral("A4off"), text}, {text, QStringLiteral("next")}});
    if (map.bindings.size() + map.unreadable.size() != 2)
        __builtin_trap();

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
