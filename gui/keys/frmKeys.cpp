// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmKeys.h"

#include "core/KeyBinding.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "core/X10Key.h"
#include "gui/AppIcon.h"
#include "gui/FieldLabel.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
const QString kNoneItem = QStringLiteral("none");
const QString kRunItem = QStringLiteral("run");

// What each player action is called in the list.
const char *const kActionTexts[] = {
    "load playlist #1", "load playlist #2",  "load playlist #3", "load playlist #4",
    "load playlist #5", "load playlist #6",  "load playlist #7", "load playlist #8",
    "pause / play",     "back five seconds", "previous song",    "next song",
    "thumbs up",        "thumbs down",       "shuffle on",       "shuffle off",
    "volume up",        "volume down",
};

enum Held
{
    AsUsual,
    Once,
    Repeat,
    RepeatAfterHalfASecond,
};
constexpr int kHalfASecondMs = 500;

template <typename Control>
Control *named(Control *control, const char *name, const QString &accessible)
{
    control->setObjectName(QLatin1String(name));
    control->setAccessibleName(accessible);
    return control;
}
} // namespace

frmKeys::frmKeys(SettingsModel &settings, QWidget *parent) : QDialog(parent), settings_(settings)
{
    setObjectName(QStringLiteral("frmKeys"));
    setWindowTitle(QStringLiteral("Keys"));
    setWindowIcon(appIcon());
    createControls();
    showBindings();
    showKey(QString());

    connect(listKeys, &QTreeWidget::itemSelectionChanged, this, &frmKeys::listKeys_Select);
    connect(txtKey, &QLineEdit::textEdited, this, &frmKeys::txtKey_Edited);
    connect(cmdLearn, &QPushButton::toggled, this, &frmKeys::cmdLearn_Click);
    connect(cboAction, &QComboBox::activated, this, [this] {
        txtCommand->setEnabled(cboAction->currentData() == kRunItem);
        if (txtCommand->isEnabled())
            txtCommand->setFocus();
        saveBinding();
    });
    connect(txtCommand, &QLineEdit::editingFinished, this, &frmKeys::saveBinding);
    connect(cboHeld, &QComboBox::activated, this, &frmKeys::saveBinding);
    connect(cmdRemove, &QPushButton::clicked, this, &frmKeys::cmdRemove_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);
    // A hand edit of the file, or the other program, shows here too.
    connect(&settings_, &SettingsModel::changed, this, [this](const QString &key) {
        if (key == Keys::keyMap && !showing_)
            showBindings();
    });
}

void frmKeys::createControls()
{
    listKeys = named(new QTreeWidget(this), "listKeys", QStringLiteral("Bound keys"));
    listKeys->setHeaderLabels({QStringLiteral("Key"), QStringLiteral("Does")});
    listKeys->setRootIsDecorated(false);
    listKeys->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    listKeys->setMinimumWidth(360);

    txtKey = named(new QLineEdit(this), "txtKey", QStringLiteral("Key"));
    txtKey->setPlaceholderText(QStringLiteral("A4off, Cbright, Pallon…"));
    cmdLearn = named(new QPushButton(QStringLiteral("&Learn"), this), "cmdLearn",
                     QStringLiteral("Learn the key from the remote"));
    cmdLearn->setCheckable(true);

    cboAction = named(new QComboBox(this), "cboAction", QStringLiteral("What the key does"));
    const QStringList names = actionNames();
    for (int i = 0; i < names.size(); ++i)
        cboAction->addItem(names.at(i) + QStringLiteral(": ") + QLatin1String(kActionTexts[i]),
                           names.at(i));
    cboAction->addItem(QStringLiteral("none: nothing"), kNoneItem);
    cboAction->addItem(QStringLiteral("run: the command below"), kRunItem);
    txtCommand = named(new QLineEdit(this), "txtCommand", QStringLiteral("Command"));
    txtCommand->setPlaceholderText(QStringLiteral("notify-send \"Hello\""));

    cboHeld = named(new QComboBox(this), "cboHeld", QStringLiteral("When the key is held"));
    cboHeld->addItem(QStringLiteral("as usual (volume repeats, the rest acts once)"));
    cboHeld->addItem(QStringLiteral("once for each press"));
    cboHeld->addItem(QStringLiteral("at every repeat"));
    cboHeld->addItem(QStringLiteral("at every repeat, once held half a second"));

    cmdRemove = named(new QPushButton(QStringLiteral("&Remove"), this), "cmdRemove",
                      QStringLiteral("Remove the binding"));
    lblState = named(new QLabel(this), "lblState", QStringLiteral("State"));
    lblState->setWordWrap(true);
    cmdClose =
        named(new QPushButton(QStringLiteral("Close"), this), "cmdClose", QStringLiteral("Close"));

    // Return ends the typing of a key or a command; it presses no button.
    for (QPushButton *button : {cmdLearn, cmdRemove, cmdClose})
        button->setAutoDefault(false);

    auto *key = new QHBoxLayout;
    key->addWidget(txtKey);
    key->addWidget(cmdLearn);
    auto *form = new QFormLayout;
    form->addRow(fieldLabel(QStringLiteral("&Key:"), txtKey), key);
    form->addRow(fieldLabel(QStringLiteral("&What it does:"), cboAction), cboAction);
    form->addRow(fieldLabel(QStringLiteral("&Command:"), txtCommand), txtCommand);
    form->addRow(fieldLabel(QStringLiteral("When &held:"), cboHeld), cboHeld);

    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdRemove, QDialogButtonBox::ActionRole);
    buttons->addButton(cmdClose, QDialogButtonBox::RejectRole);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(listKeys);
    layout->addLayout(form);
    layout->addWidget(lblState);
    layout->addWidget(buttons);
}

void frmKeys::showBindings()
{
    const QString current = typedKey();
    const QMap<QString, QString> map = settings_.keyMap();
    showing_ = true;
    listKeys->clear();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        auto *item = new QTreeWidgetItem(listKeys, {it.key(), it.value()});
        if (it.key() == current)
            listKeys->setCurrentItem(item);
    }
    showing_ = false;
}

QString frmKeys::typedKey() const
{
    return txtKey->text().trimmed();
}

// The controls show what the key does now: its binding, or, for a key
// without one, its own meaning.
void frmKeys::showKey(const QString &name)
{
    showing_ = true;
    txtKey->setText(name);
    const std::optional<X10Key> key = parseKeyName(name);
    const QMap<QString, QString> map = settings_.keyMap();
    const std::optional<KeyBinding> binding =
        map.contains(name) ? parseBinding(map.value(name)) : std::nullopt;
    cboAction->setCurrentIndex(-1);
    txtCommand->clear();
    cboHeld->setCurrentIndex(AsUsual);
    if (binding) {
        switch (binding->kind) {
        case KeyBinding::Kind::Action:
            cboAction->setCurrentIndex(cboAction->findData(actionName(binding->action)));
            break;
        case KeyBinding::Kind::None:
            cboAction->setCurrentIndex(cboAction->findData(kNoneItem));
            break;
        case KeyBinding::Kind::Run:
            cboAction->setCurrentIndex(cboAction->findData(kRunItem));
            txtCommand->setText(joinCommandLine(binding->program));
            break;
        }
        const bool repeatsByDefault = binding->kind == KeyBinding::Kind::Action &&
                                      KeyBinding::forAction(binding->action).repeats;
        if (binding->repeatDelayMs > 0)
            cboHeld->setCurrentIndex(RepeatAfterHalfASecond);
        else if (binding->repeats != repeatsByDefault)
            cboHeld->setCurrentIndex(binding->repeats ? Repeat : Once);
    }
    txtCommand->setEnabled(cboAction->currentData() == kRunItem);
    const bool bound = map.contains(name);
    cmdRemove->setEnabled(bound);
    cboAction->setEnabled(key.has_value());
    cboHeld->setEnabled(key.has_value());
    if (name.isEmpty())
        lblState->setText(QStringLiteral("Pick a key, type its name, or press \"Learn\" and "
                                         "then the key on the remote."));
    else if (!key)
        lblState->setText(QStringLiteral("%1 is no key: a house letter, the unit where the "
                                         "key has one, then on, off, bright, dim, allon or "
                                         "alloff, as in A4off.")
                              .arg(name));
    else if (bound && !binding)
        lblState->setText(QStringLiteral("%1 is bound to \"%2\", which Kavelo cannot read: it "
                                         "does what it would without it.")
                              .arg(name, map.value(name)));
    else if (!bound)
        lblState->setText(QStringLiteral("%1 is not bound: it does what the house code and bank "
                                         "give it, if anything.")
                              .arg(name));
    else
        lblState->setText(QString());
    showing_ = false;
}

void frmKeys::listKeys_Select()
{
    if (showing_)
        return;
    if (const QTreeWidgetItem *item = listKeys->currentItem())
        showKey(item->text(0));
}

// The list's row of the key, if it has one, is selected without being taken
// as the user's pick.
void frmKeys::selectRow(const QString &name)
{
    showing_ = true;
    listKeys->clearSelection();
    const QList<QTreeWidgetItem *> items = listKeys->findItems(name, Qt::MatchExactly);
    if (!items.isEmpty())
        listKeys->setCurrentItem(items.first());
    showing_ = false;
}

void frmKeys::txtKey_Edited()
{
    const QString name = typedKey();
    selectRow(name);
    const QString typed = txtKey->text();
    const int cursor = txtKey->cursorPosition();
    showKey(name);
    txtKey->setText(typed); // as typed, blanks and all
    txtKey->setCursorPosition(cursor);
}

void frmKeys::cmdLearn_Click(bool learning)
{
    if (learning)
        lblState->setText(QStringLiteral("Press the key on the remote…"));
    else
        showKey(typedKey());
}

void frmKeys::keyHeard(const QString &name)
{
    if (!cmdLearn->isChecked())
        return;
    cmdLearn->setChecked(false);
    selectRow(name);
    showKey(name);
    cboAction->setFocus();
}

void frmKeys::cmdRemove_Click()
{
    const QString name = typedKey();
    settings_.setKeyBinding(name, std::nullopt);
    showBindings();
    showKey(name);
}

// What the controls say, written at once. A command that cannot be read, or
// none yet, writes nothing.
void frmKeys::saveBinding()
{
    const QString name = typedKey();
    if (showing_ || !parseKeyName(name) || cboAction->currentIndex() < 0)
        return;
    const QString does = cboAction->currentData().toString();
    QString value = does;
    if (does == kRunItem) {
        const QString command = txtCommand->text().trimmed();
        if (command.isEmpty())
            return;
        value = kRunItem + QLatin1Char(' ') + command;
    }
    switch (cboHeld->currentIndex()) {
    case Once:
        value = QStringLiteral("once ") + value;
        break;
    case Repeat:
        value = QStringLiteral("repeat ") + value;
        break;
    case RepeatAfterHalfASecond:
        value = QStringLiteral("repeat after %1ms ").arg(kHalfASecondMs) + value;
        break;
    default:
        break;
    }
    QString why;
    const std::optional<KeyBinding> binding = parseBinding(value, &why);
    if (!binding) {
        lblState->setText(QStringLiteral("Not saved: %1.").arg(why));
        return;
    }
    settings_.setKeyBinding(name, bindingText(*binding));
    showBindings();
    lblState->setText(QStringLiteral("Saved: %1 does \"%2\".").arg(name, bindingText(*binding)));
    cmdRemove->setEnabled(true);
}
