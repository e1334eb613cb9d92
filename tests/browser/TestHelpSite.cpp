#include "HttpProbe.h"

#include "browser/HelpSite.h"
#include "core/Settings.h"
#include "platform/IniSettingsStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

namespace {

// A connection to the help site that collects everything the site sends back.
struct SiteConnection
{
    explicit SiteConnection(quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { reply += socket.readAll(); });
        QSignalSpy connected(&socket, &QTcpSocket::connected);
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (connected.wait(2000))
            open.start();
    }
    bool closed() const { return socket.state() == QAbstractSocket::UnconnectedState; }

    QTcpSocket socket;
    QByteArray reply;
    QElapsedTimer open;
};

} // namespace

class TestHelpSite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void routing_data();
    void routing();
    void configuredHostIsUsedAsIs();
    void emptyHostStartsOneEmbeddedSite();
    void servesBundledPages_data();
    void servesBundledPages();
    void requestPathsOutsideTheSiteAreNotFound_data();
    void requestPathsOutsideTheSiteAreNotFound();
    void onlyGetIsServed();
    void listensOnIpv4LoopbackOnly();
    void oversizedHeadsAreRefused_data();
    void oversizedHeadsAreRefused();
    void headsAreCountedOneByOne();
    void idleConnectionsAreDropped_data();
    void idleConnectionsAreDropped();

private:
    quint16 embeddedPort();

    QTemporaryDir config_;
};

void TestHelpSite::initTestCase()
{
    QVERIFY(config_.isValid());
    qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
}

quint16 TestHelpSite::embeddedPort()
{
    IniSettingsStore store;
    store.setValue(Keys::helpHost, QString());
    const QUrl address(helpPageAddress(store));
    return quint16(address.port());
}

void TestHelpSite::routing_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("resource");

    const QString help = QStringLiteral(":/help/help.html");
    const QString search = QStringLiteral(":/help/search.html");
    QTest::newRow("help page") << "/help.html" << help;
    QTest::newRow("search page") << "/search.html" << search;
    QTest::newRow("no leading slash") << "help.html" << QString();
    QTest::newRow("other letter case") << "/Help.html" << QString();
    QTest::newRow("trailing slash") << "/help.html/" << QString();
    QTest::newRow("doubled slash") << "//help.html" << QString();
    QTest::newRow("parent segment") << "/../help.html" << QString();
    QTest::newRow("encoded slash") << "/..%2Fhelp.html" << QString();
    QTest::newRow("encoded backslash") << "/..%5Chelp.html" << QString();
    QTest::newRow("toolbar image") << "/toolbar/back.png" << QString();
}

void TestHelpSite::routing()
{
    QFETCH(QString, path);
    QFETCH(QString, resource);
    QCOMPARE(helpSiteResource(path), resource);
}

void TestHelpSite::configuredHostIsUsedAsIs()
{
    IniSettingsStore store;
    store.setValue(Keys::helpHost, QStringLiteral("help.example.org:8080"));
    QCOMPARE(helpPageAddress(store), QStringLiteral("http://help.example.org:8080/help.html"));
}

void TestHelpSite::emptyHostStartsOneEmbeddedSite()
{
    IniSettingsStore store;
    store.setValue(Keys::helpHost, QString());
    const QUrl first(helpPageAddress(store));
    QCOMPARE(first.scheme(), QStringLiteral("http"));
    QCOMPARE(first.host(), QStringLiteral("127.0.0.1"));
    QCOMPARE(first.path(), QStringLiteral("/help.html"));
    QVERIFY(first.port() > 0);
    // Every later click opens the same site.
    QCOMPARE(QUrl(helpPageAddress(store)), first);
}

void TestHelpSite::servesBundledPages_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("title");

    QTest::newRow("help") << QByteArray("/help.html") << QByteArray("<title>Kavelo Help</title>");
    QTest::newRow("search") << QByteArray("/search.html")
                            << QByteArray("<title>Kavelo Help Search</title>");
    QTest::newRow("query is not part of the path")
        << QByteArray("/search.html?q=pasko") << QByteArray("<title>Kavelo Help Search</title>");
}

void TestHelpSite::servesBundledPages()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, title);
    const HttpAnswer answer = rawHttpRequest(embeddedPort(), "GET " + path + " HTTP/1.0");
    QCOMPARE(answer.status, 200);
    QVERIFY2(answer.body.contains(title), answer.body.left(200).constData());
}

void TestHelpSite::requestPathsOutsideTheSiteAreNotFound_data()
{
    QTest::addColumn<QByteArray>("path");

    QTest::newRow("unknown page") << QByteArray("/index.html");
    QTest::newRow("site root") << QByteArray("/");
    QTest::newRow("parent segment") << QByteArray("/../help.html");
    QTest::newRow("parent after folder") << QByteArray("/x/../help.html");
    QTest::newRow("climb to system file") << QByteArray("/../../../../etc/passwd");
    QTest::newRow("encoded dots") << QByteArray("/%2e%2e/help.html");
    QTest::newRow("encoded dots upper case") << QByteArray("/%2E%2E/%2E%2E/etc/passwd");
    QTest::newRow("encoded slash") << QByteArray("/..%2F..%2Fetc%2Fpasswd");
    QTest::newRow("double encoding") << QByteArray("/%252e%252e/help.html");
    QTest::newRow("absolute path") << QByteArray("/etc/passwd");
    QTest::newRow("resource path") << QByteArray("/:/help/help.html");
}

void TestHelpSite::requestPathsOutsideTheSiteAreNotFound()
{
    QFETCH(QByteArray, path);
    const HttpAnswer answer = rawHttpRequest(embeddedPort(), "GET " + path + " HTTP/1.0");
    QCOMPARE(answer.status, 404);
    QVERIFY(!answer.body.contains("<title>"));
    QVERIFY(!answer.body.contains("root:"));
}

void TestHelpSite::onlyGetIsServed()
{
    const HttpAnswer answer = rawHttpRequest(embeddedPort(), "POST /help.html HTTP/1.0");
    QCOMPARE(answer.status, 405);
    QVERIFY(!answer.body.contains("<title>"));
}

void TestHelpSite::listensOnIpv4LoopbackOnly()
{
    const quint16 port = embeddedPort();
    QCOMPARE(rawHttpRequest(port, "GET /help.html HTTP/1.0").status, 200);

    QList<QHostAddress> others{QHostAddress(QHostAddress::LocalHostIPv6)};
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        if (!address.isLoopback())
            others.append(address);
    }
    for (const QHostAddress &address : others) {
        QTcpSocket socket;
        QSignalSpy connected(&socket, &QTcpSocket::connected);
        QSignalSpy failed(&socket, &QTcpSocket::errorOccurred);
        socket.connectToHost(address, port);
        QTRY_VERIFY_WITH_TIMEOUT(!connected.isEmpty() || !failed.isEmpty(), 3000);
        QVERIFY2(connected.isEmpty(), qPrintable(address.toString()));
    }
}

void TestHelpSite::oversizedHeadsAreRefused_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QByteArray>("status");

    const QByteArray fill(helpSiteHeadLimit, 'a');
    QTest::newRow("request line") << "GET /" + fill << QByteArray("HTTP/1.1 414 ");
    QTest::newRow("one header") << "GET /help.html HTTP/1.1\r\nX-Fill: " + fill
                                << QByteArray("HTTP/1.1 431 ");
    QTest::newRow("many headers") << "GET /help.html HTTP/1.1\n" +
                                         QByteArray("X-Fill: a\n").repeated(fill.size() / 10)
                                  << QByteArray("HTTP/1.1 431 ");
}

void TestHelpSite::oversizedHeadsAreRefused()
{
    QFETCH(QByteArray, head);
    QFETCH(QByteArray, status);
    SiteConnection site(embeddedPort());
    QVERIFY(site.open.isValid());
    site.socket.write(head);
    QTRY_VERIFY_WITH_TIMEOUT(site.closed(), 2000);
    QVERIFY2(site.reply.startsWith(status), site.reply.constData());

    // The site goes on serving.
    QCOMPARE(rawHttpRequest(embeddedPort(), "GET /help.html HTTP/1.0").status, 200);
}

void TestHelpSite::headsAreCountedOneByOne()
{
    const QByteArray request = "GET /help.html HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Fill: " +
                               QByteArray(helpSiteHeadLimit * 3 / 4, 'a') + "\r\n\r\n";
    const QByteArray title = "<title>Kavelo Help</title>";
    SiteConnection site(embeddedPort());
    QVERIFY(site.open.isValid());
    site.socket.write(request);
    QTRY_COMPARE(site.reply.count(title), 1);
    site.socket.write(request);
    QTRY_COMPARE(site.reply.count(title), 2);
    QVERIFY(!site.closed());
}

void TestHelpSite::idleConnectionsAreDropped_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("trickle");

    QTest::newRow("nothing sent") << QByteArray() << QByteArray();
    QTest::newRow("head sent a byte at a time")
        << QByteArray("GET /help.html HTTP/1.1\r\nX-Fill: ") << QByteArray("a");
}

void TestHelpSite::idleConnectionsAreDropped()
{
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, trickle);
    SiteConnection site(embeddedPort());
    QVERIFY(site.open.isValid());
    site.socket.write(sent);
    QTimer trickler;
    connect(&trickler, &QTimer::timeout, &site.socket, [&] { site.socket.write(trickle); });
    if (!trickle.isEmpty())
        trickler.start(helpSiteIdleLimit / 10);

    const auto limit = helpSiteIdleLimit.count();
    QTRY_VERIFY_WITH_TIMEOUT(site.closed(), limit * 2);
    // Timers may fire a little early, never much.
    QVERIFY2(site.open.elapsed() >= limit * 9 / 10, QByteArray::number(site.open.elapsed()));
    QCOMPARE(site.reply, QByteArray());
}

QTEST_GUILESS_MAIN(TestHelpSite)
#include "TestHelpSite.moc"
