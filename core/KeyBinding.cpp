// SPDX-License-Identifier: GPL-3.0-or-later
#include "KeyBinding.h"

#include "X10Key.h"

#include <QRegularExpression>

namespace {
const QString kNone = QStringLiteral("none");
const QString kRun = QStringLiteral("run");
const QString kOnce = QStringLiteral("once");
const QString kRepeat = QStringLiteral("repeat");
const QString kAfter = QStringLiteral("after");
// A delay longer than this would never be reached: the key counts as stuck first.
constexpr int kLongestDelayMs = 10000;

bool repeatsByDefault(Command action)
{
    return action == Command::VolumeUp || action == Command::VolumeDown;
}

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// The first word of `text` and what follows it, blanks trimmed.
std::pair<QString, QString> firstWord(const QString &text)
{
    const QString trimmed = text.trimmed();
    qsizetype end = 0;
    while (end < trimmed.size() && !isBlank(trimmed.at(end)))
        ++end;
    return {trimmed.left(end), trimmed.mid(end).trimmed()};
}

std::optional<int> durationMs(const QString &text)
{
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("(\\d+(?:\\.\\d+)?)(ms|s)")));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const double number = match.captured(1).toDouble();
    const double ms = match.captured(2) == QLatin1String("s") ? number * 1000 : number;
    if (ms > kLongestDelayMs)
        return std::nullopt;
    return int(ms);
}

QString durationText(int ms)
{
    return ms % 1000 == 0 ? QString::number(ms / 1000) + QLatin1Char('s')
                          : QString::number(ms) + QStringLiteral("ms");
}

std::optional<KeyBinding> fail(QString *why, const QString &reason)
{
    if (why)
        *why = reason;
    return std::nullopt;
}
} // namespace

KeyBinding KeyBinding::forAction(Command action)
{
    KeyBinding binding;
    binding.kind = Kind::Action;
    binding.action = action;
    binding.repeats = repeatsByDefault(action);
    return binding;
}

QStringList actionNames()
{
    QStringList names;
    for (int n = 1; n <= kUnitsPerBank; ++n)
        names << QStringLiteral("playlist") + QString::number(n);
    names << QStringLiteral("pause") << QStringLiteral("back5") << QStringLiteral("previous")
          << QStringLiteral("next") << QStringLiteral("thumbsup") << QStringLiteral("thumbsdown")
          << QStringLiteral("shuffleon") << QStringLiteral("shuffleoff")
          << QStringLiteral("volumeup") << QStringLiteral("volumedown");
    return names;
}

QString actionName(Command action)
{
    return actionNames().value(int(action));
}

std::optional<Command> actionFromName(const QString &name)
{
    const qsizetype index = actionNames().indexOf(name);
    if (index < 0)
        return std::nullopt;
    return Command(index);
}

std::optional<KeyBinding> parseBinding(const QString &value, QString *why)
{
    KeyBinding binding;
    std::optional<bool> repeats;
    int delayMs = 0;
    auto [word, rest] = firstWord(value);
    if (word == kOnce || word == kRepeat) {
        repeats = word == kRepeat;
        std::tie(word, rest) = firstWord(rest);
        if (*repeats && word == kAfter) {
            const auto [delay, after] = firstWord(rest);
            const std::optional<int> ms = durationMs(delay);
            if (!ms)
                return fail(why, QStringLiteral("\"%1\" is no delay up to 10s, such as 500ms "
                                                "or 1.5s")
                                     .arg(delay));
            delayMs = *ms;
            std::tie(word, rest) = firstWord(after);
        }
    }

    if (word == kNone && rest.isEmpty()) {
        binding.kind = KeyBinding::Kind::None;
    } else if (word == kRun) {
        const std::optional<QStringList> program = splitCommandLine(rest, why);
        if (!program)
            return std::nullopt;
        if (program->isEmpty())
            return fail(why, QStringLiteral("\"run\" names no program"));
        binding.kind = KeyBinding::Kind::Run;
        binding.program = *program;
    } else if (const std::optional<Command> action = actionFromName(word);
               action && rest.isEmpty()) {
        binding = KeyBinding::forAction(*action);
    } else {
        return fail(why, QStringLiteral("not a player action, \"none\" or \"run\" and a command"));
    }
    if (repeats)
        binding.repeats = *repeats;
    binding.repeatDelayMs = binding.repeats ? delayMs : 0;
    return binding;
}

QString bindingText(const KeyBinding &binding)
{
    QString what;
    switch (binding.kind) {
    case KeyBinding::Kind::None:
        return kNone;
    case KeyBinding::Kind::Action:
        what = actionName(binding.action);
        break;
    case KeyBinding::Kind::Run:
        what = kRun + QLatin1Char(' ') + joinCommandLine(binding.program);
        break;
    }
    const bool byDefault =
        binding.kind == KeyBinding::Kind::Action && repeatsByDefault(binding.action);
    if (binding.repeats && binding.repeatDelayMs > 0)
        return kRepeat + QLatin1Char(' ') + kAfter + QLatin1Char(' ') +
               durationText(binding.repeatDelayMs) + QLatin1Char(' ') + what;
    if (binding.repeats != byDefault)
        return (binding.repeats ? kRepeat : kOnce) + QLatin1Char(' ') + what;
    return what;
}

std::optional<QStringList> splitCommandLine(const QString &line, QString *why)
{
    QStringList words;
    QString word;
    bool inWord = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (isBlank(c) || c == u'\n') {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == u'\\') {
            // A backslash before the end of a line joins the next line, as in a shell.
            if (++i < line.size() && line.at(i) != u'\n')
                word += line.at(i);
        } else if (c == u'\'') {
            const qsizetype end = line.indexOf(u'\'', i + 1);
            if (end < 0) {
                if (why)
                    *why = QStringLiteral("a ' is not closed");
                return std::nullopt;
            }
            word += line.mid(i + 1, end - i - 1);
            i = end;
        } else if (c == u'"') {
            for (++i;; ++i) {
                if (i >= line.size()) {
                    if (why)
                        *why = QStringLiteral("a \" is not closed");
                    return std::nullopt;
                }
                const QChar q = line.at(i);
                if (q == u'"')
                    break;
                if (q == u'\\' && i + 1 < line.size() &&
                    QStringView(u"\"\\$`").contains(line.at(i + 1)))
                    word += line.at(++i);
                else
                    word += q;
            }
        } else {
            word += c;
        }
    }
    if (inWord)
        words << word;
    return words;
}

QString joinCommandLine(const QStringList &words)
{
    static const QRegularExpression plain(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9_@%+=:,./~-]+")));
    QStringList quoted;
    for (const QString &word : words) {
        if (plain.match(word).hasMatch())
            quoted << word;
        else
            quoted << QLatin1Char('\'') + QString(word).replace(u'\'', QStringLiteral("'\\''")) +
                          QLatin1Char('\'');
    }
    return quoted.join(QLatin1Char(' '));
}

KeyMap KeyMap::read(const QMap<QString, QString> &values)
{
    KeyMap map;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        QString why;
        if (!parseKeyName(it.key())) {
            why = QStringLiteral("not a key name such as A4off, Cbright or Pallon");
        } else if (const std::optional<KeyBinding> binding = parseBinding(it.value(), &why)) {
            map.bindings.insert(it.key(), *binding);
            continue;
        }
        map.unreadable << it.key() + QLatin1Char('=') + it.value() + QStringLiteral(": ") + why;
    }
    return map;
}
