// SPDX-License-Identifier: GPL-3.0-or-later
// Any byte stream, split at any points, through the receive cycle, frame
// decoding and command dispatch into a recording player.
//
// Input layout: byte 0 picks the house code, byte 1 the stored bank text and the
// player's answers; then chunks, each a length byte followed by that many bytes.
// A length byte with its top bit set also ends the pause guard first, as the
// Timer2 tick would.
#include "MemorySettingsStore.h"
#include "RecordingPlayer.h"
#include "RecordingView.h"
#include "SessionIdle.h"
#include "core/PlayerSession.h"
#include "core/RemoteControl.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {
const char *const bankTexts[] = {"1", "0", "True", "false", "-1", "", "x", "99999999999999999999"};
const char *const volumeTexts[] = {"125", "0", "255", "300", "-5", "32767", "abc", ""};
} // namespace

// The player session's thread needs an application, as in the program.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;

    MemorySettingsStore store;
    store.setValue(Keys::housecode,
                   (data[0] & 0x10) ? QString() : QString(QChar(u'A' + (data[0] & 0x0F))));
    store.setValue(Keys::volSteps, numberText(data[0]));
    for (int n = 1; n <= 8; ++n)
        store.setValue(Keys::playlist(n), QStringLiteral("/music/list%1.m3u").arg(n));
    store.setValue(Keys::bankb, QString::fromLatin1(bankTexts[data[1] & 0x07]));
    store.setValue(Keys::volume, QString::fromLatin1(volumeTexts[(data[1] >> 3) & 0x07]));

    RecordingView view;
    SettingsModel settings(store);
    PlayerSession session([&data] {
        auto made = std::make_unique<RecordingPlayer>();
        made->running = data[1] & 0x40;
        made->loadStartsPlayer = data[1] & 0x80;
        made->shuffle = (data[0] & 0x20) != 0;
        made->currentSong = QStringLiteral("/music/song\r\n.mp3");
        if (data[0] & 0x40)
            made->failing = {QStringLiteral("findPlayer"), QStringLiteral("getCurrentSong")};
        if (data[0] & 0x80)
            made->failing.insert(QStringLiteral("toggleShuffle"));
        return made;
    });
    RemoteControl remote(settings, view, session);
    remote.getOptions();
    const int start = remote.vol;

    QByteArray pending;
    size_t at = 2;
    while (at < size) {
        const uint8_t header = data[at++];
        if (header & 0x80)
            remote.endPauseGuard();
        const size_t length = header & 0x07;
        const size_t take = length < size - at ? length : size - at;
        pending.append(reinterpret_cast<const char *>(data + at), static_cast<qsizetype>(take));
        at += take;
        // The cycle: wait for two bytes, read all, handle, discard the rest.
        if (pending.size() >= 2) {
            remote.handleFrame(pending);
            pending.clear();
        }
        // Steps never leave 0..255, except from a stored start value outside it.
        if (remote.vol > std::max(start, 255) || remote.vol < std::min(start, 0))
            __builtin_trap();
    }
    // The player's answers (the thumbs songs) reach the view as well.
    waitForIdle(session, 1000);
    QCoreApplication::sendPostedEvents();
    return 0;
}
