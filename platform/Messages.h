#pragma once

#include <QObject>
#include <QString>

// Modal message boxes with one OK button. The windows show every message through
// this, so tests can record messages instead of blocking on them.
class MessageSink
{
public:
    virtual ~MessageSink() = default;
    virtual void showMessage(const QString &text, const QString &title) = 0;
};

class MessageBoxSink : public MessageSink
{
public:
    void showMessage(const QString &text, const QString &title) override;
};

// The sink every window uses unless a test puts another one in place.
MessageSink &messages();
void setMessages(MessageSink *sink); // nullptr restores the message boxes

// A modal message holds the receive loop still: it must not take a frame while
// the user reads a message, and it starts afresh once the message is gone.
bool messageShowing();

class MessageEvents : public QObject
{
    Q_OBJECT

signals:
    void messageClosed();
};

MessageEvents &messageEvents();
