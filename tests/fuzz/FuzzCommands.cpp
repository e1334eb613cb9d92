// SPDX-License-Identifier: GPL-3.0-or-later
// Any payload on the command topic, as the house hands it to the remote
// control: only short UTF-8 text gets through, and nothing it names ever
// runs a program, though every key is bound to one.
#include "MemorySettingsStore.h"
#include "RecordingPlayer.h"
#include "RecordingView.h"
#include "core/PlayerSession.h"
#include "core/RemoteControl.h"
#include "core/SettingsModel.h"
#include "core/X10Key.h"
#include "mqtt/MqttMessages.h"

#include <QCoreApplication>

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
    const QByteArray payload(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const std::optional<QString> command = Mqtt::commandFromPayload(payload);
    if (!command)
        return 0;
    if (payload.size() > Mqtt::kMaxCommandBytes || command->isEmpty() ||
        *command != command->trimmed() || command->toUtf8() != payload.trimmed())
        __builtin_trap();

    // Every key of house A runs a program; the fuzzed key name, too.
    static const QMap<QString, QString> programs = [] {
        QMap<QString, QString> keys;
        for (quint8 unit = 0; unit < 16; ++unit) {
            for (const X10Function function : {X10Function::On, X10Function::Off})
                keys.insert(X10Key{0, unit, function}.name(), QStringLiteral("run false"));
        }
        for (const X10Function function :
             {X10Function::Bright, X10Function::Dim, X10Function::AllOn, X10Function::AllOff})
            keys.insert(X10Key{0, 0, function}.name(), QStringLiteral("run false"));
        return keys;
    }();
    MemorySettingsStore store;
    store.keys = programs;
    store.keys.insert(*command, QStringLiteral("run false"));
    SettingsModel settings(store);
    RecordingView view;
    PlayerSession session([] { return std::make_unique<RecordingPlayer>(); });
    RemoteControl remote(settings, view, session);
    remote.command(*command);
    // A program's command line shows on the action line before it runs.
    for (const QString &text : view.commandHistory()) {
        if (text.startsWith(QLatin1String("run ")))
            __builtin_trap();
    }
    return 0;
}
