// SPDX-License-Identifier: GPL-3.0-or-later
#include "FrameDecoder.h"

#include "SettingsModel.h"

namespace {
enum Function : quint8
{
    AllOff = 0,
    AllOn = 1,
    On = 2,
    Off = 3,
    Dim = 4,
    Bright = 5
};

QString functionText(quint8 function)
{
    switch (function) {
    case AllOff:
        return QStringLiteral(" all off");
    case AllOn:
        return QStringLiteral(" all on");
    case On:
        return QStringLiteral(" on");
    case Off:
        return QStringLiteral(" off");
    case Dim:
        return QStringLiteral(" dim");
    case Bright:
        return QStringLiteral(" brt");
    default:
        return {};
    }
}

// Units 1 to 9 follow the letter directly, 10 to 16 after a space: "A1", "A 11".
QString unitText(quint8 unitIndex)
{
    const int unit = unitIndex + 1;
    return unitIndex <= 8 ? QString::number(unit) : QLatin1Char(' ') + QString::number(unit);
}
} // namespace

DecodedFrame decodeFrame(const QByteArray &received, const QString &houseCode,
                         const SettingsModel &settings, bool &optLower)
{
    DecodedFrame frame;
    if (received.size() < 2)
        return frame;

    const auto first = static_cast<quint8>(received.at(0));
    const auto second = static_cast<quint8>(received.at(1));
    const quint8 house1 = first >> 4;
    const quint8 function = first & 0x0F;
    const quint8 house2 = second >> 4;
    quint8 unitIndex = second & 0x0F;

    // Dim and bright frames carry no meaningful house in their second byte.
    const bool volumeKey = function == Dim || function == Bright;
    if (!volumeKey && house1 != house2)
        return frame;
    if (function > Bright)
        return frame;

    const QString houseLetter(QChar(u'A' + house1));
    frame.text = houseLetter + unitText(unitIndex) + functionText(function);

    optLower = settings.bankLower();

    frame.verdict = DecodedFrame::Verdict::Rejected;
    if (houseLetter != houseCode)
        return frame;
    if (!volumeKey) {
        if (optLower) {
            if (unitIndex >= kUnitsPerBank)
                return frame;
        } else {
            if (unitIndex < kUnitsPerBank)
                return frame;
            unitIndex -= kUnitsPerBank;
        }
    }
    frame.verdict = DecodedFrame::Verdict::Accepted;

    switch (function) {
    case Bright:
        frame.command = Command::VolumeUp;
        break;
    case Dim:
        frame.command = Command::VolumeDown;
        break;
    case On:
        frame.command = onKey(unitIndex);
        break;
    case Off:
        frame.command = offKey(unitIndex);
        break;
    default:
        break; // all off, all on: shown as accepted, nothing to carry out
    }
    return frame;
}
