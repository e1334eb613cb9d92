#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpSocket>

// One HTTP/1.0 request sent exactly as written, so the server sees the path
// byte for byte; QNetworkAccessManager would clean up ".." first. Waits on the
// socket's signals, so a server in this same thread keeps running.
struct HttpAnswer
{
    int status = 0; // 0: no status line came back
    QByteArray body;
};

inline HttpAnswer rawHttpRequest(quint16 port, const QByteArray &requestLine,
                                 const QHostAddress &host = QHostAddress::LocalHost)
{
    QTcpSocket socket;
    QSignalSpy connected(&socket, &QTcpSocket::connected);
    socket.connectToHost(host, port);
    if (connected.isEmpty() && !connected.wait(2000))
        return {};
    socket.write(requestLine + "\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    QByteArray reply;
    QSignalSpy readyRead(&socket, &QTcpSocket::readyRead);
    QSignalSpy disconnected(&socket, &QTcpSocket::disconnected);
    while (socket.state() == QAbstractSocket::ConnectedState) {
        reply += socket.readAll();
        const int headerEnd = reply.indexOf("\r\n\r\n");
        if (headerEnd >= 0) {
            const int lengthAt = reply.toLower().indexOf("content-length:");
            if (lengthAt >= 0 && lengthAt < headerEnd) {
                const int lineEnd = reply.indexOf("\r\n", lengthAt);
                const int length =
                    reply.mid(lengthAt + 15, lineEnd - lengthAt - 15).trimmed().toInt();
                if (reply.size() - headerEnd - 4 >= length)
                    break;
            }
        }
        if (!readyRead.wait(2000) && disconnected.isEmpty())
            break;
    }
    reply += socket.readAll();
    HttpAnswer answer;
    const QList<QByteArray> statusLine = reply.left(reply.indexOf("\r\n")).split(' ');
    if (statusLine.size() >= 2 && statusLine.at(0).startsWith("HTTP/"))
        answer.status = statusLine.at(1).toInt();
    const int headerEnd = reply.indexOf("\r\n\r\n");
    if (headerEnd >= 0)
        answer.body = reply.mid(headerEnd + 4);
    return answer;
}
