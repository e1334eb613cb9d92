#include "HelpSite.h"
#include "HelpResources.h"

#include "core/Settings.h"
#include "core/SettingsStore.h"

#include <QAbstractHttpServer>
#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
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
    port = started->listen(QHostAddress::LocalHost, 0);
    if (port == 0) {
        // Nothing listens; the next call tries again.
        delete started;
        return 0;
    }
    server = started;
    return port;
}

} // namespace

QString helpSiteResource(const QString &requestPath)
{
    return helpPages().value(requestPath);
}

QString helpPageAddress(const SettingsStore &store)
{
    const QString host = readSetting(store, Keys::helpHost, QString());
    if (!host.isEmpty())
        return QStringLiteral("http://%1/help.html").arg(host);
    const quint16 port = embeddedSitePort();
    if (port == 0)
        return QString();
    return QStringLiteral("http://127.0.0.1:%1/help.html").arg(port);
}
