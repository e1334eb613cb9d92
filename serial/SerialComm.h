// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/SerialLine.h"

#include <QByteArray>
#include <QSerialPort>
#include <QString>

class SettingsModel;

// The serial communications control: the only way to the adapter's port.
// Port number n opens the device named by the setting "comDevice<n>".
class SerialComm : public SerialLine
{
    Q_OBJECT

public:
    explicit SerialComm(const SettingsModel &settings, QObject *parent = nullptr);
    ~SerialComm() override;

    // PortOpen
    bool portOpen() const override;
    // PortOpen = true. InvalidPort when the port's device file does not exist;
    // Failed for any other failure (busy, no permission), and the port stays
    // closed. An open port is closed first.
    OpenResult open() override;
    QString openProblem() const override;
    void close() override; // PortOpen = false

    // Settings, e.g. "4800,N,8,1" (baud, parity N/E/O/M/S, data bits 5-8, stop
    // bits 1/1.5/2); applied at the next open, or at once while open. False,
    // and nothing changes, when the text is no line format.
    bool setSettings(const QString &settings) override;

    // CommPort
    void setCommPort(int port) override;
    int commPort() const override;
    void setDevice(const QString &device) override;
    // The device file the next open uses: the one set, else the port number's.
    QString deviceName() const;

    // InBufferCount, and InBufferCount = 0: the received bytes waiting.
    // discardInput also drops what the driver holds but has not handed on yet.
    int inBufferCount() const override;
    void discardInput() override;
    // Input: everything waiting, removed from the buffer.
    QByteArray input() override;
    // Output of one byte; false while the port is closed or the write fails.
    bool output(quint8 byte) override;

private:
    void handleError(QSerialPort::SerialPortError error);
    void loseOpenPort();
    bool hungUp() const;
    bool applySettings();

    const SettingsModel &model_;
    QSerialPort port_; // a child named "port", destroyed before this object

    QString settings_ = QStringLiteral("9600,N,8,1");
    int commPort_ = 1;
    QString device_;
    bool lostPending_ = false; // the device went away; the port closes next
    QString openProblem_;
};
