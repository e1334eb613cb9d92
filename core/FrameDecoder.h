#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

class SettingsStore;

struct DecodedFrame
{
    enum class Verdict
    {
        Dropped,
        Rejected,
        Accepted
    };

    Verdict verdict = Verdict::Dropped;
    QString text;                  // what txtMonitor shows; empty when dropped
    std::optional<quint8> command; // 0..17, only for some accepted frames
};

// Turns the bytes received in one cycle into a display text, a verdict and a
// command number. Only the first two bytes count. "bankb" is read from the store
// for every frame that reaches the display and written into optLower.
DecodedFrame decodeFrame(const QByteArray &received, const QString &houseCode,
                         const SettingsStore &store, bool &optLower);
