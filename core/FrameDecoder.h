#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

class SettingsStore;

// Colours as 0x00BBGGRR, red in the lowest byte.
constexpr quint32 kLightGreen = 0x00C0FFC0;
constexpr quint32 kLightRed = 0x008080FF;

struct DecodedFrame
{
    enum class Verdict { Dropped, Rejected, Accepted };

    Verdict verdict = Verdict::Dropped;
    QString text;                  // what txtMonitor shows; empty when dropped
    std::optional<quint8> command; // 0..17, only for some accepted frames

    quint32 colour() const { return verdict == Verdict::Accepted ? kLightGreen : kLightRed; }
};

// Turns the bytes received in one cycle into a display text, a verdict and a
// command number. Only the first two bytes count. "bankb" is read from the store
// for every frame that reaches the display and written into optLower.
DecodedFrame decodeFrame(const QByteArray &received, const QString &houseCode,
                         const SettingsStore &store, bool &optLower);
