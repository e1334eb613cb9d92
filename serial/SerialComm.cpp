// SPDX-License-Identifier: GPL-3.0-or-later
#include "SerialComm.h"
#include "SerialDevices.h"

#include "core/SettingsModel.h"

#include <QFileInfo>
#include <QStringList>

#include <poll.h>

#include <limits>
#include <optional>

namespace {

struct LineFormat
{
    qint32 baudRate;
    QSerialPort::Parity parity;
    QSerialPort::DataBits dataBits;
    QSerialPort::StopBits stopBits;
};

// "4800,N,8,1": baud rate, parity letter, data bits, stop bits.
std::optional<LineFormat> parseLineFormat(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;

    bool ok = false;
    const qint32 baudRate = parts[0].trimmed().toInt(&ok);
    if (!ok || baudRate <= 0)
        return std::nullopt;

    QSerialPort::Parity parity;
    const QString parityLetter = parts[1].trimmed().toUpper();
    if (parityLetter == QLatin1String("N"))
        parity = QSerialPort::NoParity;
    else if (parityLetter == QLatin1String("E"))
        parity = QSerialPort::EvenParity;
    else if (parityLetter == QLatin1String("O"))
        parity = QSerialPort::OddParity;
    else if (parityLetter == QLatin1String("M"))
        parity = QSerialPort::MarkParity;
    else if (parityLetter == QLatin1String("S"))
        parity = QSerialPort::SpaceParity;
    else
        return std::nullopt;

    const int dataBits = parts[2].trimmed().toInt(&ok);
    if (!ok || dataBits < 5 || dataBits > 8)
        return std::nullopt;

    QSerialPort::StopBits stopBits;
    const QString stop = parts[3].trimmed();
    if (stop == QLatin1String("1"))
        stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("1.5"))
        stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == QLatin1String("2"))
        stopBits = QSerialPort::TwoStop;
    else
        return std::nullopt;

    return LineFormat{baudRate, parity, static_cast<QSerialPort::DataBits>(dataBits), stopBits};
}

} // namespace

SerialComm::SerialComm(const SettingsModel &settings, QObject *parent)
    : SerialLine(parent), model_(settings)
{
    port_.setParent(this);
    port_.setObjectName(QStringLiteral("port"));
    connect(&port_, &QSerialPort::readyRead, this, &SerialComm::readyRead);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialComm::handleError);
}

SerialComm::~SerialComm()
{
    close();
}

bool SerialComm::portOpen() const
{
    return port_.isOpen();
}

SerialComm::OpenResult SerialComm::open()
{
    close();
    openProblem_.clear();
    const QString device = deviceName();
    if (device.isEmpty() || !QFileInfo::exists(device))
        return OpenResult::InvalidPort;

    port_.setPortName(device);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    applySettings();
    if (!port_.open(QIODevice::ReadWrite)) {
        const bool vanished = port_.error() == QSerialPort::DeviceNotFoundError;
        port_.clearError();
        if (vanished)
            return OpenResult::InvalidPort;
        openProblem_ = ::openProblem(device).value_or(QString());
        return OpenResult::Failed;
    }
    return OpenResult::Opened;
}

QString SerialComm::openProblem() const
{
    return openProblem_;
}

void SerialComm::close()
{
    if (port_.isOpen())
        port_.close();
    port_.clearError();
    lostPending_ = false;
}

bool SerialComm::setSettings(const QString &settings)
{
    if (!parseLineFormat(settings))
        return false;
    settings_ = settings;
    if (port_.isOpen())
        applySettings();
    return true;
}

bool SerialComm::applySettings()
{
    const auto format = parseLineFormat(settings_);
    if (!format)
        return false;
    return port_.setBaudRate(format->baudRate) && port_.setParity(format->parity) &&
           port_.setDataBits(format->dataBits) && port_.setStopBits(format->stopBits);
}

void SerialComm::setCommPort(int port)
{
    commPort_ = port;
}

int SerialComm::commPort() const
{
    return commPort_;
}

void SerialComm::setDevice(const QString &device)
{
    device_ = device;
}

QString SerialComm::deviceName() const
{
    if (!device_.isEmpty())
        return device_;
    return model_.comDevice(commPort_);
}

int SerialComm::inBufferCount() const
{
    if (!port_.isOpen())
        return 0;
    return static_cast<int>(qMin<qint64>(port_.bytesAvailable(), std::numeric_limits<int>::max()));
}

void SerialComm::discardInput()
{
    if (!port_.isOpen())
        return;
    port_.clear(QSerialPort::Input);
    port_.readAll();
}

QByteArray SerialComm::input()
{
    if (!port_.isOpen())
        return {};
    return port_.readAll();
}

bool SerialComm::output(quint8 byte)
{
    if (!port_.isOpen() || lostPending_)
        return false;
    port_.clearError();
    const char data = static_cast<char>(byte);
    if (port_.write(&data, 1) != 1)
        return false;
    port_.flush(); // hand it to the driver now, so a failing device shows here
    const QSerialPort::SerialPortError error = port_.error();
    return !lostPending_ && error != QSerialPort::WriteError && error != QSerialPort::ResourceError;
}

void SerialComm::handleError(QSerialPort::SerialPortError error)
{
    if (!port_.isOpen())
        return;
    const bool readOrWrite = error == QSerialPort::ReadError || error == QSerialPort::WriteError;
    if (error == QSerialPort::ResourceError || (readOrWrite && hungUp())) {
        // A device that went away keeps reporting itself readable; closing is
        // the only way to stop that. The close waits for the event loop, since
        // this runs inside the port's own notification handler.
        lostPending_ = true;
        QMetaObject::invokeMethod(this, &SerialComm::loseOpenPort, Qt::QueuedConnection);
    }
}

// A read that fails on a hung-up line (the other end of a pseudo-terminal
// closed, a USB adapter pulled) reports the end of the device, not a glitch.
bool SerialComm::hungUp() const
{
    pollfd descriptor{static_cast<int>(port_.handle()), POLLIN, 0};
    return ::poll(&descriptor, 1, 0) > 0 && (descriptor.revents & (POLLHUP | POLLERR | POLLNVAL));
}

void SerialComm::loseOpenPort()
{
    // Closed, or closed and opened again, since the error was reported.
    if (!lostPending_)
        return;
    close();
    emit portLost();
}
