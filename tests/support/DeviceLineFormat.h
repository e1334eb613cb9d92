// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QSerialPort>
#include <QString>

// The line format the open serial device of a SerialComm is set to, as
// "4800,N,8,1"; empty while the port is closed.
inline QString deviceLineFormat(const QObject &comm)
{
    const auto *port = comm.findChild<QSerialPort *>(QStringLiteral("port"));
    if (!port || !port->isOpen())
        return QString();
    QChar parity = QLatin1Char('N');
    switch (port->parity()) {
    case QSerialPort::EvenParity:
        parity = QLatin1Char('E');
        break;
    case QSerialPort::OddParity:
        parity = QLatin1Char('O');
        break;
    case QSerialPort::MarkParity:
        parity = QLatin1Char('M');
        break;
    case QSerialPort::SpaceParity:
        parity = QLatin1Char('S');
        break;
    default:
        break;
    }
    const QString stop = port->stopBits() == QSerialPort::TwoStop          ? QStringLiteral("2")
                         : port->stopBits() == QSerialPort::OneAndHalfStop ? QStringLiteral("1.5")
                                                                           : QStringLiteral("1");
    return QStringLiteral("%1,%2,%3,%4")
        .arg(port->baudRate())
        .arg(parity)
        .arg(int(port->dataBits()))
        .arg(stop);
}
