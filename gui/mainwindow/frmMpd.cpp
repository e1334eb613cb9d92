// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmMpd.h"

#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "gui/AppIcon.h"
#include "gui/FieldLabel.h"
#include "players/mpd/MpdConnection.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QFuture>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPromise>
#include <QPushButton>
#include <QThreadPool>

#include <memory>
#include <optional>

namespace {
struct MpdAddress
{
    QString password;
    QString host;
};

// As libmpdclient reads MPD_HOST: the password runs up to the first "@"; a
// host that starts with "@" is an abstract socket and carries none.
MpdAddress splitAddress(const QString &address)
{
    const qsizetype at = address.indexOf(QLatin1Char('@'));
    if (at <= 0)
        return {QString(), address};
    return {address.left(at), address.mid(at + 1)};
}

QString joinAddress(const MpdAddress &address)
{
    if (address.password.isEmpty())
        return address.host;
    return address.password + QLatin1Char('@') + address.host;
}

// The port as typed: empty is MPD's own (0); nothing when it is no port number.
std::optional<quint16> portNumber(const QString &text)
{
    if (text.trimmed().isEmpty())
        return 0;
    return toPort(text);
}

// Why what was typed cannot be kept as it is meant; "" when it can. The
// address is one text, split again where it is read: a password with an "@",
// or a host with one inside, would come back as another address.
QString addressProblem(const MpdAddress &typed, const std::optional<quint16> &port)
{
    if (!port)
        return QStringLiteral("The port is a number up to 65535, or empty for MPD's own.");
    if (!typed.password.isEmpty() && typed.host.isEmpty())
        return QStringLiteral("A password needs MPD's host name or socket path.");
    const MpdAddress read = splitAddress(joinAddress(typed));
    if (read.password != typed.password || read.host != typed.host)
        return QStringLiteral("MPD's address cannot hold an \"@\" in the password, nor inside "
                              "the host name.");
    return {};
}

// What stands in the way of the address, as the user is to read it; "" when
// nothing does. Runs away from the window's thread: it may take the whole
// time a player exchange may.
QString mpdProblem(const QString &address, unsigned port)
{
    QString why;
    const MpdConnection mpd = connectMpd(address, port, why);
    if (mpd.connection)
        return {};
    if (mpd.passwordRefused)
        return QStringLiteral("MPD refused the password.");
    return QStringLiteral("MPD cannot be reached: %1.").arg(why);
}
} // namespace

frmMpd::frmMpd(SettingsModel &settings, QWidget *parent) : QDialog(parent), settings_(settings)
{
    setObjectName(QStringLiteral("frmMpd"));
    setWindowTitle(QStringLiteral("MPD"));
    setWindowIcon(appIcon());
    createControls();
    showSettings();

    connect(cmdOk, &QPushButton::clicked, this, &frmMpd::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdMpdMusicDir, &QPushButton::clicked, this, &frmMpd::cmdMpdMusicDir_Click);
}

void frmMpd::createControls()
{
    const auto named = [this](auto *control, const char *name) {
        control->setObjectName(QLatin1String(name));
        return control;
    };
    txtMpdHost = named(new QLineEdit(this), "txtMpdHost");
    txtMpdHost->setPlaceholderText(QStringLiteral("this machine"));
    txtMpdPort = named(new QLineEdit(this), "txtMpdPort");
    txtMpdPort->setValidator(new QIntValidator(0, 65535, txtMpdPort));
    txtMpdPort->setPlaceholderText(QStringLiteral("6600"));
    txtMpdPassword = named(new QLineEdit(this), "txtMpdPassword");
    txtMpdPassword->setEchoMode(QLineEdit::Password);
    txtMpdPassword->setPlaceholderText(QStringLiteral("none"));
    txtMpdMusicDir = named(new QLineEdit(this), "txtMpdMusicDir");
    cmdMpdMusicDir = named(new QPushButton(QStringLiteral("…"), this), "cmdMpdMusicDir");
    cmdMpdMusicDir->setAccessibleName(QStringLiteral("Choose the music folder"));
    lblMpdState = named(new QLabel(this), "lblMpdState");
    lblMpdState->setWordWrap(true);
    cmdOk = named(new QPushButton(QStringLiteral("OK"), this), "cmdOk");
    cmdOk->setDefault(true);
    cmdCancel = named(new QPushButton(QStringLiteral("Cancel"), this), "cmdCancel");

    auto *musicDir = new QHBoxLayout;
    musicDir->addWidget(txtMpdMusicDir);
    musicDir->addWidget(cmdMpdMusicDir);
    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdOk, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);

    auto *form = new QFormLayout(this);
    form->addRow(fieldLabel(QStringLiteral("&Host name or socket path:"), txtMpdHost), txtMpdHost);
    form->addRow(fieldLabel(QStringLiteral("&Port:"), txtMpdPort), txtMpdPort);
    form->addRow(fieldLabel(QStringLiteral("Pass&word:"), txtMpdPassword), txtMpdPassword);
    form->addRow(fieldLabel(QStringLiteral("&Music folder here:"), txtMpdMusicDir), musicDir);
    form->addRow(lblMpdState);
    form->addRow(buttons);
}

void frmMpd::showSettings()
{
    const MpdAddress address = splitAddress(settings_.mpdHost());
    txtMpdHost->setText(address.host);
    txtMpdPassword->setText(address.password);
    const quint16 port = settings_.mpdPort().value_or(0);
    txtMpdPort->setText(port == 0 ? QString() : QString::number(port));
    txtMpdMusicDir->setText(settings_.mpdMusicDir());
}

void frmMpd::cmdOk_Click()
{
    const MpdAddress typed{txtMpdPassword->text(), txtMpdHost->text().trimmed()};
    const std::optional<quint16> port = portNumber(txtMpdPort->text());
    if (const QString problem = addressProblem(typed, port); !problem.isEmpty()) {
        lblMpdState->setText(problem);
        return;
    }
    const QString address = joinAddress(typed);
    settings_.setValue(Keys::mpdHost, address);
    settings_.setValue(Keys::mpdPort, numberText(int(*port)));
    settings_.setValue(Keys::mpdMusicDir, txtMpdMusicDir->text().trimmed());
    settings_.setValue(Keys::player, PlayerKinds::mpd);
    askMpd(address, *port);
}

void frmMpd::askMpd(const QString &address, unsigned port)
{
    lblMpdState->setText(QStringLiteral("Saved. Asking MPD…"));
    cmdOk->setEnabled(false);
    auto promise = std::make_shared<QPromise<QString>>();
    QFuture<QString> problem = promise->future();
    QThreadPool::globalInstance()->start([promise, address, port] {
        promise->start();
        promise->addResult(mpdProblem(address, port));
        promise->finish();
    });
    // Dropped when the dialog is gone by then.
    problem.then(this, [this](const QString &why) { showAnswer(why); });
}

void frmMpd::showAnswer(const QString &problem)
{
    cmdOk->setEnabled(true);
    if (problem.isEmpty()) {
        emit answered(true);
        accept();
        return;
    }
    lblMpdState->setText(problem + QStringLiteral(" The settings are saved all the same."));
    cmdCancel->setText(QStringLiteral("Close"));
    emit answered(false);
}

// open() returns at once: the remote goes on working while the user picks.
void frmMpd::cmdMpdMusicDir_Click()
{
    auto *chooser = new QFileDialog(this, QStringLiteral("MPD's music folder on this machine"),
                                    txtMpdMusicDir->text());
    chooser->setFileMode(QFileDialog::Directory);
    chooser->setOption(QFileDialog::ShowDirsOnly);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    connect(chooser, &QFileDialog::fileSelected, txtMpdMusicDir, &QLineEdit::setText);
    chooser->open();
}
