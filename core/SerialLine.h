// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// The adapter's serial port as the receive loop and the adapter probe see it.
// Only one of them reads it at a time: the probe borrows it from the loop.
class SerialLine : public QObject
{
    Q_OBJECT

public:
    enum class OpenResult
    {
        Opened,
        InvalidPort, // the port's device does not exist
        Failed       // any other failure: busy, no permission
    };

    using QObject::QObject;

    virtual bool portOpen() const = 0;
    // Closes an open port first; a port that fails to open stays closed.
    virtual OpenResult open() = 0;
    // Opens port number `port` (or the device set) in the adapter's line
    // format, 4800 baud, no parity, 8 data bits, 1 stop bit: the only one used.
    OpenResult openAdapter(int port)
    {
        setSettings(QStringLiteral("4800,N,8,1"));
        setCommPort(port);
        return open();
    }
    // Why the last open failed, in words that tell the user what to do (the
    // device may not be opened by this user, another program holds it); "" when
    // it opened or the reason is not known.
    virtual QString openProblem() const { return {}; }
    // What the user is told of an open: "com port not avalable" when the port's
    // device does not exist, the problem the user can act on when another open
    // failure has one, else "".
    QString openMessage(OpenResult result) const
    {
        switch (result) {
        case OpenResult::InvalidPort:
            return QStringLiteral("com port not avalable");
        case OpenResult::Failed:
            return openProblem();
        case OpenResult::Opened:
            break;
        }
        return {};
    }
    virtual void close() = 0;
    // A line format such as "4800,N,8,1"; false, and nothing changes, when the
    // text is none.
    virtual bool setSettings(const QString &settings) = 0;
    virtual void setCommPort(int port) = 0;
    virtual int commPort() const = 0;
    // A device file that the next opens use in place of the one the port
    // number names; "" goes back to the port number's device.
    virtual void setDevice(const QString &device) = 0;

    // The received bytes waiting, and dropping them.
    virtual int inBufferCount() const = 0;
    virtual void discardInput() = 0;
    // Everything waiting, removed from the buffer.
    virtual QByteArray input() = 0;
    // One byte out; false while the port is closed or the write fails.
    virtual bool output(quint8 byte) = 0;

signals:
    void readyRead();
    // The port closed on its own, e.g. the device went away.
    void portLost();
};
