#include "Messages.h"

#include <QMessageBox>

void MessageBoxSink::showMessage(const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
    box.exec();
}

namespace {
MessageSink *currentSink = nullptr;
int openMessages = 0;

MessageSink &target()
{
    static MessageBoxSink boxes;
    return currentSink ? *currentSink : boxes;
}

// Every message passes through here, whichever sink shows it, so the receive
// loop always knows when one is open.
class TrackingSink : public MessageSink
{
public:
    void showMessage(const QString &text, const QString &title) override
    {
        ++openMessages;
        emit messageEvents().messageOpened();
        target().showMessage(text, title);
        --openMessages;
        emit messageEvents().messageClosed();
    }
};
} // namespace

MessageSink &messages()
{
    static TrackingSink tracking;
    return tracking;
}

void setMessages(MessageSink *sink)
{
    currentSink = sink;
}

bool messageShowing()
{
    return openMessages > 0;
}

MessageEvents &messageEvents()
{
    static MessageEvents events;
    return events;
}
