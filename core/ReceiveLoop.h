// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>

class QTimer;
class SerialLine;

// Waits for the adapter's frames. Each cycle throws away what is pending, waits
// until at least two bytes have arrived, reads them all and hands them on; the
// next cycle starts once the receiver has handled them. It uses no CPU while
// it waits.
class ReceiveLoop : public QObject
{
    Q_OBJECT

public:
    explicit ReceiveLoop(SerialLine &line, QObject *parent = nullptr);

    void start();
    // No more frames, and no more looking for a lost adapter.
    void stop();
    bool running() const { return running_; }

    // Lends the port to someone else (the adapter probe): the loop leaves its
    // bytes alone, and stops looking for a lost adapter. resume() takes the
    // port back and starts a cycle.
    void suspend();
    void resume();
    bool suspended() const { return suspended_; }

    // While a message is open no frame is carried out; one that arrives
    // meanwhile is, once the last message has closed. Counted: one release()
    // for each hold().
    void hold();
    void release();
    bool held() const { return holds_ > 0; }

    // The port could not be opened: it is opened as soon as its device lets
    // it, as a lost adapter is when it comes back.
    void reopenWhenAvailable();

signals:
    // Everything read, at least two bytes. Handled before the signal returns.
    void frameReceived(const QByteArray &received);

private:
    void startCycle();
    void receive();
    void portLost();
    void tryReopen();

    SerialLine &line_;
    bool running_ = false;
    bool suspended_ = false;
    int holds_ = 0;
    // Looks for the lost adapter's device to come back (a USB adapter replugged).
    QTimer *reopenTimer_ = nullptr;
    int lostPort_ = 0;
};
