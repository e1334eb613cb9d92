// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestEnvironment.h"

#include "core/IniSettingsStore.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "gui/browser/frmBrowser.h"
#include "help/HelpSite.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QToolBar>
#include <QWebEngineHistory>
#include <QWebEngineView>

#include <memory>
#include <optional>

namespace {

constexpr int pageTimeout = 20000;
const QString helpTitle = QStringLiteral("Kavelo Help");
const QString searchTitle = QStringLiteral("Kavelo Help Search");

// A window under test with its controls found by name, as the user sees them.
struct BrowserUnderTest
{
    explicit BrowserUnderTest(const QString &startingAddress)
    {
        window = new frmBrowser();
        window->StartingAddress = startingAddress;
        toolbar = window->findChild<QToolBar *>(QStringLiteral("tbToolBar"));
        panel = window->findChild<QWidget *>(QStringLiteral("picAddress"));
        label = window->findChild<QLabel *>(QStringLiteral("lblAddress"));
        address = window->findChild<QComboBox *>(QStringLiteral("cboAddress"));
        view = window->findChild<QWebEngineView *>(QStringLiteral("brwWebBrowser"));
    }
    ~BrowserUnderTest() { delete window; }

    QString title() const { return window->windowTitle(); }
    // The caption shows that a page is on its way.
    bool busy() const { return title() == QLatin1String("Working..."); }
    QAction *button(const QString &key) const { return toolbar->findChild<QAction *>(key); }
    QStringList addressList() const
    {
        QStringList items;
        for (int i = 0; i < address->count(); ++i)
            items.append(address->itemText(i));
        return items;
    }
    // Types over the address box and presses Enter the way a user's keys
    // arrive: at the widget that has the focus.
    [[nodiscard]] bool enterAddress(const QString &text) const
    {
        QApplication::setActiveWindow(window);
        address->setFocus();
        if (!QTest::qWaitFor([this] { return QApplication::focusWidget() == address; }))
            return false;
        QTest::keyClick(address, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(address, text);
        QTest::keyClick(address, Qt::Key_Return);
        return true;
    }

    QPointer<frmBrowser> window;
    QToolBar *toolbar = nullptr;
    QWidget *panel = nullptr;
    QLabel *label = nullptr;
    QComboBox *address = nullptr;
    QWebEngineView *view = nullptr;
};

// The result of a script run in the page on display.
QVariant runScript(QWebEngineView *view, const QString &script)
{
    auto result = std::make_shared<std::optional<QVariant>>();
    view->page()->runJavaScript(script, [result](const QVariant &value) { *result = value; });
    if (!QTest::qWaitFor([&] { return result->has_value(); }, 5000))
        return QVariant();
    return **result;
}

} // namespace

class TestFrmBrowser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void windowWithoutAStartingAddress();
    void toolbarButtons_data();
    void toolbarButtons();
    void tabOrderRunsViewAddressToolbar();
    void resizeFollowsTheWindow_data();
    void resizeFollowsTheWindow();
    void twoWindowsBothReachTheHelpPage();
    void enterNavigatesAndKeepsVisitedAddresses();
    void homeSearchAndBack();
    void jumpsWithinThePageEnd();
    void stopShowsTheTitleOnDisplayAtOnce();
    void searchPageFindsHelpTopics_data();
    void searchPageFindsHelpTopics();
    void unknownKeysDoNothing_data();
    void unknownKeysDoNothing();

private:
    QString sitePage(const QString &path) const;

    QString help_;
};

void TestFrmBrowser::initTestCase()
{
    IniSettingsStore file;
    help_ = helpPageAddress(SettingsModel(file));
    QVERIFY(!help_.isEmpty());
}

QString TestFrmBrowser::sitePage(const QString &path) const
{
    QUrl page(help_);
    page.setPath(path);
    return page.toString();
}

void TestFrmBrowser::windowWithoutAStartingAddress()
{
    BrowserUnderTest b{QString()};
    QVERIFY(b.toolbar && b.panel && b.label && b.address && b.view);
    QSignalSpy started(b.view, &QWebEngineView::loadStarted);
    b.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(b.window));

    // Client area 6540 x 5130 twips at (3060, 3345) twips on the screen.
    QCOMPARE(b.window->geometry(), QRect(204, 223, 436, 342));
    QVERIFY(b.window->windowFlags().testFlag(Qt::Tool));
    QVERIFY(b.window->windowFlags().testFlag(Qt::WindowMinMaxButtonsHint));
    QVERIFY(!b.window->windowIcon().isNull());
    QCOMPARE(b.label->buddy(), b.address);

    // Nothing to load: no page, no address, no caption.
    QVERIFY(!started.wait(500));
    QVERIFY(b.view->url().isEmpty());
    QCOMPARE(b.address->currentText(), QString());
    QCOMPARE(b.address->count(), 0);
    QCOMPARE(b.title(), QString());

    b.window->close();
    QTRY_VERIFY(b.window.isNull());
}

void TestFrmBrowser::toolbarButtons_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("key");

    const QStringList keys{"Back", "Forward", "Stop", "Refresh", "Home", "Search"};
    for (int i = 0; i < keys.size(); ++i)
        QTest::newRow(qPrintable(keys.at(i))) << i << keys.at(i);
}

void TestFrmBrowser::toolbarButtons()
{
    QFETCH(int, position);
    QFETCH(QString, key);
    BrowserUnderTest b{QString()};
    const QList<QAction *> buttons = b.toolbar->actions();
    QCOMPARE(buttons.size(), 6);
    QAction *button = buttons.at(position);
    QCOMPARE(button->objectName(), key);
    QCOMPARE(button->data().toString(), key);
    QCOMPARE(button->toolTip(), key);
    const QPixmap image = button->icon().pixmap(24, 24);
    QVERIFY(!image.isNull());
    // Not a blank square: the image draws something.
    const QImage pixels = image.toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < pixels.height(); ++y)
        for (int x = 0; x < pixels.width(); ++x)
            colours.insert(pixels.pixel(x, y));
    QVERIFY(colours.size() > 2);
}

void TestFrmBrowser::tabOrderRunsViewAddressToolbar()
{
    BrowserUnderTest b{QString()};
    const QList<QWidget *> wanted{b.view, b.address, b.toolbar};
    QList<QWidget *> seen;
    QWidget *w = b.view;
    for (int steps = 0; steps < 50 && seen.size() < 3; ++steps) {
        for (QWidget *candidate : wanted) {
            if (w == candidate && !seen.contains(candidate))
                seen.append(candidate);
        }
        w = w->nextInFocusChain();
    }
    QCOMPARE(seen, wanted);
}

void TestFrmBrowser::resizeFollowsTheWindow_data()
{
    QTest::addColumn<QSize>("inner");
    QTest::addColumn<QRect>("address");
    QTest::addColumn<QRect>("view");

    // Address box at (50, 330) in its panel, inner width - 100 wide; the view
    // inner width - 100 wide and inner height - 1095 - 100 high (all twips).
    QTest::newRow("as opened") << QSize(436, 342) << QRect(3, 22, 429, 21)
                               << QRect(3, 81, 429, 262);
    QTest::newRow("500 twips wider")
        << QSize(469, 342) << QRect(3, 22, 462, 21) << QRect(3, 81, 462, 262);
    QTest::newRow("300 twips taller")
        << QSize(436, 362) << QRect(3, 22, 429, 21) << QRect(3, 81, 429, 282);
    QTest::newRow("narrower than the margin")
        << QSize(6, 342) << QRect(3, 22, 0, 21) << QRect(3, 81, 0, 262);
    QTest::newRow("lower than the address panel")
        << QSize(436, 60) << QRect(3, 22, 429, 21) << QRect(3, 81, 429, 0);
    QTest::newRow("just the margin left")
        << QSize(436, 80) << QRect(3, 22, 429, 21) << QRect(3, 81, 429, 0);
}

void TestFrmBrowser::resizeFollowsTheWindow()
{
    QFETCH(QSize, inner);
    QFETCH(QRect, address);
    QFETCH(QRect, view);
    BrowserUnderTest b{QString()};
    b.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(b.window));
    b.window->resize(inner);
    QTRY_COMPARE(b.window->size(), inner);
    QCOMPARE(b.address->geometry(), address);
    QCOMPARE(b.view->geometry(), view);
    QCOMPARE(b.toolbar->width(), inner.width());
    QCOMPARE(b.panel->width(), inner.width());
}

// The caption says "Working..." from the start until the page's title arrives.
void TestFrmBrowser::twoWindowsBothReachTheHelpPage()
{
    BrowserUnderTest first{help_};
    BrowserUnderTest second{help_};
    QSignalSpy captions(first.window.data(), &QWidget::windowTitleChanged);
    first.window->show();
    QVERIFY(first.busy());
    second.window->show();
    for (const BrowserUnderTest *b : {&first, &second}) {
        QTRY_COMPARE_WITH_TIMEOUT(b->title(), helpTitle, pageTimeout);
        QCOMPARE(b->view->url().toString(), help_);
        QCOMPARE(b->address->currentText(), help_);
        QCOMPARE(b->addressList(), QStringList{help_});
    }
    QStringList seen;
    for (const QList<QVariant> &caption : captions)
        seen.append(caption.at(0).toString());
    QVERIFY2(!seen.isEmpty() && seen.first() == QStringLiteral("Working...") &&
                 seen.last() == helpTitle,
             qPrintable(seen.join(" | ")));
}

void TestFrmBrowser::enterNavigatesAndKeepsVisitedAddresses()
{
    BrowserUnderTest b{help_};
    b.window->show();
    QTRY_COMPARE_WITH_TIMEOUT(b.title(), helpTitle, pageTimeout);
    const QString search = sitePage(QStringLiteral("/search.html"));

    QSignalSpy started(b.view, &QWebEngineView::loadStarted);
    QVERIFY(b.enterAddress(search));
    QVERIFY(b.busy());
    QTRY_COMPARE_WITH_TIMEOUT(b.title(), searchTitle, pageTimeout);
    QCOMPARE(b.view->url().toString(), search);
    QCOMPARE(started.count(), 1);
    QTRY_COMPARE(b.addressList(), (QStringList{search, help_}));
    QCOMPARE(b.address->currentText(), search);

    // Back to a page already listed: it moves to the top, listed once.
    QVERIFY(b.enterAddress(help_));
    QTRY_COMPARE_WITH_TIMEOUT(b.title(), helpTitle, pageTimeout);
    QTRY_COMPARE(b.addressList(), (QStringList{help_, search}));

    // Picking an entry from the list navigates to it.
    b.address->showPopup();
    QAbstractItemView *list = b.address->view();
    QTRY_VERIFY(list->isVisible());
    const QRect entry = list->visualRect(list->model()->index(1, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entry.center());
    QTRY_COMPARE_WITH_TIMEOUT(b.title(), searchTitle, pageTimeout);
    QTRY_COMPARE(b.addressList(), (QStringList{search, help_}));

    // Typing a listed address and leaving the box is no pick.
    QApplication::setActiveWindow(b.window);
    b.address->setFocus();
    QTRY_VERIFY(b.address->lineEdit()->hasFocus());
    b.address->lineEdit()->selectAll();
    QTest::keyClicks(b.address->lineEdit(), help_);
    started.clear();
    b.view->setFocus();
    QTRY_VERIFY(!b.address->lineEdit()->hasFocus());
    QVERIFY(!started.wait(500));
    QCOMPARE(b.view->url().toString(), search);
    QVERIFY(!b.busy());
}

void TestFrmBrowser::homeSearchAndBack()
{
    BrowserUnderTest b{help_};
    b.window->show();
    QTRY_COMPARE_WITH_TIMEOUT(b.title(), helpTitle, pageTimeout);

    b.button(QStringLiteral("Search"))->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(b.title(), searchTitle, pageTimeout);
    QCOMPARE(b.view->url().path(), QStringLiteral("/search.html"));
    QCOMPARE(b.view->url().port(), QUrl(help_).port());

    b.button(QStringLiteral("Back"))->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(b.view->url().toString(), help_, pageTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(b.title(), helpTitle, pageTimeout);

    b.button(QStringLiteral("Forward"))->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(b.view->url().path(), QStringLiteral("/search.html"), pageTimeout);

    b.button(QStringLiteral("Home"))->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(b.view->url().toString(), help_, pageTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(b.title(), helpTitle, pageTimeout);
}

void TestFrmBrowser::jumpsWithinThePageEnd()
{
    BrowserUnderTest b{help_};
    b.window->show();
    QTRY_COMPARE_WITH_TIMEOUT(b.title(), helpTitle, pageTimeout);
    const QString topic = help_ + QStringLiteral("#detection");

    QVERIFY(b.enterAddress(topic));
    QTRY_COMPARE_WITH_TIMEOUT(b.view->url().toString(), topic, pageTimeout);
    QTRY_VERIFY(!b.busy());
    QCOMPARE(b.title(), helpTitle);

    // The view files the jump in its history a moment after it reports the address.
    QTRY_VERIFY(b.view->history()->canGoBack());
    const QPair<QString, QString> steps[] = {{QStringLiteral("Back"), help_},
                                             {QStringLiteral("Forward"), topic},
                                             {QStringLiteral("Refresh"), topic}};
    for (const auto &[key, address] : steps) {
        if (key == QLatin1String("Forward"))
            QTRY_VERIFY(b.view->history()->canGoForward());
        b.button(key)->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(b.view->url().toString(), address, pageTimeout);
        QTRY_VERIFY2_WITH_TIMEOUT(!b.busy(), qPrintable(key), pageTimeout);
        QCOMPARE(b.title(), helpTitle);
    }
}

void TestFrmBrowser::stopShowsTheTitleOnDisplayAtOnce()
{
    // A server that takes requests and never answers: the load stays busy.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    std::vector<std::unique_ptr<QTcpSocket>> held;
    connect(&silent, &QTcpServer::newConnection, &silent, [&] {
        while (silent.hasPendingConnections())
            held.emplace_back(silent.nextPendingConnection());
    });

    BrowserUnderTest b{help_};
    b.window->show();
    QTRY_COMPARE_WITH_TIMEOUT(b.title(), helpTitle, pageTimeout);

    QVERIFY(
        b.enterAddress(QStringLiteral("http://127.0.0.1:%1/slow.html").arg(silent.serverPort())));
    QTRY_VERIFY_WITH_TIMEOUT(!held.empty(), pageTimeout);
    QTRY_COMPARE(b.title(), QStringLiteral("Working..."));

    QSignalSpy finished(b.view, &QWebEngineView::loadFinished);
    b.button(QStringLiteral("Stop"))->trigger();
    QCOMPARE(b.title(), helpTitle);
    // The stopped load ends as a failure and leaves the page on display.
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, pageTimeout);
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QCOMPARE(b.title(), helpTitle);
}

void TestFrmBrowser::searchPageFindsHelpTopics_data()
{
    QTest::addColumn<QString>("words");
    QTest::addColumn<QStringList>("topics");

    QTest::newRow("adapter model") << "pasko" << QStringList{"#adapters", "#detection"};
    QTest::newRow("added key") << "helphost" << QStringList{"#settings"};
    QTest::newRow("all words must match") << "Trenda 2A" << QStringList{"#detection"};
    QTest::newRow("key of the remote") << "shuffle" << QStringList{"#keys"};
    QTest::newRow("nothing") << "xylophone" << QStringList{};
}

void TestFrmBrowser::searchPageFindsHelpTopics()
{
    QFETCH(QString, words);
    QFETCH(QStringList, topics);
    QUrl page(sitePage(QStringLiteral("/search.html")));
    page.setQuery(QStringLiteral("q=") + QString::fromLatin1(QUrl::toPercentEncoding(words)));
    BrowserUnderTest b{page.toString()};
    b.window->show();
    QTRY_COMPARE_WITH_TIMEOUT(b.title(), searchTitle, pageTimeout);

    QVERIFY(QTest::qWaitFor(
        [&] {
            return runScript(b.view, QStringLiteral("document.body.dataset.ready")).toString() ==
                   QStringLiteral("true");
        },
        pageTimeout));
    const QStringList found =
        runScript(b.view, QStringLiteral("Array.from(document.querySelectorAll('#results a'), "
                                         "a => new URL(a.href).hash)"))
            .toStringList();
    for (const QString &topic : topics)
        QVERIFY2(found.contains(topic), qPrintable(found.join(' ')));
    if (topics.isEmpty())
        QCOMPARE(found, QStringList{});
}

void TestFrmBrowser::unknownKeysDoNothing_data()
{
    QTest::addColumn<QString>("key");

    QTest::newRow("lower case") << "home";
    QTest::newRow("upper case") << "SEARCH";
    QTest::newRow("trailing blank") << "Back ";
    QTest::newRow("unknown") << "Print";
    QTest::newRow("empty") << "";
}

void TestFrmBrowser::unknownKeysDoNothing()
{
    QFETCH(QString, key);
    // Away from the help page, so that "Home" would show as a navigation.
    BrowserUnderTest b{sitePage(QStringLiteral("/search.html"))};
    b.window->show();
    QTRY_COMPARE_WITH_TIMEOUT(b.title(), searchTitle, pageTimeout);

    QAction *odd = b.toolbar->addAction(QStringLiteral("odd"));
    odd->setData(key);
    QSignalSpy started(b.view, &QWebEngineView::loadStarted);
    odd->trigger();
    QVERIFY(!b.busy());
    QVERIFY(!started.wait(500));
    QCOMPARE(b.view->url().path(), QStringLiteral("/search.html"));
    QCOMPARE(b.title(), searchTitle);
}

int main(int argc, char *argv[])
{
    TestEnvironment environment;
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestFrmBrowser test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestFrmBrowser.moc"
