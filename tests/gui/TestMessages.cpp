// SPDX-License-Identifier: GPL-3.0-or-later
// The real message boxes the program shows its user.

#include "gui/Messages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

class TestMessages : public QObject
{
    Q_OBJECT

private slots:
    void aMessageBoxWaitsForOkWithoutBlocking();
};

// show() returns with the box open and application modal, and the box counts
// as open until OK closes it.
void TestMessages::aMessageBoxWaitsForOkWithoutBlocking()
{
    Messages boxes;
    QSignalSpy opened(&boxes, &Messages::opened);
    QSignalSpy closed(&boxes, &Messages::closed);
    boxes.show(QStringLiteral("text"), QStringLiteral("title"));
    QCOMPARE(opened.size(), 1);
    QVERIFY(boxes.anyOpen());

    QMessageBox *box = nullptr;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *found = qobject_cast<QMessageBox *>(window); found && found->isVisible())
            box = found;
    }
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("text"));
    QCOMPARE(box->windowTitle(), QStringLiteral("title"));
    QCOMPARE(box->windowModality(), Qt::ApplicationModal);
    QCOMPARE(closed.size(), 0);

    QPointer<QMessageBox> gone = box;
    box->button(QMessageBox::Ok)->click();
    QCOMPARE(closed.size(), 1);
    QVERIFY(!boxes.anyOpen());
    QTRY_VERIFY(gone.isNull());
}

QTEST_MAIN(TestMessages)
#include "TestMessages.moc"
