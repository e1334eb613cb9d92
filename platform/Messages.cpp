#include "Messages.h"

#include <QMessageBox>

void MessageBoxSink::showMessage(const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
    box.exec();
}

namespace {
MessageSink *currentSink = nullptr;
}

MessageSink &messages()
{
    static MessageBoxSink boxes;
    return currentSink ? *currentSink : boxes;
}

void setMessages(MessageSink *sink) { currentSink = sink; }
