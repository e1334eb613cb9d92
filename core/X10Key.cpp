// SPDX-License-Identifier: GPL-3.0-or-later
#include "X10Key.h"

#include <algorithm>
#include <array>

namespace {
struct FunctionName
{
    X10Function function;
    const char *name;
};

// Longest first, so that "alloff" is not read as "off".
constexpr std::array kFunctionNames{
    FunctionName{X10Function::AllOff, "alloff"}, FunctionName{X10Function::AllOn, "allon"},
    FunctionName{X10Function::Bright, "bright"}, FunctionName{X10Function::Off, "off"},
    FunctionName{X10Function::Dim, "dim"},       FunctionName{X10Function::On, "on"},
};

QLatin1String functionName(X10Function function)
{
    for (const FunctionName &entry : kFunctionNames) {
        if (entry.function == function)
            return QLatin1String(entry.name);
    }
    return {};
}
} // namespace

QString X10Key::name() const
{
    QString text(QChar(u'A' + house));
    if (hasUnit(function))
        text += QString::number(unit + 1);
    return text + functionName(function);
}

std::optional<X10Key> parseKeyName(const QString &name)
{
    if (name.size() < 3 || name.at(0) < u'A' || name.at(0) > u'P')
        return std::nullopt;
    X10Key key;
    key.house = quint8(name.at(0).unicode() - u'A');
    for (const FunctionName &entry : kFunctionNames) {
        const QLatin1String function(entry.name);
        if (!name.endsWith(function))
            continue;
        key.function = entry.function;
        const QStringView unit = QStringView(name).mid(1, name.size() - 1 - function.size());
        if (!X10Key::hasUnit(key.function))
            return unit.isEmpty() ? std::optional(key) : std::nullopt;
        // The unit as a remote labels it: 1 to 16, no sign, no leading zero.
        const bool digits =
            !unit.isEmpty() && unit.size() <= 2 && !unit.startsWith(u'0') &&
            std::all_of(unit.begin(), unit.end(), [](QChar c) { return c.isDigit(); });
        const int number = digits ? unit.toInt() : 0;
        if (number < 1 || number > 16)
            return std::nullopt;
        key.unit = quint8(number - 1);
        return key;
    }
    return std::nullopt;
}
