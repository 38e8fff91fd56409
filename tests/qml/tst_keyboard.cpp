#include "common/standinwindow.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <memory>

// The shipped main window, used from the keyboard alone: Tab goes through the
// check boxes and buttons (with a frame where the keyboard is), Space and
// Enter press, the dialogs keep Tab to themselves, Escape closes the overlay
// once the run is over, and Enter in the password field still starts nothing.
class TestKeyboard : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void tabOrder();
    void backTabOrder();
    void focusFrameInsideItsBox();
    void focusFrameOutlivesItsCard();
    void spaceAndEnterToggleCheckBox_data();
    void spaceAndEnterToggleCheckBox();
    void spacePressesOnRelease();
    void wholeRunFromTheKeyboard();
    void enterInPasswordFieldStartsNothing();
    void focusReturnsWhenTheDialogsClose_data();
    void focusReturnsWhenTheDialogsClose();
    void escapeClosesOverlayOnlyWhenFinished();
    void nothingBeneathTheOverlayTakesKeys();
    void updatingCardLeavesTabOrder();

private:
    QQuickItem *itemNamed(const QString &name) const;
    QQuickItem *card(int row) const { return m_w->card(row); }
    QQuickItem *check(int row) const { return m_w->check(row); }
    QQuickItem *button(const QString &caption) const { return m_w->visibleItem("m_text", caption); }
    QQuickItem *focused() const { return m_window->activeFocusItem(); }
    QString describe(QQuickItem *item) const;
    QStringList tabWalk(int steps, Qt::Key key = Qt::Key_Tab);
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void focusOn(QQuickItem *item);
    void openPasswordDialog();

    std::unique_ptr<StandInWindow> m_w;
    QQuickWindow *m_window = nullptr;
    QObject *m_view = nullptr;
};

static QString address(int i)
{
    return QStringLiteral("10.77.0.%1").arg(10 + i);
}

void TestKeyboard::init()
{
    m_w.reset(new StandInWindow);
    m_window = m_w->window();
    QVERIFY2(m_window, qPrintable(m_w->errorString()));
    m_view = m_w->view();
    m_window->requestActivate();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    for (int i = 0; i < 3; ++i)
        m_w->core().addUnit(address(i), QStringLiteral("Unit %1").arg(i));
}

void TestKeyboard::cleanup()
{
    m_w.reset();
    m_window = nullptr;
    m_view = nullptr;
}

QQuickItem *TestKeyboard::itemNamed(const QString &name) const
{
    return m_window->findChild<QQuickItem *>(name);
}

QString TestKeyboard::describe(QQuickItem *item) const
{
    if (!item)
        return QStringLiteral("(none)");
    for (int row = 0; row < 3; ++row) {
        if (item == check(row))
            return QStringLiteral("check %1").arg(row);
    }
    if (!item->property("m_text").toString().isEmpty())
        return item->property("m_text").toString();
    return item->objectName().isEmpty() ? QString::fromLatin1(item->metaObject()->className())
                                        : item->objectName();
}

void TestKeyboard::key(Qt::Key k, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(m_window, k, modifiers);
}

QStringList TestKeyboard::tabWalk(int steps, Qt::Key k)
{
    QStringList seen;
    for (int i = 0; i < steps; ++i) {
        key(k, k == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        seen << describe(focused());
    }
    return seen;
}

void TestKeyboard::focusOn(QQuickItem *item)
{
    QVERIFY(item);
    for (int i = 0; i < 12 && focused() != item; ++i)
        key(Qt::Key_Tab);
    QCOMPARE(describe(focused()), describe(item));
}

void TestKeyboard::openPasswordDialog()
{
    focusOn(button(QStringLiteral("Update selected units")));
    key(Qt::Key_Space);
    QObject *dialog = m_window->findChild<QObject *>(QStringLiteral("id_popup_passwd"));
    QTRY_VERIFY(dialog->property("opened").toBool());
    QTRY_COMPARE(describe(focused()), QStringLiteral("id_passwd"));
}

void TestKeyboard::tabOrder()
{
    // The cards from the top, then the bottom bar, then round again.
    QCOMPARE(tabWalk(7),
             QStringList({ "check 0", "check 1", "check 2", "Select all", "Update selected units",
                           "check 0", "check 1" }));
}

void TestKeyboard::backTabOrder()
{
    QCOMPARE(tabWalk(6, Qt::Key_Backtab),
             QStringList({ "Update selected units", "Select all", "check 2", "check 1", "check 0",
                           "Update selected units" }));
}

void TestKeyboard::focusFrameInsideItsBox()
{
    for (QQuickItem *item : { check(1), button(QStringLiteral("Select all")) }) {
        // The cards share one frame, which the focused box takes.
        QQuickItem *frame = item == check(1)
                ? m_window->findChild<QQuickItem *>(QStringLiteral("id_card_focus_frame"))
                : item->findChild<QQuickItem *>(QStringLiteral("id_focus_frame"));
        QVERIFY(frame);
        QVERIFY(!frame->isVisible());
        focusOn(item);
        QVERIFY(frame->isVisible());
        QCOMPARE(frame->parentItem(), item);
        // The button's frame stays inside the button; the box's inside the
        // card's selection strip.
        QQuickItem *box = item == check(1) ? item->parentItem() : item;
        const QRectF r = frame->mapRectToItem(box, QRectF(0, 0, frame->width(), frame->height()));
        QVERIFY2(QRectF(0, 0, box->width(), box->height()).contains(r),
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                    .arg(r.x())
                                    .arg(r.y())
                                    .arg(r.width())
                                    .arg(r.height())));
        key(Qt::Key_Tab);
        // The focus went on: no frame is left around this one.
        QVERIFY(!frame->isVisible() || frame->parentItem() != item);
    }
}

void TestKeyboard::focusFrameOutlivesItsCard()
{
    QQuickItem *frame = m_window->findChild<QQuickItem *>(QStringLiteral("id_card_focus_frame"));
    QVERIFY(frame);
    focusOn(check(1));
    QCOMPARE(frame->parentItem(), check(1));
    // The unit leaves the network while its box has the focus.
    m_w->core().removeUnit(address(1));
    QTRY_VERIFY(!frame->isVisible());
    QVERIFY(frame->parentItem());
    // The frame still serves the next box that takes the focus.
    QCOMPARE(card(1)->property("m_ipaddr").toString(), address(2));
    focusOn(check(1));
    QVERIFY(frame->isVisible());
    QCOMPARE(frame->parentItem(), check(1));
}

void TestKeyboard::spaceAndEnterToggleCheckBox_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("space") << int(Qt::Key_Space);
    QTest::newRow("return") << int(Qt::Key_Return);
    QTest::newRow("enter") << int(Qt::Key_Enter);
}

void TestKeyboard::spaceAndEnterToggleCheckBox()
{
    QFETCH(int, key);
    focusOn(check(1));
    QTest::keyClick(m_window, Qt::Key(key));
    QCOMPARE(card(1)->property("m_f_selected").toBool(), true);
    QCOMPARE(card(0)->property("m_f_selected").toBool(), false);
    QCOMPARE(card(2)->property("m_f_selected").toBool(), false);
    QTest::keyClick(m_window, Qt::Key(key));
    QCOMPARE(card(1)->property("m_f_selected").toBool(), false);
}

void TestKeyboard::spacePressesOnRelease()
{
    QQuickItem *selectAll = button(QStringLiteral("Select all"));
    focusOn(selectAll);
    QTest::keyPress(m_window, Qt::Key_Space);
    // Held: the face is the pressed one, nothing has happened yet.
    QCOMPARE(selectAll->property("m_f_keyDown").toBool(), true);
    QCOMPARE(card(0)->property("m_f_selected").toBool(), false);
    QTest::keyRelease(m_window, Qt::Key_Space);
    QCOMPARE(selectAll->property("m_f_keyDown").toBool(), false);
    for (int row = 0; row < 3; ++row)
        QCOMPARE(card(row)->property("m_f_selected").toBool(), true);
}

void TestKeyboard::wholeRunFromTheKeyboard()
{
    focusOn(check(0));
    key(Qt::Key_Space);
    key(Qt::Key_Tab);
    key(Qt::Key_Tab);
    key(Qt::Key_Space); // unit 2
    openPasswordDialog();
    // Tab stays in the dialog: field, Cancel, Update, field.
    QCOMPARE(tabWalk(4), QStringList({ "Cancel", "Update", "id_passwd", "Cancel" }));
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(describe(focused()), QStringLiteral("id_passwd"));
    QTest::keyClick(m_window, 'p');
    QTest::keyClick(m_window, 'w');
    key(Qt::Key_Tab);
    key(Qt::Key_Tab);
    QCOMPARE(describe(focused()), QStringLiteral("Update"));
    key(Qt::Key_Space);
    QCOMPARE(m_w->core().calledAddresses(), QStringList({ address(0), address(2) }));
    QCOMPARE(m_w->core().call(0).value(QStringLiteral("password")).toString(),
             QStringLiteral("pw"));
    QQuickItem *overlay = itemNamed(QStringLiteral("id_popup_progress"));
    QVERIFY(overlay->isVisible());
    QCOMPARE(focused(), overlay);

    m_w->core().progress(QStringLiteral("Firmware update completed."), address(0));
    m_w->core().progress(QStringLiteral("ERROR: Connection refused"), address(2));
    QMetaObject::invokeMethod(m_view, "second_tick");
    QCOMPARE(itemNamed(QStringLiteral("id_text_status"))->property("text").toString(),
             QStringLiteral("Finished."));
    // Only the overlay takes Tab now: the failed unit's line, its retry,
    // Close ("Save report…" shows only where the program records runs).
    QCOMPARE(tabWalk(3), QStringList({ "id_failure_line", "Retry failed (1)", "Close" }));
    key(Qt::Key_Return);
    QVERIFY(!overlay->isVisible());
    // Back to the list: Tab starts from the top again.
    QCOMPARE(tabWalk(1), QStringList({ "check 1" }));
}

void TestKeyboard::enterInPasswordFieldStartsNothing()
{
    focusOn(check(0));
    key(Qt::Key_Space);
    openPasswordDialog();
    QTest::keyClick(m_window, 'p');
    QTest::keyClick(m_window, 'w');
    key(Qt::Key_Return);
    key(Qt::Key_Enter);
    QObject *dialog = m_window->findChild<QObject *>(QStringLiteral("id_popup_passwd"));
    QVERIFY(dialog->property("visible").toBool());
    QCOMPARE(m_w->core().callCount(), 0);
    // Escape closes the dialog and starts nothing either.
    key(Qt::Key_Escape);
    QTRY_VERIFY(!dialog->property("visible").toBool());
    QCOMPARE(m_w->core().callCount(), 0);
    QVERIFY(!itemNamed(QStringLiteral("id_popup_progress"))->isVisible());
}

void TestKeyboard::focusReturnsWhenTheDialogsClose_data()
{
    QTest::addColumn<bool>("otherModel");
    QTest::addColumn<bool>("escape");
    QTest::newRow("password, Escape") << false << true;
    QTest::newRow("password, Cancel") << false << false;
    QTest::newRow("other model, Cancel") << true << false;
}

// Closing a dialog without a run leaves the keyboard where it was, on
// "Update selected units", not nowhere (where Tab would start over). Qt's
// popups give the focus back to the window's content, whose focus scope
// still names the button: nothing of ours must take it on the way.
void TestKeyboard::focusReturnsWhenTheDialogsClose()
{
    QFETCH(bool, otherModel);
    QFETCH(bool, escape);
    if (otherModel)
        m_w->core().updateUnit(address(0), QStringLiteral("m_modelname"), QStringLiteral("ZP-9E"));
    focusOn(check(0));
    key(Qt::Key_Space);
    focusOn(button(QStringLiteral("Update selected units")));
    key(Qt::Key_Space);
    QQuickItem *cancel = nullptr;
    QTRY_VERIFY((cancel = button(QStringLiteral("Cancel"))) != nullptr);
    if (escape) {
        key(Qt::Key_Escape);
    } else {
        focusOn(cancel);
        key(Qt::Key_Space);
    }
    QTRY_VERIFY(!m_w->view()->property("m_f_modal").toBool());
    QTRY_COMPARE(describe(focused()), QStringLiteral("Update selected units"));
    QCOMPARE(m_w->core().callCount(), 0);
    // And Tab goes on from there.
    key(Qt::Key_Tab);
    QCOMPARE(describe(focused()), QStringLiteral("check 0"));
}

void TestKeyboard::escapeClosesOverlayOnlyWhenFinished()
{
    focusOn(check(0));
    key(Qt::Key_Space);
    openPasswordDialog();
    key(Qt::Key_Tab);
    key(Qt::Key_Tab);
    key(Qt::Key_Return); // "Update"
    QQuickItem *overlay = itemNamed(QStringLiteral("id_popup_progress"));
    QVERIFY(overlay->isVisible());
    QMetaObject::invokeMethod(m_view, "second_tick");
    QCOMPARE(itemNamed(QStringLiteral("id_text_status"))->property("text").toString(),
             QStringLiteral("Updating."));
    key(Qt::Key_Escape);
    QVERIFY(overlay->isVisible());
    m_w->core().progress(QStringLiteral("Firmware update completed."), address(0));
    QMetaObject::invokeMethod(m_view, "second_tick");
    QCOMPARE(itemNamed(QStringLiteral("id_text_status"))->property("text").toString(),
             QStringLiteral("Finished."));
    key(Qt::Key_Escape);
    QVERIFY(!overlay->isVisible());
}

void TestKeyboard::nothingBeneathTheOverlayTakesKeys()
{
    QQuickItem *update = button(QStringLiteral("Update selected units"));
    focusOn(check(0));
    key(Qt::Key_Space);
    openPasswordDialog();
    key(Qt::Key_Tab);
    key(Qt::Key_Tab);
    key(Qt::Key_Space); // "Update"
    QVERIFY(itemNamed(QStringLiteral("id_popup_progress"))->isVisible());
    // While the run goes on there is nothing to Tab to, and no key reaches
    // the list or the bottom bar.
    for (int i = 0; i < 6; ++i) {
        key(Qt::Key_Tab);
        QVERIFY2(focused() != update && focused() != check(1) && focused() != check(2),
                 qPrintable(describe(focused())));
        key(Qt::Key_Space);
        key(Qt::Key_Return);
    }
    QObject *dialog = m_window->findChild<QObject *>(QStringLiteral("id_popup_passwd"));
    QVERIFY(!dialog->property("visible").toBool());
    QCOMPARE(card(1)->property("m_f_selected").toBool(), false);
    QCOMPARE(m_w->core().callCount(), 1);
}

void TestKeyboard::updatingCardLeavesTabOrder()
{
    m_w->core().progress(QStringLiteral("Sending... 12%"), address(1));
    QCOMPARE(tabWalk(4),
             QStringList({ "check 0", "check 2", "Select all", "Update selected units" }));
}

QTEST_MAIN(TestKeyboard)
#include "tst_keyboard.moc"
