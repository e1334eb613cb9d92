// SPDX-License-Identifier: GPL-3.0-or-later
#include "FrameDecoder.h"

#include "SettingsModel.h"

namespace {
QString functionText(X10Function function)
{
    switch (function) {
    case X10Function::AllOff:
        return QStringLiteral(" all off");
    case X10Function::AllOn:
        return QStringLiteral(" all on");
    case X10Function::On:
        return QStringLiteral(" on");
    case X10Function::Off:
        return QStringLiteral(" off");
    case X10Function::Dim:
        return QStringLiteral(" dim");
    case X10Function::Bright:
        return QStringLiteral(" brt");
    }
    return {};
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
    const quint8 code = first & 0x0F;
    const quint8 house2 = second >> 4;
    quint8 unitIndex = second & 0x0F;

    // Dim and bright frames carry no meaningful house in their second byte.
    const auto function = X10Function(code);
    const bool volumeKey = function == X10Function::Dim || function == X10Function::Bright;
    if (!volumeKey && house1 != house2)
        return frame;
    if (code > quint8(X10Function::Bright))
        return frame;

    const QString houseLetter(QChar(u'A' + house1));
    frame.text = houseLetter + unitText(unitIndex) + functionText(function);
    frame.key = {house1, X10Key::hasUnit(function) ? unitIndex : quint8(0), function};

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
    case X10Function::Bright:
        frame.command = Command::VolumeUp;
        break;
    case X10Function::Dim:
        frame.command = Command::VolumeDown;
        break;
    case X10Function::On:
        frame.command = onKey(unitIndex);
        break;
    case X10Function::Off:
        frame.command = offKey(unitIndex);
        break;
    case X10Function::AllOff:
    case X10Function::AllOn:
        break; // shown as accepted, nothing to carry out
    }
    return frame;
}
