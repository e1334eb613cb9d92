#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

class SettingsStore;

// The serial communications control: the only way to the adapter's port.
// Port number n opens the device named by the setting "comDevice<n>".
class SerialComm : public QObject
{
    Q_OBJECT

public:
    enum class OpenResult { Opened, InvalidPort, Failed };

    explicit SerialComm(const SettingsStore &store, QObject *parent = nullptr);
    ~SerialComm() override;

    // PortOpen
    bool portOpen() const;
    OpenResult open(); // PortOpen = true
    void close();      // PortOpen = false

    // Settings, e.g. "4800,N,8,1"; false when the text is no line format.
    bool setSettings(const QString &settings);
    QString settings() const;

    // CommPort
    void setCommPort(int port);
    int commPort() const;
    QString deviceName() const; // the device file of the current port number

    // InBufferCount, and InBufferCount = 0
    int inBufferCount() const;
    void discardInput();
    // Input: everything waiting, removed from the buffer.
    QByteArray input();
    // Output of one byte; false while the port is closed or the write fails.
    bool output(quint8 byte);

    // While the setup window probes the adapter it owns the port; the receive
    // loop leaves the bytes alone until it is released.
    void claim();
    void release();
    bool claimed() const;

signals:
    void readyRead();
    void released();
    // The port closed on its own, e.g. the device went away.
    void portLost();

private:
    const SettingsStore &store_;
    QSerialPort port_;
    QString settings_ = QStringLiteral("9600,N,8,1");
    int commPort_ = 1;
    bool claimed_ = false;
};
