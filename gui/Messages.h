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

// True while a message box is open.
bool messageShowing();

// A message box opening and closing, whichever sink shows it. The receive loop
// carries out no frame while one is open.
class MessageEvents : public QObject
{
    Q_OBJECT

signals:
    void messageOpened();
    void messageClosed();
};

MessageEvents &messageEvents();
