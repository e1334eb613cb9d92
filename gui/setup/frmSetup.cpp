// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmSetup.h"

#include "FileList.h"
#include "FolderList.h"
#include "PlaylistBox.h"

#include "core/SerialLine.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "gui/AppIcon.h"
#include "gui/FitCaptions.h"
#include "gui/Messages.h"
#include "gui/Twips.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDrag>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStorageInfo>

namespace {

frmSetup *openWindow = nullptr;

const QString kTitle = QStringLiteral("Kavelo");
const QString kM3u = QStringLiteral(".m3u");
// What a line edit keeps free on each side of its text inside the frame.
constexpr int kLineEditMargin = 2;

// The box is narrow: without a frame, and in a smaller font where the text
// would still be cut, it shows ".m3u" whole.
QLineEdit *fixedExtension(QWidget *parent, const char *name, QRect geometry)
{
    auto *box = place(new QLineEdit(kM3u, parent), name, geometry);
    box->setReadOnly(true);
    box->setEnabled(false);
    box->setFrame(false);
    box->setAlignment(Qt::AlignCenter);
    QFont font = box->font();
    const int room = box->width() - 2 * kLineEditMargin;
    while (QFontMetrics(font).horizontalAdvance(kM3u) > room && font.pointSizeF() > 6.0) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
        box->setFont(font);
    }
    return box;
}

// A folder as the first part of a path: with one trailing separator, also at "/".
QString folderPrefix(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

} // namespace

frmSetup *frmSetup::showSetup(SerialLine &comm, ReceiveLoop &loop, SettingsModel &settings,
                              Messages &messages)
{
    if (openWindow) {
        openWindow->raise();
        openWindow->activateWindow();
        return openWindow;
    }
    openWindow = new frmSetup(comm, loop, settings, messages);
    openWindow->load();
    openWindow->show();
    return openWindow;
}

frmSetup::frmSetup(SerialLine &comm, ReceiveLoop &loop, SettingsModel &settings, Messages &messages)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      comm_(comm), settings_(settings), messages_(messages),
      probe_(new AdapterProbe(comm, loop, this))
{
    setObjectName(QStringLiteral("frmSetup"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Setup"));
    setWindowIcon(appIcon());
    setFixedSize(twipsSize(9225, 7530));

    createControls();
    fitCaptions(this);
    setTabOrder();
    fillDriveList();
    connectHandlers();
}

frmSetup::~frmSetup()
{
    letGo();
}

void frmSetup::closeEvent(QCloseEvent *event)
{
    letGo();
    QWidget::closeEvent(event);
}

// The window is gone for the user once it closes, even before it is deleted: a
// probe still running would answer into nothing, and the next "Setup" loads afresh.
void frmSetup::letGo()
{
    probe_->stop();
    if (searching_ >= 0) {
        searching_ = -1;
        comm_.setDevice(QString());
    }
    if (openWindow == this)
        openWindow = nullptr;
}

void frmSetup::createControls()
{
    Frame5 = place(new QGroupBox(QStringLiteral("Vol Steps"), this), "Frame5",
                   twipsRect(5880, 4680, 975, 2175));
    volSteps =
        place(new QScrollBar(Qt::Vertical, Frame5), "volSteps", twipsRect(360, 480, 255, 1215));
    volSteps->setRange(0, 25);
    volSteps->setValue(5);
    volSteps->setFocusPolicy(Qt::StrongFocus);

    txtTU =
        place(new QLineEdit(Defaults::thumbsup(), this), "txtTU", twipsRect(480, 7200, 7455, 375));
    txtTU->hide();
    txtTD = place(new QLineEdit(this), "txtTD", twipsRect(480, 7560, 7455, 375));
    txtTD->hide();

    Frame1 = place(new QGroupBox(QStringLiteral("Select House/Unit Codes"), this), "Frame1",
                   twipsRect(6960, 4680, 2055, 2175));
    cmdApplyHC = place(new QPushButton(QStringLiteral("Apply"), Frame1), "cmdApplyHC",
                       twipsRect(600, 1560, 855, 375));
    optUpper = place(new QRadioButton(QStringLiteral("UCs 9-16"), Frame1), "optUpper",
                     twipsRect(600, 1080, 1215, 375));
    optLower = place(new QRadioButton(QStringLiteral("UC's 1-8"), Frame1), "optLower",
                     twipsRect(600, 720, 1215, 495));
    houseCodeList = place(new QComboBox(Frame1), "houseCodeList", twipsRect(600, 360, 855, 315));

    Frame4 = place(new QGroupBox(QStringLiteral("critic"), this), "Frame4",
                   twipsRect(120, 4680, 5655, 2175));
    tdPath = place(new QLineEdit(QStringLiteral("Text1"), Frame4), "tdPath",
                   twipsRect(480, 480, 2535, 375));
    tdPath->setReadOnly(true);
    tdFile = place(new QLineEdit(QStringLiteral("Text2"), Frame4), "tdFile",
                   twipsRect(3120, 480, 1695, 375));
    extt = fixedExtension(Frame4, "extt", twipsRect(4920, 480, 495, 375));
    tuPath = place(new QLineEdit(QStringLiteral("Text1"), Frame4), "tuPath",
                   twipsRect(480, 1200, 2535, 375));
    tuPath->setReadOnly(true);
    tuFile = place(new QLineEdit(QStringLiteral("Text2"), Frame4), "tuFile",
                   twipsRect(3120, 1200, 1695, 375));
    ext = fixedExtension(Frame4, "ext", twipsRect(4920, 1200, 495, 375));
    Label5 = place(new QLabel(QStringLiteral("thumbs down"), Frame4), "Label5",
                   twipsRect(3240, 240, 1815, 255));
    Label5->setAlignment(Qt::AlignCenter);
    Label6 = place(new QLabel(QStringLiteral("thumbs up"), Frame4), "Label6",
                   twipsRect(3000, 960, 2295, 255));
    Label6->setAlignment(Qt::AlignCenter);

    Frame3 = place(new QGroupBox(QStringLiteral("Serial Port"), this), "Frame3",
                   twipsRect(7680, 240, 1335, 2295));
    cmdApply = place(new QPushButton(QStringLiteral("Apply"), Frame3), "cmdApply",
                     twipsRect(240, 1200, 855, 375));
    ComportList = place(new QComboBox(Frame3), "ComportList", twipsRect(240, 600, 855, 315));

    Frame2 = place(new QGroupBox(QStringLiteral("playlist assignment"), this), "Frame2",
                   twipsRect(120, 240, 4695, 4335));
    for (int n = 8; n >= 1; --n) {
        const int top = 960 + (n - 1) * 360;
        const QByteArray name = "txtPlaylist" + QByteArray::number(n);
        auto *box =
            place(new PlaylistBox(n, Frame2), name.constData(), twipsRect(960, top, 3495, 285));
        box->setText(QStringLiteral("Text1"));
        txtPlaylist[n - 1] = box;
    }
    for (int n = 8; n >= 1; --n) {
        const int top = 960 + (n - 1) * 360;
        auto *label = place(new QLabel(QStringLiteral("#%1").arg(n), Frame2), "Label1",
                            twipsRect(240, top, 735, 255));
        label->setAlignment(Qt::AlignCenter);
        Label1[n - 1] = label;
    }

    Dir1 = place(new FolderList(this), "Dir1", twipsRect(5040, 840, 2415, 1665));
    File1 = place(new FileList(this), "File1", twipsRect(5040, 2760, 3975, 1845));
    Drive1 = place(new QComboBox(this), "Drive1", twipsRect(5040, 360, 2415, 315));
    Label2 =
        place(new QLabel(QStringLiteral("Label2"), this), "Label2", twipsRect(3720, 0, 1215, 495));

    // Along the free strip below the bottom frames.
    lblDevice = place(new QLabel(QStringLiteral("Serial device of the port:"), this), "lblDevice",
                      twipsRect(120, 7020, 2175, 255));
    cboDevice = place(new QComboBox(this), "cboDevice", twipsRect(2400, 6960, 4695, 315));
    cboDevice->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cmdFindAdapter = place(new QPushButton(QStringLiteral("Find adapter"), this), "cmdFindAdapter",
                           twipsRect(7200, 6930, 1815, 375));
}

void frmSetup::setTabOrder()
{
    const QList<QWidget *> order = {Drive1,         File1,          Dir1,           ComportList,
                                    houseCodeList,  cmdApply,       optLower,       optUpper,
                                    txtPlaylist[0], txtPlaylist[1], txtPlaylist[2], txtPlaylist[3],
                                    txtPlaylist[4], txtPlaylist[5], txtPlaylist[6], txtPlaylist[7],
                                    tuFile,         tuPath,         tdFile,         tdPath,
                                    cmdApplyHC,     volSteps,       cboDevice,      cmdFindAdapter};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    for (QWidget *skipped : {static_cast<QWidget *>(txtTU), static_cast<QWidget *>(txtTD),
                             static_cast<QWidget *>(ext), static_cast<QWidget *>(extt)})
        skipped->setFocusPolicy(Qt::NoFocus);
}

// The drive list starts on the volume of the folder list's first folder, the
// platform's working folder.
void frmSetup::fillDriveList()
{
    Dir1->setPath(QDir::currentPath());
    File1->setPath(Dir1->path());
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes())
        Drive1->addItem(volume.rootPath());
    Drive1->setCurrentIndex(Drive1->findText(QStorageInfo(Dir1->path()).rootPath()));
}

void frmSetup::connectHandlers()
{
    connect(cmdApply, &QPushButton::clicked, this, &frmSetup::cmdApply_Click);
    connect(probe_, &AdapterProbe::finished, this, &frmSetup::adapterProbed);
    connect(ComportList, &QComboBox::currentIndexChanged, this, &frmSetup::showPortDevice);
    connect(cmdFindAdapter, &QPushButton::clicked, this, &frmSetup::cmdFindAdapter_Click);

    connect(cmdApplyHC, &QPushButton::clicked, this, &frmSetup::cmdApplyHC_Click);

    connect(Drive1, &QComboBox::currentIndexChanged, this, &frmSetup::Drive1_Change);
    connect(Dir1, &FolderList::pathChanged, this, &frmSetup::Dir1_Change);
    connect(File1, &FileList::dragRequested, this, &frmSetup::File1_MouseDown);
    for (PlaylistBox *box : txtPlaylist)
        connect(box, &PlaylistBox::fileDropped, this, &frmSetup::txtPlaylist_DragDrop);

    connect(tuFile, &QLineEdit::textChanged, this, &frmSetup::tuFile_Change);
    connect(tdFile, &QLineEdit::textChanged, this, &frmSetup::tdFile_Change);
    connect(tuPath, &QLineEdit::textChanged, this, &frmSetup::tuPath_Change);
    connect(tdPath, &QLineEdit::textChanged, this, &frmSetup::tdPath_Change);
    connect(volSteps, &QScrollBar::valueChanged, this, &frmSetup::volSteps_Change);
}

void frmSetup::tell(const QString &text)
{
    messages_.show(text, kTitle);
}

// Load: every field from the store, in an order that matters: filling a field
// runs its change handler, so the file-name boxes see the folders loaded
// before them. A stored value a field cannot take leaves that field as it was.
void frmSetup::load()
{
    Label2->hide();
    for (int i = 1; i <= 16; ++i)
        houseCodeList->addItem(QString(QChar(64 + i)));
    for (int i = 1; i <= 4; ++i)
        ComportList->addItem(QString::number(i));
    fillDeviceList();
    getOptions();
}

void frmSetup::getOptions()
{
    getPlaylists();

    // A stored port that is not in the list is shown as none picked, not as "1".
    ComportList->setCurrentIndex(ComportList->findText(settings_.setupPort()));

    const int houseIndex = houseCodeList->findText(settings_.setupHouseCode());
    if (houseIndex >= 0)
        houseCodeList->setCurrentIndex(houseIndex);

    if (const auto lower = settings_.setupBankLower()) {
        optLower->setChecked(*lower);
        optUpper->setChecked(!*lower);
    }

    txtTU->setText(settings_.thumbsUpFile());
    txtTD->setText(settings_.thumbsDownFile());
    tuPath->setText(settings_.tuPath());
    tdPath->setText(settings_.tdPath());
    tuFile->setText(settings_.tuFile());
    tdFile->setText(settings_.tdFile());

    Dir1->setPath(settings_.dir1Path());

    const auto step = settings_.setupVolStep();
    if (step && *step >= volSteps->minimum() && *step <= volSteps->maximum())
        volSteps->setValue(*step);
}

void frmSetup::getPlaylists()
{
    for (int n = 1; n <= 8; ++n)
        txtPlaylist[n - 1]->setText(settings_.playlist(n));
}

void frmSetup::cmdApplyHC_Click()
{
    settings_.setValue(Keys::bankb, booleanText(optLower->isChecked()));
    settings_.setValue(Keys::housecode, houseCodeList->currentText());
    tell(QStringLiteral("HC/UC changes made"));
}

// A volume whose root cannot be read is a drive without its medium.
void frmSetup::Drive1_Change()
{
    const QString drive = Drive1->currentText();
    if (!Dir1->setPath(drive)) {
        messages_.show(QStringLiteral("Drive not avalable"), QStringLiteral("Dremik"));
        return;
    }
    settings_.setValue(Keys::drive1Drive, drive);
}

// The folder of the file list is also where the thumbs files go.
void frmSetup::Dir1_Change()
{
    File1->setPath(Dir1->path());
    settings_.setValue(Keys::dir1Path, Dir1->path());
    const QString folder = folderPrefix(File1->path());
    tdPath->setText(folder);
    tuPath->setText(folder);
}

// The dragged outline covers the file list's row under the pointer.
void frmSetup::File1_MouseDown(QPoint pointer)
{
    const int rowHeight = fontMetrics().height();
    Label2->setGeometry(File1->x(), File1->y() + pointer.y() - rowHeight / 2, File1->width(),
                        rowHeight);

    QPixmap outline(Label2->size());
    outline.fill(Qt::transparent);
    QPainter painter(&outline);
    painter.drawRect(outline.rect().adjusted(0, 0, -1, -1));
    painter.end();

    auto *data = new QMimeData;
    data->setData(QLatin1String(kPlaylistDragMime), File1->fileName().toUtf8());
    auto *drag = new QDrag(File1);
    drag->setMimeData(data);
    drag->setPixmap(outline);
    drag->setHotSpot(QPoint(pointer.x(), rowHeight / 2));
    drag->exec(Qt::CopyAction);
}

// The drop takes the file list's folder and selection as they are now.
void frmSetup::txtPlaylist_DragDrop(int number)
{
    PlaylistBox *box = txtPlaylist[number - 1];
    box->setText(folderPrefix(File1->path()) + File1->fileName());
    const QString path = box->text();
    settings_.setValue(Keys::playlist(number), path);
}

void frmSetup::tuFile_Change()
{
    txtTU->setText(tuPath->text() + tuFile->text() + kM3u);
    settings_.setValue(Keys::tuFile, tuFile->text());
    settings_.setValue(Keys::thumbsup, txtTU->text());
}

void frmSetup::tdFile_Change()
{
    txtTD->setText(tdPath->text() + tdFile->text() + kM3u);
    settings_.setValue(Keys::tdFile, tdFile->text());
    settings_.setValue(Keys::thumbsdown, txtTD->text());
}

void frmSetup::tuPath_Change()
{
    settings_.setValue(Keys::tuPath, tuPath->text());
}

void frmSetup::tdPath_Change()
{
    settings_.setValue(Keys::tdPath, tdPath->text());
}

void frmSetup::volSteps_Change()
{
    settings_.setValue(Keys::volSteps, numberText(static_cast<quint8>(volSteps->value())));
}
