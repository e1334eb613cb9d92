// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <algorithm>

// A dialog's field is named `name` for a screen reader and, with a `key`, its
// label's Alt key goes to it rather than typing into the field that has the
// focus: `first`, or `second` when the field is `first` itself.
inline void checkFieldAnswersToItsName(QWidget *dialog, const QString &field, int key,
                                       const QString &name, QLineEdit *first, QLineEdit *second)
{
    auto *target = dialog->findChild<QWidget *>(field);
    QVERIFY(target);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(target);
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), name);
    if (key == 0)
        return;
    const QList<QLabel *> labels = dialog->findChildren<QLabel *>();
    QVERIFY(std::any_of(labels.cbegin(), labels.cend(),
                        [&](const QLabel *label) { return label->buddy() == target; }));
    dialog->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    (target == first ? second : first)->setFocus();
    QWidget *before = QApplication::focusWidget();
    QVERIFY(before);
    QTest::keyClick(before, Qt::Key(key), Qt::AltModifier);
    QTRY_VERIFY(target->hasFocus());
    QCOMPARE(qobject_cast<QLineEdit *>(before)->text(), QString());
}
