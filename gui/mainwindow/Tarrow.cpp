// SPDX-License-Identifier: GPL-3.0-or-later
#include "Tarrow.h"
#include "Version.h"

#include "core/PlaylistWriter.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "core/ThumbsLists.h"
#include "gui/AppIcon.h"
#include "gui/FitCaptions.h"
#include "gui/Messages.h"
#include "gui/Twips.h"
#include "gui/browser/frmBrowser.h"
#include "gui/keys/frmKeys.h"
#include "gui/mainwindow/Autostart.h"
#include "gui/mainwindow/PlayerMenu.h"
#include "gui/mainwindow/frmHome.h"
#include "gui/setup/frmSetup.h"
#include "help/HelpSite.h"
#include "mqtt/BrokerFollower.h"
#include "serial/SerialComm.h"
#include "system/DesktopNotifier.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace {
const QString kTitle = QStringLiteral("Kavelo");

// The controls sit at fixed places; the area only tells the window how big
// its client area starts out.
class ClientArea : public QWidget
{
public:
    using QWidget::QWidget;
    QSize sizeHint() const override { return twipsSize(8610, 3345); }
};

// The frame display's background: light green (0x00C0FFC0) for a frame of this
// house and bank, light red (0x008080FF) for any other.
const QColor kAcceptedColour(192, 255, 192);
const QColor kRejectedColour(255, 128, 128);

void setBackground(QWidget *widget, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, colour);
    widget->setPalette(palette);
}

QLineEdit *displayBox(QWidget *parent, const char *name, QRect geometry)
{
    auto *box = place(new QLineEdit(parent), name, geometry);
    box->setReadOnly(true);
    box->setAlignment(Qt::AlignCenter);
    setBackground(box, Qt::white);
    return box;
}

QTimer *offTimer(QObject *parent, const char *name)
{
    auto *timer = new QTimer(parent);
    timer->setObjectName(QLatin1String(name));
    timer->setSingleShot(true);
    // The pause guard lasts its full 800 ms, not up to 5 % less.
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(1000);
    return timer;
}
} // namespace

Tarrow::Tarrow(SettingsModel &settings, ThumbsLists &thumbs, PlayerFactory createPlayer,
               Messages &messages, QWidget *parent)
    : QMainWindow(parent), Comm1(new SerialComm(settings, this)), settings_(settings),
      thumbs_(thumbs), messages_(messages),
      notifier_(new DesktopNotifier(QDBusConnection::sessionBus(), this)),
      keyPath_(settings, *Comm1, *this, std::move(createPlayer)),
      broker_(new BrokerFollower(settings, keyPath_, this))
{
    setObjectName(QStringLiteral("Tarrow"));
    setWindowTitle(kTitle);
    setWindowIcon(appIcon());
    createControls();
    fitCaptions(this);
    createMenu();
    arrangeTabOrder();
    resize(sizeHint());

    connect(Timer1, &QTimer::timeout, this, &Tarrow::Timer1_Timer);
    connect(Timer2, &QTimer::timeout, this, &Tarrow::Timer2_Timer);
    // No frame is carried out while a message waits for the user.
    connect(&messages_, &Messages::opened, &keyPath_.loop(), &ReceiveLoop::hold);
    connect(&messages_, &Messages::closed, &keyPath_.loop(), &ReceiveLoop::release);
    connect(cmdSetup, &QPushButton::clicked, this, &Tarrow::cmdSetup_Click);
    connect(cmdClearlistTU, &QPushButton::clicked, this, &Tarrow::cmdClearlistTU_Click);
    connect(cmdClearlistTD, &QPushButton::clicked, this, &Tarrow::cmdClearlistTD_Click);
    connect(cmdMakePlaylist, &QPushButton::clicked, this, &Tarrow::cmdMakePlaylist_Click);
    connect(mnuViewBrowser, &QAction::triggered, this, &Tarrow::mnuViewBrowser_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &Tarrow::mnuHelpAbout_Click);
    connect(mnuNotify, &QAction::triggered, this, &Tarrow::mnuNotify_Click);
    connect(mnuAutostart, &QAction::triggered, this, &Tarrow::mnuAutostart_Click);
    connect(mnuKeys, &QAction::triggered, this, &Tarrow::mnuKeys_Click);
    connect(mnuHome, &QAction::triggered, this, &Tarrow::mnuHome_Click);

    // The lists show what the thumbs keys marked, this run and before.
    listTU->addItems(thumbs_.entries(ThumbsLists::List::Up));
    listTD->addItems(thumbs_.entries(ThumbsLists::List::Down));
    connect(&thumbs_, &ThumbsLists::added, this,
            [this](ThumbsLists::List list, const QString &song) {
                (list == ThumbsLists::List::Up ? listTU : listTD)->addItem(song);
            });
    connect(&thumbs_, &ThumbsLists::cleared, this, [this](ThumbsLists::List list) {
        (list == ThumbsLists::List::Up ? listTU : listTD)->clear();
    });
    connect(&settings_, &SettingsModel::changed, this, [this](const QString &key) {
        if (key == Keys::notify)
            mnuNotify->setChecked(settings_.notify());
    });
}

Tarrow::~Tarrow() = default;

void Tarrow::createControls()
{
    auto *area = new ClientArea(this);
    area->setObjectName(QStringLiteral("clientArea"));
    setCentralWidget(area);

    // Created in the order of the window's control collection.
    Timer2 = offTimer(this, "Timer2");
    txtWincmd = displayBox(area, "txtWincmd", twipsRect(120, 2760, 3855, 375));
    cmdSetup = place(new QPushButton(QStringLiteral("Setup"), area), "cmdSetup",
                     twipsRect(4200, 2760, 2655, 375));
    Timer1 = offTimer(this, "Timer1");
    txtMonitor = displayBox(area, "txtMonitor", twipsRect(7080, 2760, 1215, 375));
    cmdClearlistTU = place(new QPushButton(QStringLiteral("Clear thumbs up list"), area),
                           "cmdClearlistTU", twipsRect(120, 2040, 2655, 375));
    cmdClearlistTD = place(new QPushButton(QStringLiteral("Clear thumbs down list"), area),
                           "cmdClearlistTD", twipsRect(5640, 2040, 2655, 375));
    listTD = place(new QListWidget(area), "listTD", twipsRect(4320, 240, 3975, 1620));
    Comm1->setObjectName(QStringLiteral("Comm1"));
    cmdMakePlaylist =
        place(new QPushButton(QStringLiteral("Make playlists from above lists "), area),
              "cmdMakePlaylist", twipsRect(2880, 2040, 2655, 375));
    listTU = place(new QListWidget(area), "listTU", twipsRect(120, 240, 3855, 1620));
    Label4 = place(new QLabel(QStringLiteral("X10 Cmd"), area), "Label4",
                   twipsRect(7080, 2520, 855, 255));
    Label3 = place(new QLabel(QStringLiteral("Active Playlist or Command"), area), "Label3",
                   twipsRect(120, 2520, 2055, 255));
    Label2 = place(new QLabel(QStringLiteral("thumbs up"), area), "Label2",
                   twipsRect(120, 0, 1335, 255));
    Label1 = place(new QLabel(QStringLiteral("thumbs down"), area), "Label1",
                   twipsRect(4320, 0, 1215, 255));
}

void Tarrow::createMenu()
{
    mnuOptions = menuBar()->addMenu(QStringLiteral("&Options"));
    mnuOptions->setObjectName(QStringLiteral("mnuOptions"));
    mnuPlayer = new PlayerMenu(settings_, this);
    mnuOptions->addMenu(mnuPlayer);
    mnuNotify = mnuOptions->addAction(QStringLiteral("Desktop &notifications"));
    mnuNotify->setObjectName(QStringLiteral("mnuNotify"));
    mnuNotify->setCheckable(true);
    mnuNotify->setChecked(settings_.notify());
    mnuAutostart = mnuOptions->addAction(QStringLiteral("&Start at login"));
    mnuAutostart->setObjectName(QStringLiteral("mnuAutostart"));
    mnuAutostart->setCheckable(true);
    mnuAutostart->setChecked(Autostart::enabled());
    mnuKeys = mnuOptions->addAction(QStringLiteral("&Keys…"));
    mnuKeys->setObjectName(QStringLiteral("mnuKeys"));
    mnuHome = mnuOptions->addAction(QStringLiteral("&Home automation…"));
    mnuHome->setObjectName(QStringLiteral("mnuHome"));

    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuViewBrowser = mnuHelp->addAction(QStringLiteral("&Web Help"));
    mnuViewBrowser->setObjectName(QStringLiteral("mnuViewBrowser"));
    mnuHelpAbout = mnuHelp->addAction(QStringLiteral("&About Kavelo"));
    mnuHelpAbout->setObjectName(QStringLiteral("mnuHelpAbout"));
}

void Tarrow::arrangeTabOrder()
{
    QWidget *const order[] = {listTU,         cmdMakePlaylist, listTD,   cmdClearlistTD,
                              cmdClearlistTU, txtMonitor,      cmdSetup, txtWincmd};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void Tarrow::load()
{
    show();
    // A port that cannot be opened stays closed, and the user can pick another
    // one in the setup window.
    if (const QString message = Comm1->openMessage(keyPath_.start()); !message.isEmpty())
        messages_.show(message, kTitle);
    // A room without a receiver of its own opens no port.
    if (const QStringList rooms = keyPath_.roomsHeard(); !rooms.isEmpty())
        txtWincmd->setText(QStringLiteral("keys from %1 through the broker")
                               .arg(rooms.join(QStringLiteral(", "))));
}

void Tarrow::closeEvent(QCloseEvent *event)
{
    keyPath_.stop();
    // "offline" goes out on the way out, while the event loop still runs.
    delete broker_;
    broker_ = nullptr;

    // The setup and browser windows have no owner: they go with this one.
    QList<QPointer<QWidget>> others;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (qobject_cast<frmSetup *>(window) || qobject_cast<frmBrowser *>(window))
            others << window;
    }
    for (const QPointer<QWidget> &window : others)
        delete window.data();

    event->accept();
    QApplication::quit();
}

void Tarrow::cmdSetup_Click()
{
    frmSetup::showSetup(*Comm1, keyPath_.loop(), settings_, messages_);
}

void Tarrow::cmdClearlistTU_Click()
{
    thumbs_.clear(ThumbsLists::List::Up);
}

void Tarrow::cmdClearlistTD_Click()
{
    thumbs_.clear(ThumbsLists::List::Down);
}

void Tarrow::cmdMakePlaylist_Click()
{
    const QList<PlaylistWriteError> failures = makePlaylists(
        thumbs_.entries(ThumbsLists::List::Up), thumbs_.entries(ThumbsLists::List::Down),
        settings_.thumbsUpFile(), settings_.thumbsDownFile());
    for (const PlaylistWriteError &failure : failures) {
        messages_.show(QStringLiteral("The playlist file %1 could not be written: %2")
                           .arg(failure.path, failure.reason),
                       kTitle);
    }
}

void Tarrow::mnuViewBrowser_Click()
{
    auto *browser = new frmBrowser();
    browser->StartingAddress = helpPageAddress(settings_);
    browser->show();
}

void Tarrow::mnuHelpAbout_Click()
{
    messages_.show(QStringLiteral("Kavelo ver " KAVELO_VERSION), kTitle);
}

void Tarrow::Timer1_Timer()
{
    setBackground(txtMonitor, QApplication::palette().color(QPalette::Base));
    Timer1->stop();
}

void Tarrow::Timer2_Timer()
{
    Timer2->stop();
    keyPath_.remote().endPauseGuard();
}

void Tarrow::showFrame(const QString &text)
{
    txtMonitor->setText(text);
}

void Tarrow::highlightFrame(bool accepted)
{
    setBackground(txtMonitor, accepted ? kAcceptedColour : kRejectedColour);
    Timer1->start();
}

void Tarrow::showCommand(const QString &text)
{
    txtWincmd->setText(text);
}

void Tarrow::startPauseGuard(int intervalMs)
{
    Timer2->start(intervalMs);
}

void Tarrow::addThumbsUp(const QString &song)
{
    thumbs_.add(ThumbsLists::List::Up, song);
}

void Tarrow::addThumbsDown(const QString &song)
{
    thumbs_.add(ThumbsLists::List::Down, song);
}

void Tarrow::announce(const QString &summary, const QString &body)
{
    notifier_->notify(summary, body);
}

void Tarrow::pressed(const X10Key &key)
{
    if (keys_)
        keys_->keyHeard(key.name());
}

void Tarrow::mnuKeys_Click()
{
    if (!keys_) {
        keys_ = new frmKeys(settings_, this);
        keys_->setAttribute(Qt::WA_DeleteOnClose);
    }
    keys_->show();
    keys_->raise();
    keys_->activateWindow();
}

void Tarrow::mnuHome_Click()
{
    auto *dialog = new frmHome(settings_, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void Tarrow::mnuNotify_Click(bool on)
{
    settings_.setValue(Keys::notify, booleanText(on));
}

void Tarrow::mnuAutostart_Click(bool on)
{
    QString why;
    if (!Autostart::setEnabled(on, why)) {
        mnuAutostart->setChecked(Autostart::enabled());
        messages_.show(QStringLiteral("Kavelo cannot change its start at login (%1): %2")
                           .arg(Autostart::entryFile(), why),
                       kTitle);
    }
}
