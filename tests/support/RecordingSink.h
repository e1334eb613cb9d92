#pragma once

#include "gui/Messages.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>

// Records each message instead of showing a box, and puts itself in place for
// as long as it lives. `whileOpen` runs while a message counts as open.
class RecordingSink : public MessageSink
{
public:
    RecordingSink() { setMessages(this); }
    ~RecordingSink() override { setMessages(nullptr); }

    void showMessage(const QString &text, const QString &title) override
    {
        shown.append({text, title});
        if (whileOpen)
            whileOpen();
    }

    QStringList texts() const
    {
        QStringList result;
        for (const auto &message : shown)
            result.append(message.first);
        return result;
    }

    QList<QPair<QString, QString>> shown; // text, title
    std::function<void()> whileOpen;
};
