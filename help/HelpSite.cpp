// SPDX-License-Identifier: GPL-3.0-or-later
#include "HelpSite.h"
#include "HelpResources.h"

#include "core/SettingsModel.h"

#include <QAbstractHttpServer>
#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

void initHelpResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(help);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace {

// Request path -> bundled page. The only pages the site has.
const QHash<QString, QString> &helpPages()
{
    static const QHash<QString, QString> pages{
        {QStringLiteral("/help.html"), QStringLiteral(":/help/help.html")},
        {QStringLiteral("/search.html"), QStringLiteral(":/help/search.html")},
    };
    return pages;
}

class HelpServer : public QAbstractHttpServer
{
public:
    using QAbstractHttpServer::QAbstractHttpServer;

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override
    {
        auto responder = makeResponder(request, socket);
        if (request.method() != QHttpServerRequest::Method::Get) {
            responder.write(QHttpServerResponder::StatusCode::MethodNotAllowed);
            return true;
        }
        const QString resource = helpSiteResource(request.url().path(QUrl::FullyEncoded));
        QFile page(resource);
        if (resource.isEmpty() || !page.open(QIODevice::ReadOnly)) {
            responder.write(QByteArrayLiteral("Not Found"), QByteArrayLiteral("text/plain"),
                            QHttpServerResponder::StatusCode::NotFound);
            return true;
        }
        responder.write(page.readAll(), QByteArrayLiteral("text/html; charset=utf-8"));
        return true;
    }

    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override
    {
        makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
    }
};

// Watches what arrives on one connection before the HTTP server reads it, so
// that a peer cannot make the site hold an endless request or an idle socket.
// Counts the bytes since the end of the last request head (a request body,
// which this site never needs, counts towards the next head), refuses the
// connection when they pass the limit, and drops it when no complete head
// arrived within the idle limit.
class ConnectionGuard : public QObject
{
public:
    explicit ConnectionGuard(QTcpSocket *socket) : QObject(socket), socket_(socket)
    {
        // One read takes in a few heads' worth at most, so a fast sender is
        // stopped before much of its data is held.
        socket->setReadBufferSize(4 * kHelpSiteHeadLimit);
        idle_.setSingleShot(true);
        idle_.setInterval(kHelpSiteIdleLimit);
        connect(&idle_, &QTimer::timeout, socket, &QAbstractSocket::abort);
        // Connected before the HTTP server's own handler, so this runs first.
        connect(socket, &QIODevice::readyRead, this, &ConnectionGuard::inspect);
        idle_.start();
    }

private:
    void inspect()
    {
        const QByteArray arrived = socket_->peek(socket_->bytesAvailable());
        for (const char c : arrived) {
            if (++headBytes_ > kHelpSiteHeadLimit) {
                refuse();
                return;
            }
            if (c == '\r')
                continue;
            if (c != '\n') {
                lineEnds_ = 0;
                continue;
            }
            requestLineEnded_ = true;
            // An empty line ends the head; bare line feeds end lines too.
            if (++lineEnds_ == 2) {
                headBytes_ = 0;
                lineEnds_ = 0;
                requestLineEnded_ = false;
                idle_.start();
            }
        }
    }

    void refuse()
    {
        idle_.stop();
        // Nothing more of this connection reaches the HTTP server.
        disconnect(socket_, &QIODevice::readyRead, nullptr, nullptr);
        socket_->write(requestLineEnded_
                           ? QByteArrayLiteral("HTTP/1.1 431 Request Header Fields Too Large\r\n")
                           : QByteArrayLiteral("HTTP/1.1 414 URI Too Long\r\n"));
        socket_->write("Content-Length: 0\r\nConnection: close\r\n\r\n");
        socket_->disconnectFromHost();
    }

    QTcpSocket *socket_;
    QTimer idle_;
    qsizetype headBytes_ = 0;
    int lineEnds_ = 0;
    bool requestLineEnded_ = false;
};

// Puts a guard on every connection before handing it on.
class GuardedTcpServer : public QTcpServer
{
public:
    using QTcpServer::QTcpServer;

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        new ConnectionGuard(socket);
        addPendingConnection(socket);
    }
};

// The embedded site, one for the whole process, owned by the application so
// that it goes away with it. Returns its port, or 0 when it cannot listen.
quint16 embeddedSitePort()
{
    static QPointer<HelpServer> server;
    static quint16 port = 0;
    initHelpResources();
    if (server)
        return port;
    auto *started = new HelpServer(QCoreApplication::instance());
    auto *listener = new GuardedTcpServer(started);
    if (!listener->listen(QHostAddress::LocalHost, 0)) {
        // Nothing listens; the next call tries again.
        delete started;
        return 0;
    }
    started->bind(listener);
    server = started;
    port = listener->serverPort();
    return port;
}

} // namespace

QString helpSiteResource(const QString &requestPath)
{
    return helpPages().value(requestPath);
}

QString helpPageAddress(const SettingsModel &settings)
{
    const QString host = settings.helpHost();
    if (!host.isEmpty())
        return QStringLiteral("http://%1/help.html").arg(host);
    const quint16 port = embeddedSitePort();
    if (port == 0)
        return QString();
    return QStringLiteral("http://127.0.0.1:%1/help.html").arg(port);
}
