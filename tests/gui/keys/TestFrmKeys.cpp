// SPDX-License-Identifier: GPL-3.0-or-later
// The keys window over the real settings file.
#include "TestEnvironment.h"

#include "core/IniSettingsStore.h"
#include "core/SettingsModel.h"
#include "gui/keys/frmKeys.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

class TestFrmKeys : public QObject
{
    Q_OBJECT

public:
    explicit TestFrmKeys(const TestEnvironment &environment) : env_(environment) {}

private slots:
    void init();
    void cleanup();
    void everyControlHasAnAccessibleName();
    void changesAreWrittenAtOnce_data();
    void changesAreWrittenAtOnce();
    void learnPicksTheNextKeyPressed();
    void removeAndHandEdits();

private:
    // The group [Keys] as the file holds it now.
    QMap<QString, QString> fileKeys() const
    {
        QSettings file(env_.settingsFile(), QSettings::IniFormat);
        QMap<QString, QString> keys;
        file.beginGroup(QStringLiteral("Keys"));
        for (const QString &key : file.childKeys())
            keys.insert(key, file.value(key).toString());
        return keys;
    }
    void pick(const QString &does)
    {
        const int index = keys_->cboAction->findData(does);
        QVERIFY(index >= 0);
        keys_->cboAction->setCurrentIndex(index);
        emit keys_->cboAction->activated(index);
    }
    void typeKey(const QString &name)
    {
        keys_->txtKey->clear();
        QTest::keyClicks(keys_->txtKey, name);
    }

    const TestEnvironment &env_;
    std::unique_ptr<IniSettingsStore> file_;
    std::unique_ptr<SettingsModel> settings_;
    std::unique_ptr<frmKeys> keys_;
};

void TestFrmKeys::init()
{
    env_.clearSettings();
    file_ = std::make_unique<IniSettingsStore>();
    settings_ = std::make_unique<SettingsModel>(*file_);
    keys_ = std::make_unique<frmKeys>(*settings_);
    keys_->show();
    QVERIFY(QTest::qWaitForWindowExposed(keys_.get()));
}

void TestFrmKeys::cleanup()
{
    keys_.reset();
    settings_.reset();
    file_.reset();
}

void TestFrmKeys::everyControlHasAnAccessibleName()
{
    for (QWidget *control : keys_->findChildren<QWidget *>()) {
        if (control->focusPolicy() != Qt::NoFocus && !control->objectName().isEmpty())
            QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
    }
    // Each field is reached by the mnemonic of its label.
    for (QLabel *label : keys_->findChildren<QLabel *>()) {
        if (label->text().contains(u'&'))
            QVERIFY2(label->buddy(), qPrintable(label->text()));
    }
}

void TestFrmKeys::changesAreWrittenAtOnce_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("does");
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("held");
    QTest::addColumn<QString>("value"); // in the file; "" = nothing written

    QTest::newRow("action") << "C4off"
                            << "next"
                            << "" << 0 << "next";
    QTest::newRow("none") << "A1off"
                          << "none"
                          << "" << 0 << "none";
    QTest::newRow("volume once") << "Abright"
                                 << "volumeup"
                                 << "" << 1 << "once volumeup";
    QTest::newRow("repeat after half a second") << "Pallon"
                                                << "previous"
                                                << "" << 3 << "repeat after 500ms previous";
    QTest::newRow("command") << "B3on"
                             << "run"
                             << "notify-send \"Hello there\"" << 0
                             << "run notify-send 'Hello there'";
    QTest::newRow("run without a command yet") << "B3on"
                                               << "run"
                                               << "" << 0 << "";
    QTest::newRow("unclosed quote") << "B3on"
                                    << "run"
                                    << "echo 'a" << 0 << "";
    QTest::newRow("no key") << "B17on"
                            << "next"
                            << "" << 0 << "";
}

void TestFrmKeys::changesAreWrittenAtOnce()
{
    QFETCH(QString, key);
    QFETCH(QString, does);
    QFETCH(QString, command);
    QFETCH(int, held);
    QFETCH(QString, value);

    typeKey(key);
    if (keys_->cboAction->isEnabled())
        pick(does);
    if (!command.isEmpty()) {
        QTest::keyClicks(keys_->txtCommand, command);
        QTest::keyClick(keys_->txtCommand, Qt::Key_Return);
    }
    if (held != 0) {
        keys_->cboHeld->setCurrentIndex(held);
        emit keys_->cboHeld->activated(held);
    }
    if (value.isEmpty()) {
        QVERIFY(fileKeys().isEmpty());
        QVERIFY(!keys_->lblState->text().isEmpty());
        return;
    }
    QCOMPARE(fileKeys(), (QMap<QString, QString>{{key, value}}));
    QCOMPARE(keys_->listKeys->topLevelItemCount(), 1);
    QCOMPARE(keys_->listKeys->topLevelItem(0)->text(1), value);
}

void TestFrmKeys::learnPicksTheNextKeyPressed()
{
    settings_->setKeyBinding(QStringLiteral("B3on"), QStringLiteral("run touch here"));
    keys_->keyHeard(QStringLiteral("A4off")); // not learning: nothing
    QCOMPARE(keys_->txtKey->text(), QString());

    QTest::mouseClick(keys_->cmdLearn, Qt::LeftButton);
    QVERIFY(keys_->cmdLearn->isChecked());
    keys_->keyHeard(QStringLiteral("B3on"));
    QVERIFY(!keys_->cmdLearn->isChecked());
    QCOMPARE(keys_->txtKey->text(), QStringLiteral("B3on"));
    QCOMPARE(keys_->listKeys->currentItem()->text(0), QStringLiteral("B3on"));
    QCOMPARE(keys_->cboAction->currentData().toString(), QStringLiteral("run"));
    QCOMPARE(keys_->txtCommand->text(), QStringLiteral("touch here"));
    keys_->keyHeard(QStringLiteral("A4off")); // learnt once
    QCOMPARE(keys_->txtKey->text(), QStringLiteral("B3on"));
}

void TestFrmKeys::removeAndHandEdits()
{
    typeKey(QStringLiteral("C4off"));
    QVERIFY(!keys_->cmdRemove->isEnabled());
    pick(QStringLiteral("next"));
    QTest::mouseClick(keys_->cmdRemove, Qt::LeftButton);
    QVERIFY(fileKeys().isEmpty());
    QCOMPARE(keys_->listKeys->topLevelItemCount(), 0);

    // Another program, or a hand, writes the file: the list follows.
    {
        QSettings file(env_.settingsFile(), QSettings::IniFormat);
        file.setValue(QStringLiteral("Keys/Dbright"), QStringLiteral("volumedown"));
    }
    QTRY_COMPARE(keys_->listKeys->topLevelItemCount(), 1);
    QCOMPARE(keys_->listKeys->topLevelItem(0)->text(0), QStringLiteral("Dbright"));
}

int main(int argc, char *argv[])
{
    TestEnvironment environment;
    QApplication app(argc, argv);
    TestFrmKeys test(environment);
    return QTest::qExec(&test, argc, argv);
}
#include "TestFrmKeys.moc"
