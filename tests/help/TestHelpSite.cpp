// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestEnvironment.h"

#include "core/IniSettingsStore.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "help/HelpSite.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QSignalSpy>
#include <QTcpSocket>
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

struct HttpAnswer
{
    int status = 0; // 0: no status line came back
    QByteArray body;
};

// One HTTP/1.0 request sent exactly as written, so the site sees the path byte
// for byte (QNetworkAccessManager would clean up ".." first). The site keeps
// the connection open: the answer is whole once its body has Content-Length bytes.
HttpAnswer ask(quint16 port, const QByteArray &requestLine)
{
    SiteConnection site(port);
    site.socket.write(requestLine + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    HttpAnswer answer;
    const bool whole = QTest::qWaitFor(
        [&] {
            const qsizetype headEnd = site.reply.indexOf("\r\n\r\n");
            const QByteArray head = site.reply.left(headEnd).toLower();
            const qsizetype field = head.indexOf("content-length:");
            if (headEnd < 0 || field < 0)
                return false;
            answer.body = site.reply.mid(headEnd + 4);
            const qsizetype fieldEnd = head.indexOf('\n', field);
            return answer.body.size() >=
                   head.mid(field + 15, fieldEnd - field - 15).trimmed().toInt();
        },
        2000);
    const QList<QByteArray> statusLine = site.reply.left(site.reply.indexOf("\r\n")).split(' ');
    if (whole && statusLine.at(0).startsWith("HTTP/"))
        answer.status = statusLine.value(1).toInt();
    return answer;
}

} // namespace

class TestHelpSite : public QObject
{
    Q_OBJECT

private slots:
    void configuredHostIsUsedAsIs();
    void emptyHostStartsOneEmbeddedSite();
    void answers_data();
    void answers();
    void listensOnIpv4LoopbackOnly();
    void oversizedHeadsAreRefused_data();
    void oversizedHeadsAreRefused();
    void headsAreCountedOneByOne();
    void idleConnectionsAreDropped_data();
    void idleConnectionsAreDropped();

private:
    quint16 embeddedPort();

    TestEnvironment env_;
};

quint16 TestHelpSite::embeddedPort()
{
    IniSettingsStore file;
    SettingsModel settings(file);
    settings.setValue(Keys::helpHost, QString());
    const QUrl address(helpPageAddress(settings));
    return quint16(address.port());
}

void TestHelpSite::configuredHostIsUsedAsIs()
{
    IniSettingsStore file;
    SettingsModel settings(file);
    settings.setValue(Keys::helpHost, QStringLiteral("help.example.org:8080"));
    QCOMPARE(helpPageAddress(settings), QStringLiteral("http://help.example.org:8080/help.html"));
}

void TestHelpSite::emptyHostStartsOneEmbeddedSite()
{
    IniSettingsStore file;
    SettingsModel settings(file);
    settings.setValue(Keys::helpHost, QString());
    const QUrl first(helpPageAddress(settings));
    QCOMPARE(first.scheme(), QStringLiteral("http"));
    QCOMPARE(first.host(), QStringLiteral("127.0.0.1"));
    QCOMPARE(first.path(), QStringLiteral("/help.html"));
    QVERIFY(first.port() > 0);
    // Every later click opens the same site.
    QCOMPARE(QUrl(helpPageAddress(settings)), first);
}

void TestHelpSite::answers_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("title"); // of the page served

    auto row = [](const char *name, const char *request, int status, const char *title = "") {
        QTest::newRow(name) << QByteArray(request) << status << QByteArray(title);
    };
    const char *help = "<title>Kavelo Help</title>";
    const char *search = "<title>Kavelo Help Search</title>";
    row("help page", "GET /help.html", 200, help);
    row("search page", "GET /search.html", 200, search);
    row("query is not part of the path", "GET /search.html?q=pasko", 200, search);
    row("other than GET", "POST /help.html", 405);
    // The exact names of the pages only: no other spelling reaches anything.
    row("unknown page", "GET /index.html", 404);
    row("site root", "GET /", 404);
    row("no leading slash", "GET help.html", 404);
    row("other letter case", "GET /Help.html", 404);
    row("trailing slash", "GET /help.html/", 404);
    row("doubled slash", "GET //help.html", 404);
    row("toolbar image", "GET /toolbar/back.png", 404);
    row("resource path", "GET /:/help/help.html", 404);
    row("parent segment", "GET /../help.html", 404);
    row("parent after folder", "GET /x/../help.html", 404);
    row("climb to system file", "GET /../../../../etc/passwd", 404);
    row("absolute path", "GET /etc/passwd", 404);
    row("encoded dots", "GET /%2e%2e/help.html", 404);
    row("encoded dots upper case", "GET /%2E%2E/%2E%2E/etc/passwd", 404);
    row("encoded slash", "GET /..%2Fhelp.html", 404);
    row("encoded slashes to a system file", "GET /..%2F..%2Fetc%2Fpasswd", 404);
    row("encoded backslash", "GET /..%5Chelp.html", 404);
    row("double encoding", "GET /%252e%252e/help.html", 404);
}

void TestHelpSite::answers()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(QByteArray, title);
    const HttpAnswer answer = ask(embeddedPort(), request);
    QCOMPARE(answer.status, status);
    if (title.isEmpty()) {
        QVERIFY(!answer.body.contains("<title>"));
        QVERIFY(!answer.body.contains("root:"));
    } else {
        QVERIFY2(answer.body.contains(title), answer.body.left(200).constData());
    }
}

void TestHelpSite::listensOnIpv4LoopbackOnly()
{
    const quint16 port = embeddedPort();
    QCOMPARE(ask(port, "GET /help.html").status, 200);

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

    // The bound itself, not the constant: a head of 16 KiB is refused, so the
    // limit cannot grow unnoticed to where one connection holds megabytes.
    const QByteArray fill(16 * 1024, 'a');
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
    QCOMPARE(ask(embeddedPort(), "GET /help.html").status, 200);
}

void TestHelpSite::headsAreCountedOneByOne()
{
    const QByteArray request = "GET /help.html HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Fill: " +
                               QByteArray(kHelpSiteHeadLimit * 3 / 4, 'a') + "\r\n\r\n";
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
        trickler.start(kHelpSiteIdleLimit / 10);

    const auto limit = kHelpSiteIdleLimit.count();
    QTRY_VERIFY_WITH_TIMEOUT(site.closed(), limit * 2);
    // Timers may fire a little early, never much.
    QVERIFY2(site.open.elapsed() >= limit * 9 / 10, QByteArray::number(site.open.elapsed()));
    QCOMPARE(site.reply, QByteArray());
}

QTEST_GUILESS_MAIN(TestHelpSite)
#include "TestHelpSite.moc"
