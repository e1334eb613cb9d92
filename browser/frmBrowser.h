#pragma once

#include <QWidget>

// The help browser window. Each "Web Help" click makes a new one.
class frmBrowser : public QWidget
{
    Q_OBJECT

public:
    explicit frmBrowser(QWidget *parent = nullptr);
    ~frmBrowser() override;

    // The address the window opens when it is shown.
    QString StartingAddress;
};
