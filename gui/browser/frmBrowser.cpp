// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmBrowser.h"
#include "help/HelpResources.h"

#include "gui/AppIcon.h"
#include "gui/Twips.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QToolBar>
#include <QWebEngineHistory>
#include <QWebEngineView>

#include <algorithm>

namespace {

// A jump within the page starts no load: a navigation that has not started
// within this long counts as done.
constexpr int kLongestWaitForStartMs = 1000;

// A size from the resize formulas; a window smaller than the margins gives zero.
int clampedPixels(int lengthTwips)
{
    return twips(std::max(0, lengthTwips));
}

struct ToolbarButton
{
    const char *key;
    const char *themeIcon;
    const char *fallbackIcon;
};

// Toolbar order; the key is also the tool tip.
constexpr ToolbarButton kToolbarButtons[] = {
    {"Back", "go-previous", ":/help/toolbar/back.png"},
    {"Forward", "go-next", ":/help/toolbar/forward.png"},
    {"Stop", "process-stop", ":/help/toolbar/stop.png"},
    {"Refresh", "view-refresh", ":/help/toolbar/refresh.png"},
    {"Home", "go-home", ":/help/toolbar/home.png"},
    {"Search", "edit-find", ":/help/toolbar/search.png"},
};

} // namespace

frmBrowser::frmBrowser(QWidget *parent) : QWidget(parent, Qt::Tool)
{
    initHelpResources();
    // Qt::Tool keeps the window out of the task bar; the hints give back the
    // frame of an ordinary sizable window.
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("frmBrowser"));
    setWindowIcon(appIcon());
    setWindowTitle(QString());
    createControls();
    // The client area opens at a fixed place on the screen.
    setGeometry(twipsRect(3060, 3345, 6540, 5130));
}

frmBrowser::~frmBrowser() = default;

void frmBrowser::createControls()
{
    for (const ToolbarButton &button : kToolbarButtons)
        imlIcons.append(QIcon::fromTheme(QLatin1String(button.themeIcon),
                                         QIcon(QLatin1String(button.fallbackIcon))));

    tbToolBar = place(new QToolBar(this), "tbToolBar", twipsRect(0, 0, 6540, 420));
    tbToolBar->setIconSize(QSize(24, 24));
    tbToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    tbToolBar->setMovable(false);
    tbToolBar->setFloatable(false);
    tbToolBar->setContentsMargins(0, 0, 0, 0);
    tbToolBar->setFocusPolicy(Qt::TabFocus);
    for (int i = 0; i < int(std::size(kToolbarButtons)); ++i) {
        const QString key = QLatin1String(kToolbarButtons[i].key);
        QAction *button = tbToolBar->addAction(imlIcons.at(i), key);
        button->setObjectName(key);
        button->setData(key);
        button->setToolTip(key);
    }
    connect(tbToolBar, &QToolBar::actionTriggered, this, &frmBrowser::tbToolBar_ButtonClick);

    brwWebBrowser =
        place(new QWebEngineView(this), "brwWebBrowser", twipsRect(50, 1215, 5393, 3734));
    connect(brwWebBrowser, &QWebEngineView::loadStarted, this,
            &frmBrowser::brwWebBrowser_BeforeNavigate);
    connect(brwWebBrowser, &QWebEngineView::loadFinished, this,
            &frmBrowser::brwWebBrowser_DownloadComplete);
    connect(brwWebBrowser, &QWebEngineView::urlChanged, this,
            &frmBrowser::brwWebBrowser_UrlChanged);
    // A page's title may arrive after the page reports it has loaded: the
    // caption follows it, or it would keep the title of the page before.
    connect(brwWebBrowser, &QWebEngineView::titleChanged, this, &frmBrowser::updateCaption);

    startWait_ = new QTimer(this);
    startWait_->setSingleShot(true);
    startWait_->setInterval(kLongestWaitForStartMs);
    connect(startWait_, &QTimer::timeout, this, [this] {
        navigationRequested_ = false;
        updateCaption();
    });

    picAddress = place(new QWidget(this), "picAddress", twipsRect(0, 420, 6540, 675));
    picAddress->setFocusPolicy(Qt::NoFocus);

    cboAddress = place(new QComboBox(picAddress), "cboAddress", twipsRect(45, 300, 3795, 315));
    cboAddress->setEditable(true);
    cboAddress->setInsertPolicy(QComboBox::NoInsert);
    // Leaving the box with a listed address typed in is no pick: only the list
    // and the Enter key navigate. Enter reaches the box, which hands it to its
    // text field; the field reports it whatever was typed, where the box itself
    // would act only on a listed address.
    disconnect(cboAddress->lineEdit(), &QLineEdit::editingFinished, cboAddress, nullptr);
    disconnect(cboAddress->lineEdit(), &QLineEdit::returnPressed, cboAddress, nullptr);
    connect(cboAddress->lineEdit(), &QLineEdit::returnPressed, this,
            &frmBrowser::cboAddress_KeyPress);
    connect(cboAddress, &QComboBox::activated, this, &frmBrowser::cboAddress_Click);

    lblAddress = place(new QLabel(QStringLiteral("&Address:"), picAddress), "lblAddress",
                       twipsRect(45, 60, 3075, 255));
    lblAddress->setBuddy(cboAddress);

    setTabOrder(brwWebBrowser, cboAddress);
    setTabOrder(cboAddress, tbToolBar);
}

void frmBrowser::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (loaded_)
        return;
    loaded_ = true;
    load();
}

void frmBrowser::load()
{
    tbToolBar->update();
    applyLayout();
    cboAddress->move(twips(50),
                     twips(toTwips(lblAddress->y()) + toTwips(lblAddress->height()) + 15));
    brwWebBrowser->setFocus();
    if (StartingAddress.isEmpty())
        return;
    cboAddress->setEditText(StartingAddress);
    cboAddress->addItem(StartingAddress);
    navigate(QUrl(StartingAddress));
}

void frmBrowser::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    applyLayout();
}

void frmBrowser::applyLayout()
{
    // The toolbar and the address panel are docked to the top edge.
    tbToolBar->resize(width(), tbToolBar->height());
    picAddress->resize(width(), picAddress->height());

    const int innerWidth = toTwips(width());
    const int innerHeight = toTwips(height());
    const int addressBottom = toTwips(picAddress->y()) + toTwips(picAddress->height());
    cboAddress->resize(clampedPixels(innerWidth - 100), cboAddress->height());
    brwWebBrowser->resize(clampedPixels(innerWidth - 100),
                          clampedPixels(innerHeight - addressBottom - 100));
}

void frmBrowser::tbToolBar_ButtonClick(QAction *button)
{
    const QString key = button->data().toString();
    if (key == QLatin1String("Back")) {
        if (brwWebBrowser->history()->canGoBack()) {
            navigationAsked();
            brwWebBrowser->back();
        }
    } else if (key == QLatin1String("Forward")) {
        if (brwWebBrowser->history()->canGoForward()) {
            navigationAsked();
            brwWebBrowser->forward();
        }
    } else if (key == QLatin1String("Refresh")) {
        if (!brwWebBrowser->url().isEmpty()) {
            navigationAsked();
            brwWebBrowser->reload();
        }
    } else if (key == QLatin1String("Home")) {
        navigate(siteAddress(QStringLiteral("/help.html")));
    } else if (key == QLatin1String("Search")) {
        navigate(siteAddress(QStringLiteral("/search.html")));
    } else if (key == QLatin1String("Stop")) {
        navigationRequested_ = false;
        loading_ = false;
        brwWebBrowser->stop();
    }
    updateCaption();
}

// The caption says "Working..." from the moment a page is asked for until it
// has arrived, failed or been stopped, and the page's title after.
void frmBrowser::updateCaption()
{
    setWindowTitle(busy() ? QStringLiteral("Working...") : locationName());
}

void frmBrowser::brwWebBrowser_BeforeNavigate()
{
    navigationRequested_ = false;
    startWait_->stop();
    loading_ = true;
    updateCaption();
}

void frmBrowser::brwWebBrowser_DownloadComplete(bool ok)
{
    navigationRequested_ = false;
    startWait_->stop();
    loading_ = false;
    updateCaption();
    // Only pages that arrived go into the address list, not aborted loads.
    if (ok)
        recordNavigation(brwWebBrowser->url().toString());
}

void frmBrowser::cboAddress_Click()
{
    if (suppressNavigate_)
        return;
    navigate(QUrl::fromUserInput(cboAddress->currentText().trimmed()));
    updateCaption();
}

void frmBrowser::cboAddress_KeyPress()
{
    cboAddress_Click();
}

// Keeps the addresses visited most recent first, each once.
void frmBrowser::recordNavigation(const QString &address)
{
    Q_UNUSED(address);
    setWindowTitle(locationName());
    const QString current = brwWebBrowser->url().toString();
    if (current.isEmpty())
        return;
    const int found = cboAddress->findText(current, Qt::MatchExactly | Qt::MatchCaseSensitive);
    suppressNavigate_ = true;
    if (found >= 0)
        cboAddress->removeItem(found);
    cboAddress->insertItem(0, current);
    cboAddress->setCurrentIndex(0);
    suppressNavigate_ = false;
}

void frmBrowser::navigate(const QUrl &address)
{
    if (!address.isValid() || address.isEmpty())
        return;
    navigationAsked();
    brwWebBrowser->setUrl(address);
}

void frmBrowser::navigationAsked()
{
    navigationRequested_ = true;
    startWait_->start();
    updateCaption();
}

// A new address that differs only in its fragment is a jump within the page
// on display, which never reports a load.
void frmBrowser::brwWebBrowser_UrlChanged(const QUrl &address)
{
    if (!loading_ &&
        address.adjusted(QUrl::RemoveFragment) == shownAddress_.adjusted(QUrl::RemoveFragment)) {
        navigationRequested_ = false;
        startWait_->stop();
        updateCaption();
    }
    shownAddress_ = address;
}

bool frmBrowser::busy() const
{
    return navigationRequested_ || loading_;
}

QString frmBrowser::locationName() const
{
    return brwWebBrowser->title();
}

// An address on the site the window started on.
QUrl frmBrowser::siteAddress(const QString &path) const
{
    QUrl address(StartingAddress);
    if (!address.isValid() || address.host().isEmpty())
        return QUrl();
    address.setPath(path);
    address.setQuery(QString());
    address.setFragment(QString());
    return address;
}
