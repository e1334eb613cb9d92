// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QList>
#include <QUrl>
#include <QWidget>

class QAction;
class QComboBox;
class QLabel;
class QTimer;
class QToolBar;
class QWebEngineView;

// The help browser window. Each "Web Help" click makes a new one.
class frmBrowser : public QWidget
{
    Q_OBJECT

public:
    explicit frmBrowser(QWidget *parent = nullptr);
    ~frmBrowser() override;

    // The address the window opens when it is shown.
    QString StartingAddress;

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void createControls();
    void load();
    void applyLayout();

    void tbToolBar_ButtonClick(QAction *button);
    void updateCaption();
    void brwWebBrowser_BeforeNavigate();
    void brwWebBrowser_DownloadComplete(bool ok);
    void cboAddress_Click();
    void cboAddress_KeyPress();
    void recordNavigation(const QString &address);

    void navigate(const QUrl &address);
    void navigationAsked();
    void brwWebBrowser_UrlChanged(const QUrl &address);
    bool busy() const;
    QString locationName() const;
    QUrl siteAddress(const QString &path) const;

    QToolBar *tbToolBar = nullptr;
    QWidget *picAddress = nullptr;
    QLabel *lblAddress = nullptr;
    QComboBox *cboAddress = nullptr;
    QWebEngineView *brwWebBrowser = nullptr;
    QList<QIcon> imlIcons;

    bool loaded_ = false;
    bool suppressNavigate_ = false;
    // A navigation was asked of the view and has not started yet: the view
    // reports the start a moment later, and until then it counts as busy. A
    // jump within the page starts no load at all, so the wait is bounded.
    bool navigationRequested_ = false;
    QTimer *startWait_ = nullptr;
    bool loading_ = false;
    QUrl shownAddress_;
};
