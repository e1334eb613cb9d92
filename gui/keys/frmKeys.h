// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class SettingsModel;

// Options > "Keys…": the key map. It lists the keys bound in the group [Keys]
// and what each does; a key is picked from the list, typed by its name, or
// learnt: "Learn", then a press on any remote of the house. Picking what the
// key does (a player action, nothing, or a command), how it acts when held,
// or removing it, writes the group at once; the programs follow from their
// next key.
class frmKeys : public QDialog
{
    Q_OBJECT

public:
    explicit frmKeys(SettingsModel &settings, QWidget *parent = nullptr);

    // A key was pressed on a remote: while learning, it is the key picked.
    void keyHeard(const QString &name);

    // Controls, by their names.
    QTreeWidget *listKeys = nullptr;
    QLineEdit *txtKey = nullptr;
    QPushButton *cmdLearn = nullptr;
    QComboBox *cboAction = nullptr;
    QLineEdit *txtCommand = nullptr;
    QComboBox *cboHeld = nullptr;
    QPushButton *cmdRemove = nullptr;
    QLabel *lblState = nullptr;
    QPushButton *cmdClose = nullptr;

private:
    void createControls();
    void showBindings();
    void showKey(const QString &name);
    void selectRow(const QString &name);
    void listKeys_Select();
    void txtKey_Edited();
    void cmdLearn_Click(bool learning);
    void cmdRemove_Click();
    void saveBinding();
    QString typedKey() const;

    SettingsModel &settings_;
    bool showing_ = false; // the controls are being filled, not changed by the user
};
